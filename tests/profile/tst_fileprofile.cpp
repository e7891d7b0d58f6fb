// The profile over real files: what reaches the disk, when, and what survives a failure.

#include "asnobody.h"
#include "entries/ini/fileprofile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using ini::FileProfile;
using platform::ProfileGroup;
using platform::ProfileSnapshot;

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray golden(const QString &name)
{
    QFile f(QStringLiteral(DUDUD_TEST_DATA_DIR "/ini/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Hidden files in @p folder: a temporary file a write left behind.
QStringList strayTemporaries(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

QString errorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QByteArray attribute(const QString &path, const char *name)
{
    QByteArray v(4096, '\0');
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, v.data(), v.size());
    return n < 0 ? QByteArray("<none>") : v.left(n);
}

/// An access ACL in the kernel's form: the owner rw, the user nobody rw, the owning group
/// nothing, the mask rw, others nothing.
QByteArray aclGivingNobodyReadWrite()
{
    const auto entry = [](quint16 tag, quint16 perm, quint32 id) {
        return QByteArray(reinterpret_cast<const char *>(&tag), 2) +
               QByteArray(reinterpret_cast<const char *>(&perm), 2) +
               QByteArray(reinterpret_cast<const char *>(&id), 4);
    };
    const quint32 version = 2, none = 0xFFFFFFFF;
    return QByteArray(reinterpret_cast<const char *>(&version), 4) + entry(0x01, 6, none) +
           entry(0x02, 6, 65534) + entry(0x04, 0, none) + entry(0x10, 6, none) +
           entry(0x20, 0, none);
}

// Coarse file times tick every few milliseconds; waiting one tick makes the change time of
// the next edit differ from the last one, as it would for any edit a person makes.
void nextTimeTick()
{
    QThread::msleep(20);
}

} // namespace

class TstFileProfile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void missingFileReadsDefaultAndWriteCreatesIt();
    void permissionsKept_data();
    void permissionsKept();
    void symbolicLinkKept_data();
    void symbolicLinkKept();
    void refusedWriteLeavesFile_data();
    void refusedWriteLeavesFile();
    void fullDiskLeavesFile_data();
    void fullDiskLeavesFile();
    void otherProgramsEditSeen_data();
    void otherProgramsEditSeen();
    void otherProgramsEditKeptByWrite();
    void snapshotSeesEditsMadeBetweenSnapshots();
    void releaseCacheKeepsSnapshotAndGroup();
    void untouchedBytesKept_data();
    void untouchedBytesKept();
    void longValuesWhole_data();
    void longValuesWhole();
    void hugeLineAndNulBytesOnDisk();
    void groupReachesDiskAtCommit();
    void groupAbortAndScope();
    void groupFailedCommitLeavesFile();
    void groupKeepsOtherProgramsEdit();
    void groupWritesOneFile();
    void sweepRemovesOnlyLeftovers_data();
    void sweepRemovesOnlyLeftovers();
    void sweepLeavesWritesInProgress();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TstFileProfile::init()
{
    QVERIFY(m_dir.isValid());
    // Each test gets its own file so no cached state carries over between them.
    m_path = m_dir.filePath(QStringLiteral("DAzad-%1.ini").arg(QTest::currentTestFunction()));
    if (QTest::currentDataTag())
        m_path.insert(m_path.size() - 4,
                      QLatin1Char('-') + QString::fromLatin1(QTest::currentDataTag())
                                             .replace(QLatin1Char(' '), QLatin1Char('_')));
    QFile::remove(m_path);
    ::umask(022);
}

void TstFileProfile::missingFileReadsDefaultAndWriteCreatesIt()
{
    FileProfile p;
    QCOMPARE(p.read(m_path, "count", "c", "def"), "def");
    QVERIFY(!QFile::exists(m_path));
    QVERIFY(p.write(m_path, "count", "c", "1").ok);
    QCOMPARE(contents(m_path), QByteArray("[count]\nc=1\n"));
    QCOMPARE(modeOf(m_path), mode_t(0644));
    QVERIFY(p.write(m_path, "1", "Action", "a").ok);
    QCOMPARE(contents(m_path), QByteArray("[count]\nc=1\n[1]\nAction=a\n"));
    QCOMPARE(p.read(m_path, "1", "Action", "def"), "a");
    QCOMPARE(strayTemporaries(m_dir.path()), QStringList());
}

void TstFileProfile::permissionsKept_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("acl");      // and a user.* attribute
    QTest::addColumn<bool>("hardLink"); // a second name for the file
    QTest::addColumn<bool>("grouped");  // written as Add and Remove write, in a group
    QTest::newRow("0640") << 0640 << false << false << false;
    QTest::newRow("0600") << 0600 << false << false << false;
    QTest::newRow("0666") << 0666 << false << false << false;
    QTest::newRow("ACL and attribute") << 0600 << true << false << false;
    QTest::newRow("ACL and attribute, grouped") << 0600 << true << false << true;
    QTest::newRow("hard link") << 0640 << false << true << false;
    QTest::newRow("hard link, ACL, grouped") << 0600 << true << true << true;
}

void TstFileProfile::permissionsKept()
{
    QFETCH(int, mode);
    QFETCH(bool, acl);
    QFETCH(bool, hardLink);
    QFETCH(bool, grouped);
    put(m_path, "[a]\nx=1\n");
    QVERIFY(setMode(m_path, mode_t(mode)));
    const QByteArray native = QFile::encodeName(m_path);
    if (acl) {
        const QByteArray a = aclGivingNobodyReadWrite();
        if (::setxattr(native.constData(), "system.posix_acl_access", a.constData(), a.size(), 0) !=
                0 ||
            ::setxattr(native.constData(), "user.tag", "keepme", 6, 0) != 0)
            QSKIP(
                qPrintable("this file system takes no ACL or user attribute: " + errorText(errno)));
    }
    const QString other = m_path + QStringLiteral(".other");
    QFile::remove(other);
    if (hardLink)
        QCOMPARE(::link(native.constData(), QFile::encodeName(other).constData()), 0);
    const mode_t before = modeOf(m_path); // with an ACL, its group bits are the mask
    const QByteArray aclBefore = attribute(m_path, "system.posix_acl_access");

    FileProfile p;
    if (grouped) {
        ProfileGroup g(p);
        QVERIFY(p.write(m_path, "a", "x", "2").ok);
        QVERIFY(p.write(m_path, "b", "y", "3").ok);
        QVERIFY(g.commit().ok);
    } else {
        QVERIFY(p.write(m_path, "a", "x", "2").ok);
    }
    const QByteArray expected = grouped ? "[a]\nx=2\n[b]\ny=3\n" : "[a]\nx=2\n";
    QCOMPARE(contents(m_path), expected);
    QCOMPARE(modeOf(m_path), before);
    QCOMPARE(attribute(m_path, "system.posix_acl_access"), aclBefore);
    QCOMPARE(attribute(m_path, "user.tag"), acl ? QByteArray("keepme") : QByteArray("<none>"));
    if (hardLink) {
        QCOMPARE(contents(other), expected);
        QCOMPARE(statOf(other).st_ino, statOf(m_path).st_ino);
    }
    QCOMPARE(strayTemporaries(m_dir.path()), QStringList());
}

void TstFileProfile::symbolicLinkKept_data()
{
    QTest::addColumn<bool>("relative");
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("absolute link") << false << true;
    QTest::newRow("relative link") << true << true;
    QTest::newRow("link to a file not yet made") << true << false;
}

void TstFileProfile::symbolicLinkKept()
{
    QFETCH(bool, relative);
    QFETCH(bool, targetExists);
    QDir dir(m_dir.path());
    const QString sub =
        QStringLiteral("real-") + QString::number(relative) + QString::number(targetExists);
    QVERIFY(dir.mkpath(sub));
    const QString target = dir.filePath(sub + "/entries.ini");
    if (targetExists)
        put(target, "; kept\n[a]\nx=1\n");
    QVERIFY(QFile::link(relative ? sub + "/entries.ini" : target, m_path));

    FileProfile p;
    QVERIFY(p.write(m_path, "a", "x", "2").ok);
    QVERIFY(QFileInfo(m_path).isSymLink());
    QCOMPARE(contents(target),
             targetExists ? QByteArray("; kept\n[a]\nx=2\n") : QByteArray("[a]\nx=2\n"));
    QCOMPARE(p.read(m_path, "a", "x", "def"), "2");
}

void TstFileProfile::refusedWriteLeavesFile_data()
{
    QTest::addColumn<bool>("folderReadOnly");
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only folder") << true;
}

void TstFileProfile::refusedWriteLeavesFile()
{
    QFETCH(bool, folderReadOnly);
    QDir dir(m_dir.path());
    const QString sub = folderReadOnly ? "ro-folder" : "ro-file";
    QVERIFY(dir.mkpath(sub));
    const QString folder = dir.filePath(sub);
    const QString path = folder + "/DAzad.ini";
    const QByteArray before("; mine\r\n[a]\r\nx=1\r\n");
    put(path, before);
    QVERIFY(setMode(m_dir.path(), 0755));
    QVERIFY(setMode(folder, folderReadOnly ? 0555 : 0777));
    QVERIFY(setMode(path, folderReadOnly ? 0666 : 0444));

    platform::WriteResult r;
    QString after;
    QString added;
    {
        AsNobody nobody;
        FileProfile p;
        QCOMPARE(p.read(path, "a", "x", "def"), "1");
        r = p.write(path, "a", "x", "2");
        // The failed write must not linger in what this profile reads either.
        after = p.read(path, "a", "x", "def");
        added = p.write(path, "b", "y", "3").ok ? "written" : "refused";
    }
    setMode(folder, 0755);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, errorText(EACCES));
    QCOMPARE(after, "1");
    QCOMPARE(added, "refused");
    QCOMPARE(contents(path), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"DAzad.ini"});
}

