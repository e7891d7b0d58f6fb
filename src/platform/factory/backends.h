#pragma once

#include <memory>

class QIcon;

namespace platform {
class Dialogs;
class KeyboardDevice;
class Shell;
class TrayIcon;
class WindowFocus;

/// The real backends of the platform services, chosen for the running session; main.cpp
/// builds the program's bundle from them.

/// The keyboard source for this session (chooseKeyboardBackend with the real probes). On a
/// Wayland session without any source, or with DUDUD_KEYBOARD naming none, the device fails
/// to acquire with a message that says why and what to do.
std::unique_ptr<KeyboardDevice> createKeyboardDevice();
std::unique_ptr<Shell> createShell();
std::unique_ptr<TrayIcon> createTrayIcon();
/// Message boxes that carry @p windowIcon.
std::unique_ptr<Dialogs> createDialogs(const QIcon &windowIcon);
std::unique_ptr<WindowFocus> createWindowFocus();
} // namespace platform
