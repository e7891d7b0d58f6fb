#pragma once

#include <memory>

namespace platform {
class HelpViewer;
}

namespace help {

/// The help viewer that shows the program's help file in a HelpViewerWindow, built by
/// main.cpp. The viewer owns its window; the window goes when the user closes it or the
/// viewer is destroyed.
std::unique_ptr<platform::HelpViewer> createHelpViewer();

} // namespace help
