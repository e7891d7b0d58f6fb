#pragma once

#include <memory>

namespace platform {

class KeyboardDevice;
class Shell;
class TrayIcon;
class Dialogs;
class HelpViewer;
class WindowFocus;
class Profile;

/// Every platform service the program uses, handed to the launcher at construction. main.cpp
/// fills it with the real backends, tests with fakes. The launcher takes ownership and hands
/// each window the services it uses.
struct PlatformBundle
{
    std::unique_ptr<KeyboardDevice> keyboard;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<TrayIcon> trayIcon;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<HelpViewer> helpViewer;
    std::unique_ptr<WindowFocus> windowFocus;
    std::unique_ptr<Profile> profile;
};

} // namespace platform
