#include "platform/linux/linuxshell.h"
#include "platform/backends.h"

namespace platform {
std::unique_ptr<Shell> createShell()
{
    return std::make_unique<LinuxShell>();
}
} // namespace platform
