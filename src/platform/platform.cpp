#include "platform/keyboard.h"
#include "platform/linux/fileprofile.h"
#include "platform/profile.h"

namespace platform {

namespace {
Profile *g_profile = nullptr;
}

Profile &profile()
{
    if (g_profile)
        return *g_profile;
    static FileProfile fileProfile;
    return fileProfile;
}

void setProfile(Profile *p)
{
    g_profile = p;
}

void KeyboardDevice::tellFailureOnce(const QString &why)
{
    // Told once: by readState() if a tick comes first, else by the signal.
    QMetaObject::invokeMethod(
        this,
        [this, why] {
            if (!m_failureTold) {
                m_failureTold = true;
                emit failed(why);
            }
        },
        Qt::QueuedConnection);
}

} // namespace platform
