#include "launch/actionlauncher.h"
#include "platform/shell.h"

#include <QTest>

namespace {

/// Records what reaches the shell; the launching window's link is recorded by the tests.
class LoggingShell : public platform::Shell
{
public:
    platform::OpenResult open(const QString &file) override
    {
        log << QStringLiteral("open:") + file;
        return answer(file);
    }
    platform::OpenResult openUrl(const QString &url) override
    {
        log << QStringLiteral("url:") + url;
        return answer(url);
    }
    platform::OpenResult answer(const QString &target) const
    {
        return refused.contains(target) ? platform::OpenResult::failed("refused " + target)
                                        : platform::OpenResult{};
    }
    QStringList log;
    QStringList refused; ///< targets that fail, with the reason "refused <target>"
};

} // namespace

class TstActionLauncher : public QObject
{
    Q_OBJECT
private slots:
    void launchRule_data();
    void launchRule();
    void check_data();
    void check();
    void checkKeepsNothingBetweenCalls();
    void failuresAreToldEach();
};

void TstActionLauncher::launchRule_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("web");

    QTest::newRow("http lower") << "http://example.com" << true;
    QTest::newRow("HTTPS upper") << "HTTPS://EXAMPLE.COM" << true;
    QTest::newRow("mixed case scheme") << "hTtP://x" << true;
    QTest::newRow("ftp address") << "ftp://files.example.com/a" << true;
    QTest::newRow("FTP upper") << "FTP://x" << true;
    QTest::newRow("ftp alone") << "ftp" << true;
    QTest::newRow("Ftp alone") << "Ftp" << true;
    QTest::newRow("http alone") << "http" << true;
    QTest::newRow("ht alone") << "ht" << false;
    QTest::newRow("htt alone") << "htt" << false;
    QTest::newRow("ft alone") << "ft" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("program named ftp...") << "ftpclient" << true;
    QTest::newRow("program named http...") << "httpd.conf" << true;
    QTest::newRow("leading space not trimmed") << " http://x" << false;
    QTest::newRow("leading space before ftp") << " ftp" << false;
    QTest::newRow("no scheme") << "www.example.com" << false;
    QTest::newRow("absolute path") << "/usr/bin/ftp" << false;
    QTest::newRow("home path") << "~/http" << false;
    QTest::newRow("drive letter") << "C:\\http" << false;
    QTest::newRow("httq") << "httq://x" << false;
    QTest::newRow("ftq") << "ftq" << false;
    QTest::newRow("mailto") << "mailto:a@b" << false;
    QTest::newRow("file url") << "file:///tmp" << false;
}

// The web test and the choice it makes: one call, to one side, with the text unchanged.
void TstActionLauncher::launchRule()
{
    QFETCH(QString, action);
    QFETCH(bool, web);

    QCOMPARE(isWebAddress(action), web);

    LoggingShell shell;
    QStringList links;
    launchAction(
        action,
        [&](const QString &url) {
            links << url;
            return platform::OpenResult{};
        },
        shell);
    if (web) {
        QCOMPARE(links, QStringList{action});
        QVERIFY(shell.log.isEmpty());
    } else {
        QVERIFY(links.isEmpty());
        QCOMPARE(shell.log, QStringList{QStringLiteral("open:") + action});
    }
}

