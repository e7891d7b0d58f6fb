#pragma once

#include <memory>

namespace platform {
class Dialogs;
class NotifyIcon;
class Shell;
class WindowFocus;

/// The real backends of the services without a chooser of their own, built by main.cpp.
/// The keyboard device and the profile are made by platform/keyboard.h and platform/profile.h.
std::unique_ptr<Dialogs> createDialogs();
std::unique_ptr<NotifyIcon> createNotifyIcon();
std::unique_ptr<Shell> createShell();
std::unique_ptr<WindowFocus> createWindowFocus();
} // namespace platform
