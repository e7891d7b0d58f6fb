#include "platform/process.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace platform {

namespace {
// A signal handler may only write to a descriptor: the event loop reads the other end.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

void endProcessNow(int status)
{
    ::_exit(status);
}

void releaseFreedMemory()
{
    ::malloc_trim(0);
}

quint32 userId()
{
    return quint32(::getuid());
}

bool onTerminationRequest(QObject *context, std::function<void()> handler)
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [handler = std::move(handler)] {
                         char buf[16];
                         while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
                         }
                         handler();
                     });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return true;
}

} // namespace platform
