#pragma once

#include <QtGlobal>

#include <functional>

class QObject;

/// The process's own life on this system, for start-up and shutdown.
namespace platform {

/// Ends the process at once with @p status: no destructors and no exit handlers run, so
/// nothing can wait on a window system that is already gone.
[[noreturn]] void endProcessNow(int status);

/// The user the process runs as, for names that must be private to that user.
quint32 userId();

/// Gives the heap memory freed so far back to the system. The allocator keeps freed pages
/// for reuse; after start-up, whose temporary data will not come back, they would only stay
/// resident.
void releaseFreedMemory();

/// Calls @p handler from the event loop when the process is asked to terminate (SIGTERM,
/// or SIGINT from a terminal), for as long as @p context lives. Returns false when the
/// request cannot be watched; the system's default, ending at once, then stays in force.
bool onTerminationRequest(QObject *context, std::function<void()> handler);

} // namespace platform
