// The real Linux shell, starting real small scripts. Every script appends what it saw (its
// arguments, folder, parent and session) to a log that the test polls.
#include "launch/actionlauncher.h"
#include "platform/linux/linuxshell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kTimeout = 10000;

/// One run of a logging script, as it recorded itself.
struct Run
{
    QStringList args;
    QString cwd;
    qint64 ppid = 0;
    qint64 sid = 0;
    QStringList extra; ///< further lines the script wrote
};

QList<Run> readRuns(const QString &log)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<Run> runs;
    Run cur;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line == QLatin1String("end")) {
            runs << cur;
            cur = Run();
        } else if (line.startsWith(QLatin1String("arg=")))
            cur.args << line.mid(4);
        else if (line.startsWith(QLatin1String("cwd=")))
            cur.cwd = line.mid(4);
        else if (line.startsWith(QLatin1String("ppid=")))
            cur.ppid = line.mid(5).toLongLong();
        else if (line.startsWith(QLatin1String("sid=")))
            cur.sid = line.mid(4).toLongLong();
        else if (!line.isEmpty())
            cur.extra << line;
    }
    return runs;
}

bool makeExecutable(const QString &path)
{
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadGroup | QFile::ExeGroup);
}

/// A script that logs to @p log; @p more is shell text run before the record is closed.
/// Only shell built-ins are used, so the scripts run with any PATH.
bool writeLogger(const QString &path, const QString &log, const QByteArray &more = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("#!/bin/sh\n{\n"
            "for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
            "printf 'cwd=%s\\n' \"$(pwd -P)\"\n"
            "printf 'ppid=%s\\n' \"$PPID\"\n" +
            more +
            "\nread -r st < /proc/$$/stat; st=${st##*) }; set -- $st\n"
            "printf 'sid=%s\\nend\\n' \"$4\"\n"
            "} >> '" +
            QFile::encodeName(log) + "'\n");
    f.close();
    return makeExecutable(path);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class TstLinuxShell : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void runsProgramDetached();
    void runsProgramByPathName();
    void reapsQuietlyWithoutLeaks();
    void opensWithOpener_data();
    void opensWithOpener();
    void openerFailureIsToldLater();
    void startsNothingElse_data();
    void startsNothingElse();
    void inheritsNoDescriptors();
    void browserFromDesktopFile_data();
    void browserFromDesktopFile();
    void browserFallbacks();
    void checkOpensThroughTheShell();

private:
    QString path(const QString &rel) const { return m_root.filePath(rel); }
    /// Starts a logging script and waits for it, so that anything started before it had
    /// time to leave a trace.
    void sentinel();

    QTemporaryDir m_root;
    platform::LinuxShell m_shell;
    QString m_home;
};

void TstLinuxShell::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_home = canonical(m_root.path()) + QLatin1String("/home");
    QVERIFY(QDir().mkpath(m_home));
    // Only our stand-ins are found by name; an installed browser or opener never answers.
    qputenv("HOME", QFile::encodeName(m_home));
    qputenv("PATH", QFile::encodeName(path("bin")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path("etc-xdg")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(path("share")));
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("BROWSER");
    QVERIFY(writeLogger(path("bin/xdg-open"), path("logs/opener.log")));
}

void TstLinuxShell::init()
{
    QDir(path("logs")).removeRecursively();
    QVERIFY(QDir().mkpath(path("logs")));
}

void TstLinuxShell::sentinel()
{
    QVERIFY(writeLogger(path("apps/sentinel.sh"), path("logs/sentinel.log")));
    QVERIFY(m_shell.open(path("apps/sentinel.sh")));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/sentinel.log")).size(), 1, kTimeout);
}

