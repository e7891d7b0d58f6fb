#pragma once

// Permission bits do not stop root, and the tests run as root on CI: the writes that must be
// refused run as the unprivileged "nobody" user for the lifetime of an AsNobody.

#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

class AsNobody
{
public:
    AsNobody()
    {
        // Real and effective ids both, so that access() checks answer for nobody too; the
        // saved ids stay root, to come back.
        if (::geteuid() == 0)
            m_dropped = ::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0;
    }
    ~AsNobody()
    {
        if (m_dropped) {
            [[maybe_unused]] int a = ::setresuid(0, 0, 0);
            [[maybe_unused]] int b = ::setresgid(0, 0, 0);
        }
    }
    AsNobody(const AsNobody &) = delete;
    AsNobody &operator=(const AsNobody &) = delete;

private:
    bool m_dropped = false;
};

inline bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

inline mode_t modeOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}
