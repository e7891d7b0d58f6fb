#pragma once

#include <QString>

namespace platform {

/// Outcome of a profile write: ok, or the reason it failed in words a user can act on
/// (for example "Permission denied" or "No space left on device").
struct WriteResult
{
    bool ok = true;
    QString error;
    static WriteResult success() { return {}; }
    static WriteResult failure(const QString &why) { return {false, why}; }
};

/// Outcome of Profile::sweepLeftovers(): how many files it removed, or why it could not look.
struct SweepResult
{
    bool ok = true;
    int removed = 0;
    QString error;
};

/// Reader and writer of INI profile files, one value per call.
///
/// Reading: lines split at LF and trimmed (CR, space, tab); blank lines skipped; a line
/// starting with '[' and holding a ']' opens the section named up to the last ']'; a line
/// whose first non-blank character is ';' is a comment; a key line splits at its first
/// '='; names match ignoring case; the first section of a name and its first matching key
/// win; one pair of matching quotes around a value of two or more characters is dropped;
/// a UTF-8 BOM is skipped; bytes that are not valid UTF-8 read as Windows-1252.
///
/// Writing replaces the first matching key line in place, appends a missing key at the end
/// of its section and a missing section at the end of the file, and keeps every other byte.
/// A value the reading rules would change (blanks at either end, a matching pair of quotes
/// around it) is written inside double quotes, so every value reads back as it was written.
/// The file is replaced atomically and durably; a failed write leaves it as it was.
class Profile
{
public:
    virtual ~Profile() = default;

    /// The stored value, or @p def when the file, the section or the key is missing or the
    /// key has no '='.
    virtual QString read(const QString &path, const QString &section, const QString &key,
                         const QString &def) = 0;

    /// Stores @p value under @p key of @p section. Inside a group the write is kept in memory
    /// and reaches the disk with the group's commit.
    virtual WriteResult write(const QString &path, const QString &section, const QString &key,
                              const QString &value) = 0;

    /// Groups: writes between beginGroup() and commitGroup() reach the file as one atomic
    /// replacement; reads inside the group see the pending writes. Groups do not nest.
    virtual void beginGroup() = 0;
    /// Writes everything pending; on failure nothing of the group is on disk.
    virtual WriteResult commitGroup() = 0;
    /// Drops the pending writes.
    virtual void abortGroup() = 0;
    virtual bool inGroup() const = 0;

    /// Read snapshots: between beginSnapshot() and endSnapshot() the reads of a path check
    /// the file on disk once, at the first read of that path, and then answer from what that
    /// check found, so many reads in a row cost one look at the file. A change another
    /// program makes meanwhile is seen by the first read after the outermost endSnapshot();
    /// this profile's own writes are seen at once. Snapshots nest. The default does nothing,
    /// for profiles whose every read is already cheap.
    virtual void beginSnapshot() {}
    virtual void endSnapshot() {}

    /// Forgets what it keeps of the files it read, outside a group or snapshot: the next
    /// read reads the file again. The program calls it once it holds what it needs at rest.
    virtual void releaseCache() {}

    /// Removes what writes to @p path left behind when their process died mid-write (see
    /// ini::sweepWriteLeftovers()). A profile whose writes leave nothing behind has nothing to do.
    virtual SweepResult sweepLeftovers(const QString &path);
};

/// Scope of a group: begins on construction, commits at commit() or, if that was never
/// called, at destruction (whose result is then lost: call commit() to learn it).
class ProfileGroup
{
public:
    explicit ProfileGroup(Profile &profile) : m_profile(profile) { m_profile.beginGroup(); }
    ~ProfileGroup()
    {
        if (!m_done)
            m_profile.commitGroup();
    }
    WriteResult commit()
    {
        m_done = true;
        return m_profile.commitGroup();
    }
    void abort()
    {
        m_done = true;
        m_profile.abortGroup();
    }
    ProfileGroup(const ProfileGroup &) = delete;
    ProfileGroup &operator=(const ProfileGroup &) = delete;

private:
    Profile &m_profile;
    bool m_done = false;
};

/// Scope of a read snapshot: begins on construction, ends at destruction.
class ProfileSnapshot
{
public:
    explicit ProfileSnapshot(Profile &profile) : m_profile(profile) { m_profile.beginSnapshot(); }
    ~ProfileSnapshot() { m_profile.endSnapshot(); }
    ProfileSnapshot(const ProfileSnapshot &) = delete;
    ProfileSnapshot &operator=(const ProfileSnapshot &) = delete;

private:
    Profile &m_profile;
};

} // namespace platform
