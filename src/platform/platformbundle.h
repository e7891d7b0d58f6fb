#pragma once

#include <memory>

namespace platform {

class KeyboardDevice;
class Shell;
class NotifyIcon;
class Dialogs;
class HelpViewer;
class WindowFocus;
class Profile;

/// Every platform service the program uses, handed to Form1 at construction. main.cpp fills
/// it with the real backends, tests with fakes. Form1 takes ownership, and installs the
/// profile as the one that ini_read and ini_write reach (see platform/profile.h).
struct PlatformBundle
{
    std::unique_ptr<KeyboardDevice> keyboard;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<NotifyIcon> notifyIcon;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<HelpViewer> helpViewer;
    std::unique_ptr<WindowFocus> windowFocus;
    std::unique_ptr<Profile> profile;
};

} // namespace platform
