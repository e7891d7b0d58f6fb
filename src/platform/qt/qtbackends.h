#pragma once

#include <memory>

namespace platform {
class Dialogs;
class TrayIcon;
class WindowFocus;

/// The backends made of Qt's widgets, tray and window handles.
std::unique_ptr<Dialogs> makeQtDialogs();
std::unique_ptr<TrayIcon> makeQtTrayIcon();
std::unique_ptr<WindowFocus> makeQtWindowFocus();
} // namespace platform