void TstFileProfile::fullDiskLeavesFile_data()
{
    QTest::addColumn<bool>("hardLink");
    QTest::newRow("one name") << false;
    // Written in place: the write fails halfway, once the file is longer than it was.
    QTest::newRow("two names") << true;
}

void TstFileProfile::fullDiskLeavesFile()
{
    QFETCH(bool, hardLink);
    // A file size limit fails the temporary file's write the way a full disk does.
    const QByteArray before = "[a]\nx=1\n" + QByteArray(900, ';') + "\n";
    put(m_path, before);
    const QString other = m_path + QStringLiteral(".other");
    QFile::remove(other);
    if (hardLink)
        QCOMPARE(
            ::link(QFile::encodeName(m_path).constData(), QFile::encodeName(other).constData()), 0);
    FileProfile p;
    QCOMPARE(p.read(m_path, "a", "x", "def"), "1");

    struct rlimit old;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const platform::WriteResult r = p.write(m_path, "a", "x", QString(300, QLatin1Char('y')));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!r.ok);
    QCOMPARE(r.error, errorText(EFBIG));
    QCOMPARE(contents(m_path), before);
    QCOMPARE(statOf(m_path).st_nlink, nlink_t(hardLink ? 2 : 1));
    QCOMPARE(p.read(m_path, "a", "x", "def"), "1");
    QCOMPARE(strayTemporaries(m_dir.path()), QStringList());
}

