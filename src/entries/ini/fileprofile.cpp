#include "entries/ini/fileprofile.h"

#include "entries/ini/inifile.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ini {

namespace {

/// What stat says about a file, fine enough to notice any change another program makes:
/// a rename over it changes the inode, an edit in place the change time (nanoseconds).
struct FileStamp
{
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    static FileStamp of(const struct stat &st)
    {
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp &o) const
    {
        if (exists != o.exists)
            return false;
        return !exists || (dev == o.dev && ino == o.ino && size == o.size &&
                           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
                           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec);
    }
};

/// Whether two paths are equal; quick when one is a copy of the other, as a caller's
/// repeated reads of one file give.
bool samePath(const QString &a, const QString &b)
{
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

QString errorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

/// 0, with @p stamp saying whether the file exists; or the errno of a failed stat.
int statPath(const QByteArray &path, FileStamp *stamp)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0) {
        *stamp = FileStamp::of(st);
        return 0;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
        *stamp = FileStamp();
        return 0;
    }
    return errno;
}

int readAll(int fd, qsizetype sizeHint, IniBytes *out)
{
    IniBytes buf;
    buf.resize(size_t(qMax<qsizetype>(sizeHint, 0) + 4096));
    size_t used = 0;
    for (;;) {
        if (used == buf.size())
            buf.resize(buf.size() * 2);
        const ssize_t n = ::read(fd, buf.data() + used, buf.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        used += size_t(n);
    }
    buf.resize(used);
    *out = std::move(buf);
    return 0;
}

int writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= n;
    }
    return 0;
}

/// The file a write must replace: @p path with its symbolic links followed, so that the
/// links stay. A missing file (or a link to one) is returned as it is, to be created.
QByteArray resolveLinks(QByteArray path, int *err)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0) {
            if (errno == ENOENT)
                return path;
            *err = errno;
            return {};
        }
        if (!S_ISLNK(st.st_mode))
            return path;
        QByteArray target(st.st_size > 0 ? st.st_size + 1 : PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n < 0) {
            *err = errno;
            return {};
        }
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = path.lastIndexOf('/');
            target.prepend(slash >= 0 ? path.left(slash + 1) : QByteArray());
        }
        path = target;
    }
    *err = ELOOP;
    return {};
}

mode_t currentUmask()
{
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

/// The folder and the file name of @p target.
std::pair<QByteArray, QByteArray> splitPath(const QByteArray &target)
{
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), target};
    return {slash == 0 ? QByteArray("/") : target.left(slash), target.mid(slash + 1)};
}

// A replacement's temporary name: '.', the file's name, '.', and six letters or digits.
// The sweep removes nothing else, so the pattern must stay the same as long as files of
// older copies of the program may lie about.
constexpr int kTempSuffix = 6;
const char kTempAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

/// A temporary name beside @p name in @p dir, its letters chosen at random or, for
/// mkostemp() to choose, all X.
QByteArray tempName(const QByteArray &dir, const QByteArray &name, bool random)
{
    QByteArray out = dir + "/." + name + '.';
    QRandomGenerator *pick = QRandomGenerator::system();
    for (int i = 0; i < kTempSuffix; ++i)
        out += random ? kTempAlphabet[pick->bounded(quint32(sizeof kTempAlphabet) - 1)] : 'X';
    return out;
}

bool isTempName(const char *entry, const QByteArray &name)
{
    const size_t n = std::strlen(entry);
    if (n != size_t(name.size()) + 2 + kTempSuffix || entry[0] != '.' ||
        std::memcmp(entry + 1, name.constData(), size_t(name.size())) != 0 ||
        entry[name.size() + 1] != '.')
        return false;
    for (const char *c = entry + n - kTempSuffix; *c; ++c) {
        if (!std::strchr(kTempAlphabet, *c))
            return false;
    }
    return true;
}

/// The folder's lock, held by every writer from the moment its temporary file exists until
/// it is renamed, shared among writers; the sweep takes it exclusively, so a temporary file
/// it finds then belongs to no write in progress. The lock goes with the descriptor, so a
/// writer that dies holds it no longer.
class FolderLock
{
public:
    /// Opens @p dir; a folder that cannot be opened for reading is written without the lock
    /// (the sweep cannot open it either, so it removes nothing there).
    explicit FolderLock(const QByteArray &dir)
        : m_fd(::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    int fd() const { return m_fd; }
    void share()
    {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_SH) != 0 && errno == EINTR) {
            }
        }
    }
    /// True once this holds the folder alone; gives up after about half a second.
    bool tryExclusive()
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return true;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return false;
            ::usleep(10000);
        }
        return false;
    }

