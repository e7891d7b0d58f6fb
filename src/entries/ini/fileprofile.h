#pragma once

#include "platform/profile.h"

namespace ini {

using platform::Profile;
using platform::SweepResult;
using platform::WriteResult;

/// Profile over real files: each read sees the file as it is on disk (a cache is checked
/// against the file's stat on every call, or once per path inside a read snapshot), each write
/// outside a group is on disk, durably, when it returns.
///
/// A write replaces the file as a whole: a temporary file beside it is written, flushed,
/// given the old file's owner, mode and extended attributes (its ACL among them) and renamed
/// over it, then the folder is flushed; an attribute that cannot be copied is named once on
/// standard error, and the write goes ahead. A file with more than one hard link is written
/// in place instead, its previous content kept beside it until the new one is flushed. A
/// symbolic link stays a link; the file it points to is replaced. A file that cannot be
/// written (no write permission on it or its folder, a full disk) is left as it was.
///
/// A group writes one file: its first write fixes the path, and a write to another path
/// inside the group fails. At commit the pending writes are replayed on the file as it is
/// then, should another program have changed it since the group's first write.
class FileProfile : public Profile
{
public:
    FileProfile();
    ~FileProfile() override;
    FileProfile(const FileProfile &) = delete;
    FileProfile &operator=(const FileProfile &) = delete;

    QString read(const QString &path, const QString &section, const QString &key,
                 const QString &def) override;
    WriteResult write(const QString &path, const QString &section, const QString &key,
                      const QString &value) override;
    void beginGroup() override;
    WriteResult commitGroup() override;
    void abortGroup() override;
    bool inGroup() const override;
    void beginSnapshot() override;
    void endSnapshot() override;
    void releaseCache() override;
    SweepResult sweepLeftovers(const QString &path) override;

private:
    struct Private;
    Private *d;
};

/// Removes the temporary files that writes of the file-backed profile left beside the file
/// at @p path (its link target, for a symbolic link) when their process died mid-write.
/// Only regular files named as those writes name them are touched, and only while no write
/// in that folder is under way: writers hold a shared lock on the folder from the moment
/// their temporary file exists until it has its final name, and the sweep takes that lock
/// alone. When a write holds it for more than about half a second, nothing is removed and
/// the result says so; call again later. A missing folder has nothing to sweep.
SweepResult sweepWriteLeftovers(const QString &path);

} // namespace ini