void TstFileProfile::otherProgramsEditSeen_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same size, in place, same mtime") << "in place"
                                                     << "2";
    QTest::newRow("same size, renamed over, same mtime") << "rename"
                                                         << "2";
    QTest::newRow("longer") << "append"
                            << "22";
    QTest::newRow("deleted") << "delete"
                             << "def";
}

void TstFileProfile::otherProgramsEditSeen()
{
    QFETCH(QString, how);
    QFETCH(QString, expected);
    put(m_path, "[a]\nx=1\n");
    FileProfile p;
    QCOMPARE(p.read(m_path, "a", "x", "def"), "1");
    const struct stat before = statOf(m_path);
    nextTimeTick();

    const QByteArray edited = how == "append" ? "[a]\nx=22\n" : "[a]\nx=2\n";
    if (how == "in place" || how == "append") {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, edited.constData(), size_t(edited.size())), ssize_t(edited.size()));
        ::close(fd);
    } else if (how == "rename") {
        const QString other = m_path + ".new";
        put(other, edited);
        QCOMPARE(
            ::rename(QFile::encodeName(other).constData(), QFile::encodeName(m_path).constData()),
            0);
    } else {
        QVERIFY(QFile::remove(m_path));
    }
    if (how != "delete") {
        // Put the modification time back, as a copy tool that keeps times would.
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_path).constData(), times, 0), 0);
        QCOMPARE(statOf(m_path).st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
    QCOMPARE(p.read(m_path, "a", "x", "def"), expected);
}

