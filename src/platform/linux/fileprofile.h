#pragma once

#include "platform/profile.h"

namespace platform {

/// Profile over real files: each read sees the file as it is on disk (a cache is checked
/// against the file's stat on every call), each write outside a group is on disk, durably,
/// when it returns.
class FileProfile : public Profile
{
public:
    FileProfile();
    ~FileProfile() override;

    QString read(const QString &path, const QString &section, const QString &key,
                 const QString &def) override;
    WriteResult write(const QString &path, const QString &section, const QString &key,
                      const QString &value) override;
    void beginGroup() override;
    WriteResult commitGroup() override;
    void abortGroup() override;
    bool inGroup() const override;

private:
    struct Private;
    Private *d;
};

} // namespace platform