private:
    int m_fd;
};

/// Gives the unnamed file @p fd the name @p temp. Returns 0, EEXIST when the name is taken,
/// or another errno when the file cannot be named here at all.
int linkUnnamed(int fd, const QByteArray &temp)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    // Without /proc only a privileged process may name a file by its descriptor.
    if (::linkat(fd, "", AT_FDCWD, temp.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    return errno;
}

/// The names of the extended attributes of @p path (or of @p fd when @p path is null).
QByteArrayList attributeNames(const char *path, int fd)
{
    QByteArray names(1024, '\0');
    for (;;) {
        const ssize_t n = path ? ::listxattr(path, names.data(), size_t(names.size()))
                               : ::flistxattr(fd, names.data(), size_t(names.size()));
        if (n >= 0) {
            names.truncate(n);
            break;
        }
        if (errno != ERANGE)
            return {};
        names.resize(names.size() * 4);
    }
    QByteArrayList out = names.split('\0');
    out.removeAll(QByteArray());
    return out;
}

/// Says once per attribute on standard error that a save could not keep it.
void tellLostAttribute(const QByteArray &target, const QByteArray &name, int err)
{
    static QSet<QByteArray> told;
    if (told.contains(name))
        return;
    told.insert(name);
    qWarning("dudud-adadadiz: %s was saved without its extended attribute %s: %s",
             target.constData(), name.constData(), std::strerror(err));
}

/// Gives the replacement @p fd of @p target the extended attributes of @p target and none
/// other (a folder's default ACL may have given it one the old file did not have). An
/// access ACL is copied after the mode was set: its mask then gives the group bits, as on
/// the old file.
void copyAttributes(const QByteArray &target, int fd)
{
    const QByteArrayList wanted = attributeNames(target.constData(), -1);
    for (const QByteArray &name : attributeNames(nullptr, fd)) {
        if (!wanted.contains(name))
            ::fremovexattr(fd, name.constData());
    }
    QByteArrayList ordered = wanted;
    const qsizetype acl = ordered.indexOf("system.posix_acl_access");
    if (acl >= 0)
        ordered.move(acl, ordered.size() - 1);
    for (const QByteArray &name : std::as_const(ordered)) {
        QByteArray value;
        ssize_t n = ::getxattr(target.constData(), name.constData(), nullptr, 0);
        if (n >= 0) {
            value.resize(n);
            n = ::getxattr(target.constData(), name.constData(), value.data(), size_t(n));
        }
        if (n < 0 || ::fsetxattr(fd, name.constData(), value.constData(), size_t(n), 0) != 0)
            tellLostAttribute(target, name, errno);
    }
}

/// Puts @p bytes in @p fd's place from its start and cuts it there; 0 or an errno.
int overwrite(int fd, QByteArrayView bytes)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return errno;
    if (int err = writeAll(fd, bytes))
        return err;
    return ::ftruncate(fd, bytes.size()) == 0 && ::fsync(fd) == 0 ? 0 : errno;
}

/// Writes @p bytes over the content of @p target, a file with more names than this one,
/// which a rename would part from the others. The previous content is first kept beside it
/// under a temporary name and flushed, and removed only once the new content is: a crash in
/// between leaves it, for the user and, once no write holds the folder, for the sweep. A
/// write that fails midway (a full disk) puts the previous content back.
int writeInPlace(const QByteArray &target, const QByteArray &dir, const QByteArray &name, int dirFd,
                 const QByteArray &bytes)
{
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return errno;
    IniBytes previous;
    int err = readAll(fd, 0, &previous);
    QByteArray keep;
    int keepFd = -1;
    if (!err) {
        keep = tempName(dir, name, false);
        keepFd = ::mkostemp(keep.data(), O_CLOEXEC);
        if (keepFd < 0)
            err = errno;
    }
    const QByteArrayView old(previous.data(), qsizetype(previous.size()));
    if (keepFd >= 0) {
        err = writeAll(keepFd, old);
        if (!err && (::fsync(keepFd) != 0 || (dirFd >= 0 && ::fsync(dirFd) != 0)))
            err = errno;
        ::close(keepFd);
        if (err) {
            ::unlink(keep.constData());
            keep.clear();
        }
    }
    bool whole = true; // the file holds the old or the new content, not a mix
    if (!err) {
        err = overwrite(fd, bytes);
        // The file only grew on the way, so the previous bytes fit where they were.
        whole = !err || overwrite(fd, old) == 0;
    }
    ::close(fd);
    if (!keep.isEmpty() && whole)
        ::unlink(keep.constData());
    return err;
}