void TstFileProfile::snapshotSeesEditsMadeBetweenSnapshots()
{
    put(m_path, "[a]\nx=1\n");
    FileProfile p;
    {
        ProfileSnapshot outer(p);
        QCOMPARE(p.read(m_path, "a", "x", "def"), "1");
        {
            ProfileSnapshot inner(p);
            QCOMPARE(p.read(m_path, "a", "x", "def"), "1");
        }
        // Changed by another program while a snapshot is held: a write still keeps it.
        put(m_path, "[a]\nx=22\n");
        QVERIFY(p.write(m_path, "a", "y", "3").ok);
        QCOMPARE(p.read(m_path, "a", "y", "def"), "3");
        QCOMPARE(contents(m_path), QByteArray("[a]\nx=22\ny=3\n"));
    }
    nextTimeTick();
    put(m_path, "[a]\nx=333\n");
    ProfileSnapshot next(p);
    QCOMPARE(p.read(m_path, "a", "x", "def"), "333");
    QCOMPARE(p.read(m_path, "a", "y", "def"), "def");
}

void TstFileProfile::releaseCacheKeepsSnapshotAndGroup()
{
    put(m_path, "[a]\nx=1\n");
    FileProfile p;
    {
        ProfileSnapshot snapshot(p);
        QCOMPARE(p.read(m_path, "a", "x", "def"), "1");
        put(m_path, "[a]\nx=22\n");
        p.releaseCache();
        QCOMPARE(p.read(m_path, "a", "x", "def"), "1");
    }
    p.releaseCache();
    QCOMPARE(p.read(m_path, "a", "x", "def"), "22");
    p.beginGroup();
    QVERIFY(p.write(m_path, "a", "y", "3").ok);
    p.releaseCache();
    QCOMPARE(p.read(m_path, "a", "y", "def"), "3");
    QVERIFY(p.commitGroup().ok);
    p.releaseCache();
    QCOMPARE(contents(m_path), QByteArray("[a]\nx=22\ny=3\n"));
    QCOMPARE(p.read(m_path, "a", "y", "def"), "3");
}

void TstFileProfile::otherProgramsEditKeptByWrite()
{
    FileProfile mine;
    FileProfile theirs;
    QVERIFY(mine.write(m_path, "a", "x", "1").ok);
    QCOMPARE(theirs.read(m_path, "a", "x", "def"), "1");
    QVERIFY(theirs.write(m_path, "b", "y", "2").ok);
    QCOMPARE(mine.read(m_path, "b", "y", "def"), "2");
    QVERIFY(mine.write(m_path, "a", "z", "3").ok);
    nextTimeTick();
    put(m_path, contents(m_path) + "; by hand\n");
    QVERIFY(theirs.write(m_path, "a", "x", "4").ok);
    QCOMPARE(contents(m_path), QByteArray("[a]\nx=4\nz=3\n[b]\ny=2\n; by hand\n"));
}

