// The program started as a user starts it: tray icon, hidden main window, close box,
// signals, a second copy, a tray that comes up after the program; the channel to the
// running copy under idle connections, a stopped copy and files planted in its way.

#include "channelclient.h"
#include "harness.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// The path of the running copy's socket in @p folder (a name beside its ".lock" file).
QByteArray channelSocket(const QString &folder)
{
    for (const QString &name : QDir(folder).entryList(QDir::System | QDir::Hidden)) {
        const QByteArray path = QFile::encodeName(folder + '/' + name);
        struct stat st;
        if (::lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode))
            return path;
    }
    return {};
}

/// Connections to @p path that send nothing, as many as get through, @p count tries.
QList<int> idleClients(const QByteArray &path, int count)
{
    QList<int> fds;
    for (int i = 0; i < count; ++i) {
        if (const int fd = idleClient(path); fd >= 0)
            fds << fd;
    }
    return fds;
}

/// Processor time @p pid has used, in clock ticks.
qint64 cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong(); // utime, stime
}

/// Runs `--prompt` as a later start does: its exit code, -1 when it has not ended within
/// 10 s; its standard error in @p err and the time it took in @p ms.
int laterPrompt(const E2eSession &x, QProcessEnvironment env = {}, QByteArray *err = nullptr,
                qint64 *ms = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env.isEmpty() ? x.environment() : env);
    QElapsedTimer t;
    t.start();
    p.start(x.path(QStringLiteral("dudud-adadadiz")), {QStringLiteral("--prompt")});
    const bool ended = p.waitForFinished(10000);
    if (ms)
        *ms = t.elapsed();
    if (err)
        *err = p.readAllStandardError();
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

/// Whether the keyword prompt (a 309 x 19 strip titled like the program) is shown.
bool promptShown(const E2eSession &x)
{
    for (const QString &w : x.visibleWindows(QStringLiteral("Dudud Adadadiz"))) {
        if (x.geometry(w).size() == QSize(309, 19))
            return true;
    }
    return false;
}

} // namespace

