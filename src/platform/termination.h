#pragma once

#include <functional>

class QObject;

/// How the process ends, for shutdown.
namespace platform {

/// Ends the process at once with @p status: no destructors and no exit handlers run, so
/// nothing can wait on a window system that is already gone.
[[noreturn]] void endProcessNow(int status);

/// Calls @p handler from the event loop when the process is asked to terminate (SIGTERM,
/// or SIGINT from a terminal), for as long as @p context lives. Returns false when the
/// request cannot be watched; the system's default, ending at once, then stays in force.
bool onTerminationRequest(QObject *context, std::function<void()> handler);

} // namespace platform