// An executable is run itself (not handed to an opener), in its own folder, with no
// arguments, in a session of its own; once it has ended no zombie is left behind.
void TstLinuxShell::runsProgramDetached()
{
    const QString dir = path("apps/my tools");
    QVERIFY(writeLogger(dir + "/tool.sh", path("logs/tool.log")));
    QVERIFY(m_shell.open(dir + "/tool.sh"));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/tool.log")).size(), 1, kTimeout);

    const Run run = readRuns(path("logs/tool.log")).first();
    QCOMPARE(run.args, QStringList{});
    QCOMPARE(run.cwd, canonical(dir));
    QVERIFY(run.sid != ::getsid(0));
    QVERIFY(run.sid > 0);
    QVERIFY(!QFile::exists(path("logs/opener.log")));

    QTRY_VERIFY_WITH_TIMEOUT(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD, kTimeout);
}

// Children that end are reaped without a word on the log and without a descriptor left.
void TstLinuxShell::reapsQuietlyWithoutLeaks()
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &m) { warnings << m; });
    const qsizetype fds = QDir(QStringLiteral("/proc/self/fd")).count();
    QVERIFY(writeLogger(path("apps/quick.sh"), path("logs/quick.log")));
    for (int i = 0; i < 10; ++i)
        QVERIFY(m_shell.open(path("apps/quick.sh")));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/quick.log")).size(), 10, kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD, kTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(QStringLiteral("/proc/self/fd")).count(), fds, kTimeout);
    QTest::qWait(50); // the notifiers' deferred deletion
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, QStringList());
}

// A bare name is looked up in PATH and started in the home folder; "~/" is the home folder.
void TstLinuxShell::runsProgramByPathName()
{
    QVERIFY(writeLogger(path("bin/dudud-test-tool"), path("logs/bare.log")));
    QVERIFY(m_shell.open("dudud-test-tool"));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/bare.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/bare.log")).first().cwd, m_home);

    QVERIFY(writeLogger(m_home + "/bin/mine.sh", path("logs/mine.log")));
    QVERIFY(m_shell.open("~/bin/mine.sh"));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/mine.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/mine.log")).first().cwd, m_home + "/bin");
}

void TstLinuxShell::opensWithOpener_data()
{
    QTest::addColumn<QString>("action"); // @ is the home folder
    QTest::addColumn<QString>("argument");

    QTest::newRow("folder") << "@/Documents"
                            << "@/Documents";
    QTest::newRow("home") << "~"
                          << "@";
    QTest::newRow("document") << "@/Documents/a b.txt"
                              << "@/Documents/a b.txt";
    QTest::newRow("document under ~/") << "~/Documents/a b.txt"
                                       << "@/Documents/a b.txt";
    QTest::newRow("executable bit on a document") << "@/Documents/marked.txt"
                                                  << "@/Documents/marked.txt";
    QTest::newRow("mailto") << "mailto:x@y"
                            << "mailto:x@y";
    QTest::newRow("file url") << "file:///tmp"
                              << "file:///tmp";
}

// Folders, documents and other schemes go to the opener as exactly one argument.
void TstLinuxShell::opensWithOpener()
{
    QFETCH(QString, action);
    QFETCH(QString, argument);
    QVERIFY(writeFile(m_home + "/Documents/a b.txt", "text"));
    QVERIFY(writeFile(m_home + "/Documents/marked.txt", "not a program\n"));
    QVERIFY(makeExecutable(m_home + "/Documents/marked.txt"));

    QVERIFY(m_shell.open(action.replace(u'@', m_home)));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/opener.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/opener.log")).first().args,
             QStringList{argument.replace(u'@', m_home)});
}