/// Replaces the file at @p path by @p bytes so that a crash leaves either the old or the
/// new content, and nothing else. Returns 0 and the new file's stamp, or an errno with the
/// file untouched.
///
/// The replacement is written into an unnamed file of the folder, which vanishes with a
/// crash, and named only just before the rename. Where the file system has no unnamed
/// files, it is written under its temporary name from the start; a crash can then leave it,
/// for sweepWriteLeftovers() to remove.
int replaceFile(const QByteArray &path, const QByteArray &bytes, FileStamp *stamp)
{
    int err = 0;
    const QByteArray target = resolveLinks(path, &err);
    if (err)
        return err;

    struct stat old;
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return errno;
    // The rename below only needs the folder to be writable; a file the user may not write
    // must stay as it is all the same.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return errno;

    const auto [dir, name] = splitPath(target);
    FolderLock lock(dir);
    lock.share();
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    // A file with other names is written where it is, which keeps its mode and attributes.
    const bool inPlace = exists && old.st_nlink > 1;
    if (inPlace && (err = writeInPlace(target, dir, name, lock.fd(), bytes)))
        return err;

    for (const bool unnamed : {true, false}) {
        if (inPlace)
            break;
        QByteArray temp;
        int fd;
        if (unnamed) {
            fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            // Any refusal is left to the named file to report, which fails the same way
            // when the folder is at fault.
            if (fd < 0)
                continue;
        } else {
            temp = tempName(dir, name, false);
            fd = ::mkostemp(temp.data(), O_CLOEXEC);
            if (fd < 0)
                return errno;
        }
        auto discard = [&](int why) {
            if (fd >= 0)
                ::close(fd);
            if (!temp.isEmpty())
                ::unlink(temp.constData());
            return why;
        };
        if ((err = writeAll(fd, bytes)))
            return discard(err);
        if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
            // Only root can give the file back to its owner; anyone else keeps it as theirs.
            [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
        }
        if (::fchmod(fd, mode) != 0)
            return discard(errno);
        if (exists)
            copyAttributes(target, fd);
        if (::fsync(fd) != 0)
            return discard(errno);
        if (unnamed) {
            do {
                temp = tempName(dir, name, true);
                err = linkUnnamed(fd, temp);
            } while (err == EEXIST);
            if (err) {
                temp.clear();
                discard(err);
                continue;
            }
        }
        const int closed = ::close(fd);
        fd = -1;
        if (closed != 0)
            return discard(errno);
        if (::rename(temp.constData(), target.constData()) != 0)
            return discard(errno);
        break;
    }

    // The rename is what makes the new content the file's; flushing the folder makes it
    // (and the removal of a copy an in-place write kept) survive a power cut. If that flush fails,
    // the new content is in place all the same.
    if (lock.fd() >= 0)
        ::fsync(lock.fd());
    struct stat now;
    *stamp = ::stat(target.constData(), &now) == 0 ? FileStamp::of(now) : FileStamp();
    return 0;
}

} // namespace

struct FileProfile::Private
{
    struct Entry
    {
        FileStamp stamp;
        IniDocument doc;
        bool checkedInSnapshot = false; ///< the stamp was checked in the snapshot under way
    };

    /// Parsed files by the path callers gave, each valid while the file's stamp holds.
    QHash<QString, Entry> cache;
    /// The last path's file name for the system, and its entry while a snapshot lasts:
    /// getinfo asks for one path 98000 times.
    QString lastPath;
    QByteArray lastNative;
    Entry *lastEntry = nullptr;
    int snapshotDepth = 0;

