#include "platform/profile.h"

#include "platform/ini/fileprofile.h"

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

SweepResult Profile::sweepLeftovers(const QString &)
{
    return {};
}

std::unique_ptr<Profile> createFileProfile()
{
    return std::make_unique<FileProfile>();
}

} // namespace platform