// An opener that ends with a failure (no application for the type) is told for the action
// as given; one that succeeds is not.
void TstLinuxShell::openerFailureIsToldLater()
{
    QStringList told;
    m_shell.setLateFailureHandler(
        [&](const QString &action, const QString &why) { told << action + " | " + why; });
    QVERIFY(writeFile(m_home + "/Documents/a b.txt", "text"));
    QVERIFY(m_shell.open("~/Documents/a b.txt"));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/opener.log")).size(), 1, kTimeout);
    QVERIFY(writeLogger(path("bin/xdg-open"), path("logs/opener.log"), "exit 4"));
    QVERIFY(m_shell.open("~/Documents/a b.txt"));
    QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, kTimeout);
    QVERIFY(writeLogger(path("bin/xdg-open"), path("logs/opener.log")));
    m_shell.setLateFailureHandler({});
    QVERIFY2(told.first().startsWith("~/Documents/a b.txt | no application opened it"),
             qPrintable(told.first()));
    QVERIFY2(told.first().endsWith("(xdg-open ended with status 4)"), qPrintable(told.first()));
}

void TstLinuxShell::startsNothingElse_data()
{
    QTest::addColumn<QString>("action"); // @ is the test's root folder

    QTest::newRow("sequence") << "x; touch @/owned";
    QTest::newRow("sequence after a real program") << "dudud-test-tool; touch @/owned";
    QTest::newRow("command substitution") << "$(touch @/owned)";
    QTest::newRow("backquotes") << "`touch @/owned`";
    QTest::newRow("pipe") << "| touch @/owned";
    QTest::newRow("and") << "~/x && touch @/owned";
    QTest::newRow("program behind an unclosed quote") << "\"@/bin/dudud-test-tool @/owned";
    QTest::newRow("missing file") << "@/nothing/here.txt";
    QTest::newRow("missing bare name") << "no-such-program";
    QTest::newRow("empty") << "";
}

// Nothing is passed through a shell or handed on when it does not exist; what fails says why.
void TstLinuxShell::startsNothingElse()
{
    QFETCH(QString, action);
    QVERIFY(writeLogger(path("bin/dudud-test-tool"), path("logs/bare.log"), ": > \"$1\""));
    const QString owned = path("owned");
    QFile::remove(owned);

    const platform::OpenResult r = m_shell.open(action.replace(u'@', m_root.path()));
    QVERIFY(!r);
    QVERIFY(!r.error.isEmpty());
    sentinel();
    QVERIFY(!QFile::exists(owned));
    QVERIFY(!QFile::exists(path("logs/opener.log")));
    QVERIFY(!QFile::exists(path("logs/bare.log")));
}

// Descriptors the launcher opened without close-on-exec (a keyboard device, a pipe) do not
// reach the program; its standard input is /dev/null.
void TstLinuxShell::inheritsNoDescriptors()
{
    int pipeFd[2];
    QCOMPARE(::pipe(pipeFd), 0);
    const QByteArray file = QFile::encodeName(path("held-open.dat"));
    const int fileFd = ::open(file.constData(), O_CREAT | O_RDWR, 0600);
    QVERIFY(fileFd >= 0);
    struct stat st;
    QCOMPARE(::fstat(pipeFd[0], &st), 0);
    const QString pipeName = QStringLiteral("pipe:[%1]").arg(st.st_ino);

    QVERIFY(writeLogger(path("apps/fds.sh"), path("logs/fds.log"),
                        "for f in /proc/$$/fd/*; do /bin/readlink \"$f\"; done"));
    const bool started = m_shell.open(path("apps/fds.sh")).ok;
    ::close(pipeFd[0]);
    ::close(pipeFd[1]);
    ::close(fileFd);
    QVERIFY(started);
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/fds.log")).size(), 1, kTimeout);

    const QStringList links = readRuns(path("logs/fds.log")).first().extra;
    QVERIFY2(links.contains("/dev/null"), qPrintable(links.join(u' ')));
    QVERIFY2(!links.contains(pipeName), qPrintable(links.join(u' ')));
    QVERIFY2(!links.contains(QFile::decodeName(file)), qPrintable(links.join(u' ')));
}

void TstLinuxShell::browserFromDesktopFile_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("space") << "http://example.com/a b";
    QTest::newRow("shell characters") << R"(http://x/?q=$(id);a'b"c&d|e `f` *)";
    QTest::newRow("leading and trailing blanks") << "ftp://x/  ";
    QTest::newRow("field code in the address") << "http://x/%u%%20";
}