void TstActionLauncher::check_data()
{
    QTest::addColumn<QStringList>("hotkeys");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("a finds stored A")
        << QStringList{"A"} << QStringList{"/bin/a"} << 1 << "a" << QStringList{"open:/bin/a"};
    QTest::newRow("F5 finds stored f5")
        << QStringList{"f5"} << QStringList{"/x"} << 1 << "F5" << QStringList{"open:/x"};
    QTest::newRow("digit") << QStringList{"1", "0"} << QStringList{"/one", "/zero"} << 2 << "0"
                           << QStringList{"open:/zero"};
    QTest::newRow("web address to the window's link")
        << QStringList{"N"} << QStringList{"http://example.com/a b"} << 1 << "n"
        << QStringList{"link:http://example.com/a b"};
    QTest::newRow("same hotkey twice, lower index first")
        << QStringList{"B", "C", "b"} << QStringList{"/first", "/other", "/third"} << 3 << "b"
        << QStringList{"open:/first", "open:/third"};
    QTest::newRow("web and file in index order")
        << QStringList{"X", "x"} << QStringList{"ftp://h", "/after"} << 2 << "x"
        << QStringList{"link:ftp://h", "open:/after"};
    QTest::newRow("count limits the loop")
        << QStringList{"A", "A", "A"} << QStringList{"/1", "/2", "/3"} << 2 << "a"
        << QStringList{"open:/1", "open:/2"};
    QTest::newRow("count zero") << QStringList{"A"} << QStringList{"/1"} << 0 << "a"
                                << QStringList{};
    QTest::newRow("count beyond the tables")
        << QStringList{"A"} << QStringList{"/1"} << 5 << "a" << QStringList{"open:/1"};
    QTest::newRow("F1 does not match F10")
        << QStringList{"F10"} << QStringList{"/x"} << 1 << "F1" << QStringList{};
    QTest::newRow("F10 does not match F1")
        << QStringList{"F1"} << QStringList{"/x"} << 1 << "F10" << QStringList{};
    QTest::newRow("entry without hotkey")
        << QStringList{""} << QStringList{"/x"} << 1 << "a" << QStringList{};
    QTest::newRow("no match") << QStringList{"A", "B"} << QStringList{"/a", "/b"} << 2 << "c"
                              << QStringList{};
}

void TstActionLauncher::check()
{
    QFETCH(QStringList, hotkeys);
    QFETCH(QStringList, actions);
    QFETCH(int, count);
    QFETCH(QString, key);
    QFETCH(QStringList, expected);

    LoggingShell shell;
    auto link = [&](const QString &url) {
        shell.log << QStringLiteral("link:") + url;
        return platform::OpenResult{};
    };
    const int opened = checkHotkey(key, hotkeys, actions, count, link, shell);
    QCOMPARE(shell.log, expected);
    QCOMPARE(opened, expected.size());
}

// The monitor calls again on every tick while the keys are held: each call opens again.
void TstActionLauncher::checkKeepsNothingBetweenCalls()
{
    const QStringList hotkeys{"Q", "q"};
    const QStringList actions{"/p", "http://w"};
    LoggingShell shell;
    auto link = [&](const QString &url) {
        shell.log << QStringLiteral("link:") + url;
        return platform::OpenResult{};
    };
    checkHotkey("q", hotkeys, actions, 2, link, shell);
    checkHotkey("q", hotkeys, actions, 2, link, shell);
    QCOMPARE(shell.log, (QStringList{"open:/p", "link:http://w", "open:/p", "link:http://w"}));
}

// Each action that fails, by the browser or the shell, is one message that names it and says
// why; the others still open.
void TstActionLauncher::failuresAreToldEach()
{
    LoggingShell shell;
    shell.refused = QStringList{"/missing", "http://down"};
    auto link = [&](const QString &url) { return shell.openUrl(url); };
    QStringList failures;
    const int opened = checkHotkey("k", {"K", "k", "K"}, {"/missing", "/fine", "http://down"}, 3,
                                   link, shell, &failures);
    QCOMPARE(opened, 1);
    QCOMPARE(shell.log, (QStringList{"open:/missing", "open:/fine", "url:http://down"}));
    QCOMPARE(failures, (QStringList{launchFailedMessage("/missing", "refused /missing"),
                                    launchFailedMessage("http://down", "refused http://down")}));
    QVERIFY(failures.first().contains("\"/missing\" cannot be opened: refused /missing."));
}

QTEST_GUILESS_MAIN(TstActionLauncher)
#include "tst_actionlauncher.moc"
