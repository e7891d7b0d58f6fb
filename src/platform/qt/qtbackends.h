#pragma once

#include <memory>

namespace platform {
class Dialogs;
class NotifyIcon;
class HelpViewer;
class Shell;

/// The real backends, built by main.cpp.
std::unique_ptr<Dialogs> createDialogs();
std::unique_ptr<NotifyIcon> createNotifyIcon();
std::unique_ptr<HelpViewer> createHelpViewer();
std::unique_ptr<Shell> createShell();
} // namespace platform
