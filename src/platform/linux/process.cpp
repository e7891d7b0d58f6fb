#include "platform/memory.h"
#include "platform/termination.h"
#include "platform/user.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
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

namespace {

constexpr uintptr_t kHugePage = uintptr_t(2) << 20;

uintptr_t pageSize()
{
    static const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    return page;
}

} // namespace

void adviseHugePages(void *p, size_t bytes)
{
    const uintptr_t from = reinterpret_cast<uintptr_t>(p);
    const uintptr_t begin = (from + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (from + bytes) & ~(kHugePage - 1);
    // Only memory above the heap's end, which is mapped for one block: the heap's own pages
    // are reused for small blocks, and a huge page there would keep up to 2 MB resident for
    // the few that stay.
    if (end > begin && from >= reinterpret_cast<uintptr_t>(::sbrk(0)))
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

namespace {
size_t largeMappingSize(size_t bytes)
{
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}
} // namespace

void *allocateLarge(size_t bytes)
{
    if (bytes < kHugePage)
        return std::malloc(bytes ? bytes : 1);
    const size_t size = largeMappingSize(bytes);
    // Mapped with a huge page's room to spare, then trimmed to the boundary.
    const size_t spare = kHugePage - pageSize();
    void *raw =
        ::mmap(nullptr, size + spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const uintptr_t from = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (from + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > from)
        ::munmap(raw, aligned - from);
    if (const size_t tail = from + size + spare - (aligned + size))
        ::munmap(reinterpret_cast<void *>(aligned + size), tail);
    // The last huge page is taken whole too: a few unused MB at most while the table lives,
    // against 512 faults of small pages.
    ::madvise(reinterpret_cast<void *>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void *>(aligned);
}

void freeLarge(void *p, size_t bytes)
{
    if (bytes < kHugePage)
        std::free(p);
    else
        ::munmap(p, largeMappingSize(bytes));
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