void TstFileProfile::untouchedBytesKept_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("oldLine");
    QTest::addColumn<QByteArray>("newLine");
    QTest::newRow("crlf") << "crlf.ini"
                          << "1"
                          << "Action" << QByteArray("Action=C:\\crlf\\path.exe\r\n")
                          << QByteArray("Action=new\r\n");
    QTest::newRow("bom") << "bom.ini"
                         << "count"
                         << "c" << QByteArray("c=1\n") << QByteArray("c=new\n");
    QTest::newRow("1252 and utf-8")
        << "cp1252.ini"
        << "W"
        << "HOTKEY" << QByteArray("Hotkey=caf\xc3\xa9\n") << QByteArray("HOTKEY=new\n");
    QTest::newRow("nul") << "nul.ini"
                         << "z"
                         << "Keyword" << QByteArray("Keyword=ok\n") << QByteArray("Keyword=new\n");
    QTest::newRow("comments") << "comments.ini"
                              << "c"
                              << "Keyword" << QByteArray("Keyword = x = y\n")
                              << QByteArray("Keyword=new\n");
}

void TstFileProfile::untouchedBytesKept()
{
    QFETCH(QString, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QByteArray, oldLine);
    QFETCH(QByteArray, newLine);
    QByteArray bytes = golden(file);
    QVERIFY(bytes.count(oldLine) == 1);
    put(m_path, bytes);
    FileProfile p;
    QVERIFY(p.write(m_path, section, key, "new").ok);
    bytes.replace(oldLine, newLine);
    QCOMPARE(contents(m_path), bytes);
}

void TstFileProfile::longValuesWhole_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("300") << 300;
    QTest::newRow("100000") << 100000;
}

void TstFileProfile::longValuesWhole()
{
    QFETCH(int, length);
    QString action;
    for (int i = 0; i < length; ++i)
        action.append(QChar(u'a' + i % 26));
    action.replace(0, 3, QStringLiteral("C:\\"));
    FileProfile p;
    QVERIFY(p.write(m_path, "1", "Action", action).ok);
    QVERIFY(p.write(m_path, "1", "Keyword", "k").ok);
    QCOMPARE(p.read(m_path, "1", "Action", "def"), action);
    QCOMPARE(FileProfile().read(m_path, "1", "Action", "def"), action);
    // A rewrite of the value as it was read leaves the file as it was.
    const QByteArray before = contents(m_path);
    QVERIFY(p.write(m_path, "1", "Action", p.read(m_path, "1", "Action", "")).ok);
    QCOMPARE(contents(m_path), before);
}

void TstFileProfile::hugeLineAndNulBytesOnDisk()
{
    const QByteArray huge = QByteArray(1024 * 1024, 'h');
    const QByteArray head =
        "[1]\nAction=" + huge + "\n" + QByteArray("\0\0junk\0\n", 8) + "Keyword=k1\n";
    put(m_path, head + "[2]\nAction=two\n");
    FileProfile p;
    QCOMPARE(p.read(m_path, "1", "Action", "def").size(), huge.size());
    QCOMPARE(p.read(m_path, "1", "Keyword", "def"), "k1");
    QCOMPARE(p.read(m_path, "2", "Action", "def"), "two");
    QVERIFY(p.write(m_path, "2", "Action", "2").ok);
    QCOMPARE(contents(m_path), head + "[2]\nAction=2\n");
}

