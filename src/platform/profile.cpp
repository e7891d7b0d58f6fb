#include "platform/profile.h"

namespace platform {

SweepResult Profile::sweepLeftovers(const QString &)
{
    return {};
}

} // namespace platform
