#include "platform/backends.h"
#include "platform/linux/linuxshell.h"

namespace platform {
std::unique_ptr<Shell> createShell()
{
    return std::make_unique<LinuxShell>();
}
} // namespace platform