void TstFileProfile::groupReachesDiskAtCommit()
{
    put(m_path, "[count]\nc=3\n[1]\nAction=a\n[2]\nAction=b\n[3]\nAction=c\n");
    const QByteArray before = contents(m_path);
    const ino_t inode = statOf(m_path).st_ino;
    FileProfile p;
    ProfileGroup group(p);
    QVERIFY(p.inGroup());
    QVERIFY(p.write(m_path, "count", "c", "2").ok);
    for (int i = 1; i <= 2; ++i) {
        const QString next = QString::number(i + 1);
        QVERIFY(
            p.write(m_path, QString::number(i), "Action", p.read(m_path, next, "Action", "")).ok);
    }
    QCOMPARE(p.read(m_path, "count", "c", ""), "2");
    QCOMPARE(p.read(m_path, "1", "Action", ""), "b");
    QCOMPARE(p.read(m_path, "2", "Action", ""), "c");
    QCOMPARE(contents(m_path), before);
    QCOMPARE(statOf(m_path).st_ino, inode);
    QVERIFY(group.commit().ok);
    QVERIFY(!p.inGroup());
    QCOMPARE(contents(m_path), QByteArray("[count]\nc=2\n[1]\nAction=b\n[2]\nAction=c\n[3]\n"
                                          "Action=c\n"));
}

void TstFileProfile::groupAbortAndScope()
{
    put(m_path, "[a]\nx=1\n");
    FileProfile p;
    {
        ProfileGroup group(p);
        QVERIFY(p.write(m_path, "a", "x", "2").ok);
        QCOMPARE(p.read(m_path, "a", "x", ""), "2");
        group.abort();
    }
    QCOMPARE(p.read(m_path, "a", "x", ""), "1");
    QCOMPARE(contents(m_path), QByteArray("[a]\nx=1\n"));
    {
        ProfileGroup group(p);
        QVERIFY(p.write(m_path, "a", "x", "3").ok);
    }
    QCOMPARE(contents(m_path), QByteArray("[a]\nx=3\n"));
    // A group without writes leaves the file alone.
    const ino_t inode = statOf(m_path).st_ino;
    {
        ProfileGroup group(p);
        QCOMPARE(p.read(m_path, "a", "x", ""), "3");
    }
    QCOMPARE(statOf(m_path).st_ino, inode);
}

void TstFileProfile::groupFailedCommitLeavesFile()
{
    QDir dir(m_dir.path());
    QVERIFY(dir.mkpath("group-ro"));
    const QString folder = dir.filePath("group-ro");
    const QString path = folder + "/DAzad.ini";
    const QByteArray before("[a]\nx=1\n");
    put(path, before);
    QVERIFY(setMode(m_dir.path(), 0755));
    QVERIFY(setMode(path, 0666));
    platform::WriteResult r;
    {
        AsNobody nobody;
        FileProfile p;
        p.beginGroup();
        // Pending writes are accepted; the disk says no only at commit.
        QVERIFY(p.write(path, "a", "x", "2").ok);
        QVERIFY(p.write(path, "b", "y", "3").ok);
        setMode(folder, 0555);
        r = p.commitGroup();
        QVERIFY(!p.inGroup());
        QCOMPARE(p.read(path, "a", "x", ""), "1");
    }
    setMode(folder, 0755);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, errorText(EACCES));
    QCOMPARE(contents(path), before);
}

void TstFileProfile::groupKeepsOtherProgramsEdit()
{
    put(m_path, "[a]\nx=1\nw=4\n");
    FileProfile p;
    // Written before the group: not the group's to carry over.
    QVERIFY(p.write(m_path, "a", "w", "5").ok);
    p.beginGroup();
    QVERIFY(p.write(m_path, "a", "x", "2").ok);
    nextTimeTick();
    put(m_path, "; added by hand\n[a]\nx=1\nw=6\nz=9\n");
    QVERIFY(p.write(m_path, "a", "y", "3").ok);
    QVERIFY(p.write(m_path, "New", "k", " spaced ").ok);
    QVERIFY(p.write(m_path, "new", "k", " spaced é ").ok);
    QVERIFY(p.commitGroup().ok);
    QCOMPARE(contents(m_path), QByteArray("; added by hand\n[a]\nx=2\nw=6\nz=9\ny=3\n[New]\n"
                                          "k=\" spaced \xc3\xa9 \"\n"));
    QCOMPARE(p.read(m_path, "new", "k", ""), QString(" spaced é "));
}