class TstStartup : public QObject
{
    Q_OBJECT

private:
    static QString netWmName(const E2eSession &x, const QString &window)
    {
        return x.run(QStringLiteral("xprop"),
                     {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_NAME")});
    }

private slots:
    void startsHiddenWithOneTrayIcon()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty(),
                                 5000);
        const QString icon = x.trayIconsOfApp().first();
        QVERIFY2(netWmName(x, icon).contains(QLatin1String("\"Dudud Adadadiz\"")),
                 qPrintable(netWmName(x, icon)));
        // Resting the pointer on the icon shows its tip in a tooltip window of the program.
        const QRect g = x.geometry(QString::number(icon.toULongLong(nullptr, 16)));
        x.xdotool({QStringLiteral("mousemove"), QString::number(g.center().x()),
                   QString::number(g.center().y())});
        QTRY_VERIFY_WITH_TIMEOUT(
            x.run(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("for w in $(xdotool search --onlyvisible --class "
                                  "dudud-adadadiz); do xprop -id $w _NET_WM_WINDOW_TYPE; done")})
                .contains(QLatin1String("_NET_WM_WINDOW_TYPE_TOOLTIP")),
            5000);
        x.xdotool({QStringLiteral("mousemove"), QStringLiteral("10"), QStringLiteral("10")});
        // Still running, still one icon a moment later.
        QTest::qWait(500);
        QCOMPARE(x.app()->state(), QProcess::Running);
        QCOMPARE(x.trayIconsOfApp().size(), 1);
    }

    // A value of megabytes (a hand edit, another program) neither freezes the program nor
    // swells it: the list shows the start of it.
    void aHugeValueStaysCheapAndLeftoversGo()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        // And what a write cut short by a crash left beside the file goes at start-up.
        QFile leftover(x.path(QStringLiteral(".DAzad.ini.k3x9Qa")));
        QVERIFY(leftover.open(QIODevice::WriteOnly) && leftover.write("[count]\nc=") == 10);
        leftover.close();
        x.writeEntryFile("[count]\nc=1\n[1]\nAction=/" + QByteArray(10 << 20, 'a') +
                         "\nHotkey=A\nKeyword=huge\n");
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QVERIFY(!leftover.exists());
        QProcess second; // the main window, shown with the row selected
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
        second.waitForFinished(10000);
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).size(), 1,
                                  5000);
        QFile status(QStringLiteral("/proc/%1/status").arg(x.app()->processId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray s = status.readAll();
        const int at = s.indexOf("VmRSS:");
        const qint64 kb =
            s.mid(at + 6, s.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong();
        qInfo("resident memory with a 10 MB action shown: %lld MB", kb / 1024);
        QVERIFY2(kb > 0 && kb < 100 * 1024, s.constData());
    }

    void secondStartShowsTheFirstCopyAndEnds()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty(),
                                 5000);

        QProcess second;
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).size(), 1,
                                  5000);
        QCOMPARE(x.trayIconsOfApp().size(), 1);
        QCOMPARE(x.app()->state(), QProcess::Running);

        // The shown main window is centred on the screen.
        const QRect g = x.geometry(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).first());
        QVERIFY2(qAbs(g.center().x() - 640) <= 20 && qAbs(g.center().y() - 400) <= 40,
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(g.x())
                                .arg(g.y())
                                .arg(g.width())
                                .arg(g.height())));

        // The close box hides it again; the program and its icon stay.
        const QString w = x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).first();
        x.xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), w});
        x.xdotool({QStringLiteral("key"), QStringLiteral("--window"), w, QStringLiteral("alt+F4")});
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty(),
                                 5000);
        QTest::qWait(300);
        QCOMPARE(x.app()->state(), QProcess::Running);
        QCOMPARE(x.trayIconsOfApp().size(), 1);
    }

    void sigtermRemovesTheIconAndEnds_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void sigtermRemovesTheIconAndEnds()
    {
        QFETCH(int, signal);
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        ::kill(pid_t(x.app()->processId()), signal);
        QVERIFY(x.waitForAppExit(5000));
        QCOMPARE(x.app()->exitStatus(), QProcess::NormalExit);
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 0, 5000);
    }

    // Idle connections from another program of the user, past what the launcher may open:
    // it stays idle, and a later start still reaches it.
    void idleConnectionsNeitherSpinNorBlock()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        const qint64 pid = x.app()->processId();
        const QByteArray socket = channelSocket(x.path(QStringLiteral("runtime")));
        QVERIFY(!socket.isEmpty());
        // Room for a few connections, fewer than it would hold.
        const rlim_t open = QDir(QStringLiteral("/proc/%1/fd").arg(pid)).count() - 2;
        const rlimit low{open + 4, open + 4};
        QCOMPARE(::prlimit(pid_t(pid), RLIMIT_NOFILE, &low, nullptr), 0);
        const QList<int> idle = idleClients(socket, 300);
        QVERIFY(idle.size() > 8);
        QTest::qWait(200);
        const qint64 before = cpuTicks(pid);
        QTest::qWait(1000);
        const qint64 used = cpuTicks(pid) - before;
        QVERIFY2(used < sysconf(_SC_CLK_TCK) / 5, qPrintable(QString::number(used)));
        // Its own one-second wait ends a start that gets no answer with status 1.
        QCOMPARE(laterPrompt(x), 0);
        QTRY_VERIFY_WITH_TIMEOUT(promptShown(x), 3000);
        for (int fd : idle)
            ::close(fd);
    }

    // A running copy that does not answer (stopped) makes a later start give up in about a
    // second, say so and end with status 1, however full its queue: it never starts a
    // second copy.
    void aStoppedCopyIsReportedNotDoubled()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        const pid_t pid = pid_t(x.app()->processId());
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        const QList<int> queued =
            idleClients(channelSocket(x.path(QStringLiteral("runtime"))), 100);
        QByteArray err;
        qint64 ms = 0;
        // That it ends at all says that it did not go on as a second copy.
        const int code = laterPrompt(x, {}, &err, &ms);
        ::kill(pid, SIGCONT);
        for (int fd : queued)
            ::close(fd);
        QCOMPARE(code, 1);
        QVERIFY2(ms < 1500, qPrintable(QString::number(ms)));
        QVERIFY2(err.contains("the running copy does not answer"), err.constData());
        // Going again, it takes the next start.
        QCOMPARE(laterPrompt(x), 0);
        QTRY_VERIFY_WITH_TIMEOUT(promptShown(x), 3000);
    }

    // Without a runtime folder of the user's own the channel goes to the temporary folder,
    // where another user may have put something first under the name it would take.
    void somethingPlantedInTheTemporaryFolderChangesNothing_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("symbolic link") << "link";
        QTest::newRow("file") << "file";
        QTest::newRow("another user's folder") << "folder";
    }

    void somethingPlantedInTheTemporaryFolderChangesNothing()
    {
        QFETCH(QString, planted);
        if (::geteuid() != 0)
            QSKIP("planting another user's files needs root");
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        const QString tmp = x.path(QStringLiteral("tmp"));
        const QString foreign = x.path(QStringLiteral("foreign"));
        QVERIFY(QDir().mkpath(tmp) && QDir().mkpath(foreign));
        QVERIFY(::chmod(QFile::encodeName(tmp).constData(), 01777) == 0);
        QVERIFY(::chmod(QFile::encodeName(foreign).constData(), 0777) == 0);
        // Not the user's: the runtime folder is passed over.
        QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
        const QByteArray trap =
            QFile::encodeName(tmp + QStringLiteral("/dudud-adadadiz-%1").arg(::getuid()));
        if (planted == "link")
            QCOMPARE(::symlink(QFile::encodeName(foreign).constData(), trap.constData()), 0);
        else if (planted == "file")
            QVERIFY(::close(::open(trap.constData(), O_CREAT | O_WRONLY, 0666)) == 0);
        else
            QCOMPARE(::mkdir(trap.constData(), 0777), 0);
        QCOMPARE(::lchown(trap.constData(), 65534, 65534), 0);
        struct stat before;
        QCOMPARE(::lstat(trap.constData(), &before), 0);

        const QStringList env{QStringLiteral("TMPDIR=") + tmp,
                              QStringLiteral("XDG_RUNTIME_DIR=") + foreign};
        QVERIFY2(x.startApp(env), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QProcessEnvironment later = x.environment();
        later.insert(QStringLiteral("TMPDIR"), tmp);
        later.insert(QStringLiteral("XDG_RUNTIME_DIR"), foreign);
        QCOMPARE(laterPrompt(x, later), 0);
        QTRY_VERIFY_WITH_TIMEOUT(promptShown(x), 3000);

        struct stat after;
        QCOMPARE(::lstat(trap.constData(), &after), 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(QDir(foreign).entryList({QStringLiteral("dudud*")},
                                         QDir::AllEntries | QDir::System | QDir::Hidden),
                 QStringList());
        // The channel is in a folder of the user's own that nobody else may enter.
        const QString used = QString::fromLocal8Bit(trap) + QStringLiteral("-1");
        QVERIFY(!channelSocket(used).isEmpty());
        struct stat own;
        QCOMPARE(::lstat(QFile::encodeName(used).constData(), &own), 0);
        QVERIFY(S_ISDIR(own.st_mode) && own.st_uid == ::getuid() && (own.st_mode & 0777) == 0700);
    }

    void iconAppearsWhenTheTrayComesUpLater()
    {
        E2eSession::Options o;
        o.tray = false;
        E2eSession x(o);
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTest::qWait(2000);
        // No tray: the main window is minimised but stays reachable in the taskbar.
        QCOMPARE(x.app()->state(), QProcess::Running);
        QVERIFY(!x.windows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty());
        QVERIFY(x.startTray());
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