    bool inGroup = false;
    QString groupPath;
    /// The group's file with its writes applied, taken out of the cache while the group
    /// lasts; the writes are its lines marked as written.
    std::unique_ptr<IniDocument> pending;
    FileStamp pendingBase; ///< the file the pending document was read from

    const QByteArray &nativePath(const QString &path)
    {
        if (!samePath(path, lastPath)) {
            lastPath = path;
            lastNative = QFile::encodeName(path);
            lastEntry = nullptr;
        }
        return lastNative;
    }
    void forget(const QString &path)
    {
        cache.remove(path);
        lastEntry = nullptr;
    }

    /// The file at @p path as it is now (an empty document when it does not exist), or an
    /// errno when it cannot be read. With @p forWrite the file is checked even inside a
    /// snapshot, so that a write never drops what another program wrote meanwhile.
    int current(const QString &path, Entry **out, bool forWrite = true)
    {
        if (!forWrite && snapshotDepth > 0 && lastEntry && lastEntry->checkedInSnapshot &&
            samePath(path, lastPath)) {
            *out = lastEntry;
            return 0;
        }
        auto it = cache.find(path);
        if (!forWrite && snapshotDepth > 0 && it != cache.end() && it->checkedInSnapshot) {
            *out = &*it;
            return 0;
        }
        const QByteArray native = nativePath(path);
        FileStamp stamp;
        if (int err = statPath(native, &stamp)) {
            forget(path);
            return err;
        }
        if (it != cache.end() && it->stamp == stamp) {
            it->checkedInSnapshot = snapshotDepth > 0;
            *out = lastEntry = &*it;
            return 0;
        }
        Entry entry;
        if (stamp.exists) {
            if (int err = readFile(native, &entry)) {
                forget(path);
                return err;
            }
        }
        *out = store(path, std::move(entry));
        return 0;
    }

    /// Reads and parses the file @p native into @p entry; 0 or an errno.
    static int readFile(const QByteArray &native, Entry *entry)
    {
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        // The stamp of what is actually read: a change made while reading shows at the
        // next call as a stamp that differs.
        struct stat st;
        IniBytes bytes;
        int err = ::fstat(fd, &st) == 0 ? 0 : errno;
        // Lines are indexed with 32 bits; no entry file comes near this.
        if (!err && st.st_size > (qint64(1) << 30))
            err = EFBIG;
        if (!err)
            err = readAll(fd, st.st_size, &bytes);
        ::close(fd);
        if (err)
            return err;
        entry->stamp = FileStamp::of(st);
        entry->doc = IniDocument(std::move(bytes));
        return 0;
    }

    Entry *store(const QString &path, Entry &&entry)
    {
        entry.checkedInSnapshot = snapshotDepth > 0;
        if (!cache.contains(path) && cache.size() >= 16)
            cache.clear();
        nativePath(path);
        // Moved in: the document's line tables are as large as the file.
        lastEntry = &*cache.emplace(path, std::move(entry));
        return lastEntry;
    }

    void endGroup()
    {
        inGroup = false;
        groupPath.clear();
        pending.reset();
    }
};

FileProfile::FileProfile() : d(new Private) {}

FileProfile::~FileProfile()
{
    delete d;
}

QString FileProfile::read(const QString &path, const QString &section, const QString &key,
                          const QString &def)
{
    if (d->pending && path == d->groupPath)
        return d->pending->value(section, key).value_or(def);
    Private::Entry *e = nullptr;
    if (d->current(path, &e, false) != 0)
        return def;
    return e->doc.value(section, key).value_or(def);
}

