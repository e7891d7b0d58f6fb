#pragma once

#include <memory>

class QIcon;

namespace platform {
class Dialogs;
class TrayIcon;
class WindowFocus;

/// The backends made of Qt's widgets, tray and window handles.
std::unique_ptr<Dialogs> makeQtDialogs(const QIcon &windowIcon);
std::unique_ptr<TrayIcon> makeQtTrayIcon();
std::unique_ptr<WindowFocus> makeQtWindowFocus();
} // namespace platform
