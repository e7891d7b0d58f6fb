#pragma once

#include <memory>

namespace platform {

class KeyboardDevice;
class Shell;
class NotifyIcon;
class Dialogs;
class HelpViewer;

/// Every platform service the windows use, handed to Form1 at construction. main.cpp fills
/// it with the real backends, tests with fakes. Form1 takes ownership.
struct PlatformBundle
{
    std::unique_ptr<KeyboardDevice> keyboard;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<NotifyIcon> notifyIcon;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<HelpViewer> helpViewer;
};

} // namespace platform