WriteResult FileProfile::write(const QString &path, const QString &section, const QString &key,
                               const QString &value)
{
    QString why;
    Private::Entry *e = nullptr;
    if (d->inGroup) {
        if (!d->pending) {
            if (int err = d->current(path, &e))
                return WriteResult::failure(errorText(err));
            d->pending = std::make_unique<IniDocument>(std::move(e->doc));
            d->pending->forgetWrites();
            d->pendingBase = e->stamp;
            d->groupPath = path;
            d->forget(path);
        } else if (path != d->groupPath) {
            return WriteResult::failure(QStringLiteral("A group writes only one file"));
        }
        if (!d->pending->setValue(section, key, value, &why))
            return WriteResult::failure(why);
        return WriteResult::success();
    }

    if (int err = d->current(path, &e))
        return WriteResult::failure(errorText(err));
    if (!e->doc.setValue(section, key, value, &why))
        return WriteResult::failure(why);
    FileStamp stamp;
    const QByteArray bytes = e->doc.toBytes();
    if (int err = replaceFile(QFile::encodeName(path), bytes, &stamp)) {
        // The cached copy already holds the write that did not happen.
        d->forget(path);
        return WriteResult::failure(errorText(err));
    }
    if (e->doc.isFragmented())
        e->doc = IniDocument(bytes);
    e->stamp = stamp;
    return WriteResult::success();
}

void FileProfile::beginGroup()
{
    if (d->inGroup)
        return;
    d->endGroup();
    d->inGroup = true;
}

WriteResult FileProfile::commitGroup()
{
    if (!d->inGroup || !d->pending) {
        d->endGroup();
        return WriteResult::success();
    }
    const QString path = d->groupPath;
    std::unique_ptr<IniDocument> pending = std::move(d->pending);
    const FileStamp base = d->pendingBase;
    d->endGroup();

    const QByteArray native = QFile::encodeName(path);
    FileStamp now;
    if (int err = statPath(native, &now))
        return WriteResult::failure(errorText(err));
    Private::Entry entry;
    if (now == base) {
        entry.doc = std::move(*pending);
    } else {
        // Another program changed the file during the group: its edit is kept and ours are
        // made on top of it, as single writes would have been.
        if (now.exists) {
            if (int err = Private::readFile(native, &entry))
                return WriteResult::failure(errorText(err));
        }
        entry.doc.applyWritesOf(*pending);
    }
    pending.reset();
    const QByteArray bytes = entry.doc.toBytes();
    if (int err = replaceFile(native, bytes, &entry.stamp))
        return WriteResult::failure(errorText(err));
    if (entry.doc.isFragmented())
        entry.doc = IniDocument(bytes);
    d->store(path, std::move(entry));
    return WriteResult::success();
}

SweepResult sweepWriteLeftovers(const QString &path)
{
    int err = 0;
    const QByteArray target = resolveLinks(QFile::encodeName(path), &err);
    if (err)
        return {false, 0, errorText(err)};
    const auto [dir, name] = splitPath(target);
    FolderLock lock(dir);
    if (lock.fd() < 0) {
        if (errno == ENOENT)
            return {};
        return {false, 0, errorText(errno)};
    }
    if (!lock.tryExclusive())
        return {false, 0, QStringLiteral("Another write of this folder is under way")};

    const int scanFd = ::dup(lock.fd());
    DIR *scan = scanFd >= 0 ? ::fdopendir(scanFd) : nullptr;
    if (!scan) {
        const int why = errno;
        if (scanFd >= 0)
            ::close(scanFd);
        return {false, 0, errorText(why)};
    }
    SweepResult result;
    while (const dirent *entry = ::readdir(scan)) {
        if (!isTempName(entry->d_name, name))
            continue;
        // A second name of some other file, or anything but a plain file, is not ours.
        struct stat st;
        if (::fstatat(lock.fd(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_nlink != 1)
            continue;
        if (::unlinkat(lock.fd(), entry->d_name, 0) == 0) {
            ++result.removed;
        } else if (result.ok) {
            result.ok = false;
            result.error = errorText(errno);
        }
    }
    ::closedir(scan);
    return result;
}

void FileProfile::abortGroup()
{
    d->endGroup();
}

bool FileProfile::inGroup() const
{
    return d->inGroup;
}

void FileProfile::beginSnapshot()
{
    ++d->snapshotDepth;
}

void FileProfile::endSnapshot()
{
    if (d->snapshotDepth == 0 || --d->snapshotDepth > 0)
        return;
    for (Private::Entry &e : d->cache)
        e.checkedInSnapshot = false;
}

void FileProfile::releaseCache()
{
    if (d->inGroup || d->snapshotDepth > 0)
        return;
    d->cache = {};
    d->lastEntry = nullptr;
}

SweepResult FileProfile::sweepLeftovers(const QString &path)
{
    return sweepWriteLeftovers(path);
}

} // namespace ini