// The desktop's default browser, found through mimeapps.list, gets the address as exactly
// one argument through its Exec line.
void TstLinuxShell::browserFromDesktopFile()
{
    QFETCH(QString, url);
    QVERIFY(writeLogger(path("browsers/web browser.sh"), path("logs/browser.log")));
    QVERIFY(writeFile(path("data/applications/dudud-web.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Web\n"
                      "Exec=\"" +
                          QFile::encodeName(path("browsers/web browser.sh")) +
                          "\" --new-window %u\n"));
    QVERIFY(writeFile(path("config/mimeapps.list"),
                      "[Default Applications]\nx-scheme-handler/http=dudud-web.desktop\n"));

    QVERIFY(m_shell.openUrl(url));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/browser.log")).size(), 1, kTimeout);
    const Run run = readRuns(path("logs/browser.log")).first();
    QCOMPARE(run.args, (QStringList{"--new-window", url}));
    QCOMPARE(run.cwd, m_home);
}

// Without a default in the lists: $BROWSER, then x-www-browser, then the opener.
void TstLinuxShell::browserFallbacks()
{
    QFile::remove(path("config/mimeapps.list"));
    const QString url = "http://example.com/a b";

    QVERIFY(writeLogger(path("bin/env-browser"), path("logs/env.log")));
    QVERIFY(writeLogger(path("bin/x-www-browser"), path("logs/www.log")));
    qputenv("BROWSER", "missing-browser:env-browser");
    QVERIFY(m_shell.openUrl(url));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/env.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/env.log")).first().args, QStringList{url});

    qunsetenv("BROWSER");
    QVERIFY(m_shell.openUrl(url));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/www.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/www.log")).first().args, QStringList{url});

    QVERIFY(QFile::remove(path("bin/x-www-browser")));
    QVERIFY(m_shell.openUrl(url));
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/opener.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/opener.log")).first().args, QStringList{url});
    QCOMPARE(readRuns(path("logs/env.log")).size(), 1);
}

// The launch rule with the real shell: the web address reaches the browser whole, the script
// runs, and a shell sequence among the actions starts nothing.
void TstLinuxShell::checkOpensThroughTheShell()
{
    QVERIFY(writeLogger(path("browsers/web browser.sh"), path("logs/browser.log")));
    QVERIFY(writeFile(path("data/applications/dudud-web.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Web\nExec=\"" +
                          QFile::encodeName(path("browsers/web browser.sh")) + "\" %U\n"));
    QVERIFY(writeFile(path("config/mimeapps.list"),
                      "[Default Applications]\nx-scheme-handler/http=dudud-web.desktop\n"));
    QVERIFY(writeLogger(path("apps/action.sh"), path("logs/action.log")));
    const QString owned = path("owned");
    QFile::remove(owned);

    const QStringList hotkeys{"N", "n", "N"};
    const QStringList actions{"HTTP://example.com/a b", path("apps/action.sh"),
                              "x; touch " + owned};
    auto link = [this](const QString &url) { return m_shell.openUrl(url); };
    QStringList failures;
    QCOMPARE(checkHotkey("n", hotkeys, actions, 3, link, m_shell, &failures), 2);
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().contains("x; touch"), qPrintable(failures.first()));

    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/browser.log")).size(), 1, kTimeout);
    QCOMPARE(readRuns(path("logs/browser.log")).first().args,
             QStringList{"HTTP://example.com/a b"});
    QTRY_COMPARE_WITH_TIMEOUT(readRuns(path("logs/action.log")).size(), 1, kTimeout);
    sentinel();
    QVERIFY(!QFile::exists(owned));
}

QTEST_GUILESS_MAIN(TstLinuxShell)
#include "tst_linuxshell.moc"