void TstFileProfile::groupWritesOneFile()
{
    const QString other = m_path + ".other";
    put(other, "[a]\nx=1\n");
    FileProfile p;
    p.beginGroup();
    QVERIFY(p.write(m_path, "a", "x", "2").ok);
    const platform::WriteResult r = p.write(other, "a", "x", "2");
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    // Reads of another file go to that file.
    QCOMPARE(p.read(other, "a", "x", ""), "1");
    QVERIFY(p.commitGroup().ok);
    QCOMPARE(contents(m_path), QByteArray("[a]\nx=2\n"));
    QCOMPARE(contents(other), QByteArray("[a]\nx=1\n"));
}

void TstFileProfile::sweepRemovesOnlyLeftovers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("removed");
    QTest::newRow("leftover") << ".DAzad.ini.aZ09xY"
                              << "file" << true;
    QTest::newRow("five letters") << ".DAzad.ini.aZ09x"
                                  << "file" << false;
    QTest::newRow("seven letters") << ".DAzad.ini.aZ09xYz"
                                   << "file" << false;
    QTest::newRow("not a letter") << ".DAzad.ini.aZ09x-"
                                  << "file" << false;
    QTest::newRow("another file's") << ".other.ini.aZ09xY"
                                    << "file" << false;
    QTest::newRow("no leading dot") << "DAzad.ini.aZ09xY"
                                    << "file" << false;
    QTest::newRow("folder") << ".DAzad.ini.aZ09xY"
                            << "folder" << false;
    QTest::newRow("symbolic link") << ".DAzad.ini.aZ09xY"
                                   << "link" << false;
    QTest::newRow("second name of a file") << ".DAzad.ini.aZ09xY"
                                           << "hard link" << false;
}

void TstFileProfile::sweepRemovesOnlyLeftovers()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, removed);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const QString entry = folder + "/DAzad.ini";
    const QString other = folder + "/other.txt";
    put(entry, "[a]\nx=1\n");
    put(other, "mine");
    const QString leftover = folder + '/' + name;
    if (kind == "file")
        put(leftover, "[a]\nx=");
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(leftover));
    else if (kind == "link")
        QVERIFY(QFile::link(other, leftover));
    else
        QCOMPARE(
            ::link(QFile::encodeName(other).constData(), QFile::encodeName(leftover).constData()),
            0);

    const platform::SweepResult r = ini::sweepWriteLeftovers(entry);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.removed, removed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(leftover) || QFileInfo(leftover).isSymLink(), !removed);
    QCOMPARE(contents(entry), QByteArray("[a]\nx=1\n"));
    QCOMPARE(contents(other), QByteArray("mine"));
}

void TstFileProfile::sweepLeavesWritesInProgress()
{
    const QString leftover = m_dir.filePath(".DAzad.ini.inWrit");
    const QString entry = m_dir.filePath("DAzad.ini");
    put(leftover, "partial");
    // A writer holds the folder shared while its temporary file exists.
    const int writer = ::open(QFile::encodeName(m_dir.path()).constData(), O_RDONLY);
    QVERIFY(writer >= 0);
    QCOMPARE(::flock(writer, LOCK_SH), 0);
    const platform::SweepResult during = ini::sweepWriteLeftovers(entry);
    ::close(writer);
    QVERIFY(!during.ok);
    QVERIFY(!during.error.isEmpty());
    QVERIFY(QFile::exists(leftover));
    const platform::SweepResult after = ini::sweepWriteLeftovers(entry);
    QVERIFY2(after.ok, qPrintable(after.error));
    QCOMPARE(after.removed, 1);
    QVERIFY(!QFile::exists(leftover));
    QCOMPARE(ini::sweepWriteLeftovers(m_dir.filePath("missing/DAzad.ini")).ok, true);
}

QTEST_GUILESS_MAIN(TstFileProfile)
#include "tst_fileprofile.moc"
