// What a start hands over to the running copy: which command lines are requests, and that
// each request survives the single-copy channel's line; how the autostart entry names the
// program.

#include "launch/commandline.h"
#include "platform/fake/fakeprofile.h"

#include <QtTest>

using commandline::Request;
Q_DECLARE_METATYPE(std::optional<Request>)

class TstCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void requests_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<std::optional<Request>>("expected");
        const std::optional<Request> none;
        QTest::newRow("no argument") << QStringList{} << std::optional<Request>(Request{});
        QTest::newRow("prompt") << QStringList{"--prompt"}
                                << std::optional<Request>(Request{Request::Prompt, {}});
        QTest::newRow("letter in lower case")
            << QStringList{"--hotkey", "n"} << std::optional<Request>({Request::Hotkey, "N"});
        QTest::newRow("digit") << QStringList{"--hotkey", "0"}
                               << std::optional<Request>({Request::Hotkey, "0"});
        QTest::newRow("function key")
            << QStringList{"--hotkey", "f12"} << std::optional<Request>({Request::Hotkey, "F12"});
        QTest::newRow("not a hotkey") << QStringList{"--hotkey", "F13"} << none;
        QTest::newRow("None is no hotkey") << QStringList{"--hotkey", "None"} << none;
        QTest::newRow("key missing") << QStringList{"--hotkey"} << none;
        QTest::newRow("prompt with more") << QStringList{"--prompt", "x"} << none;
        QTest::newRow("another command") << QStringList{"--version"} << none;
    }

    void requests()
    {
        QFETCH(QStringList, args);
        QFETCH(std::optional<Request>, expected);
        const std::optional<Request> r = commandline::launcherRequest(args);
        QCOMPARE(r, expected);
        if (r)
            QCOMPARE(Request::fromMessage(r->message() + '\n'), r);
    }

    // --hotkey goes on to the running copy only when an entry has that hotkey.
    void hotkeyNeedsAnEntry_data()
    {
        QTest::addColumn<QStringList>("hotkeys"); // of the entries 1, 2 ...; the count is 1
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("hand-written lower case")
            << QStringList{"n"} << QStringList{"--hotkey", "N"} << 0;
        QTest::newRow("no entry with it") << QStringList{"M"} << QStringList{"--hotkey", "n"} << 1;
        QTest::newRow("only beyond the count")
            << QStringList{"M", "N"} << QStringList{"--hotkey", "n"} << 1;
        QTest::newRow("no entries at all") << QStringList{} << QStringList{"--hotkey", "n"} << 1;
        QTest::newRow("--prompt needs none") << QStringList{} << QStringList{"--prompt"} << 0;
    }

    void hotkeyNeedsAnEntry()
    {
        QFETCH(QStringList, hotkeys);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        fake::MemoryProfile profile;
        if (!hotkeys.isEmpty())
            profile.seed("DAzad.ini", "count", "c", "1");
        for (int i = 0; i < hotkeys.size(); ++i) {
            profile.seed("DAzad.ini", QString::number(i + 1), "Action", "/bin/true");
            profile.seed("DAzad.ini", QString::number(i + 1), "Hotkey", hotkeys.at(i));
        }
        const auto request = commandline::launcherRequest(args);
        QVERIFY(request);
        QCOMPARE(commandline::checkHotkeyRequest(*request, profile, "DAzad.ini"), status);
    }

    void foreignLinesAreNoRequests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unknown word") << QByteArray("quit\n");
        QTest::newRow("hotkey without key") << QByteArray("hotkey \n");
        QTest::newRow("hotkey not in the list") << QByteArray("hotkey Ctrl\n");
    }

    void foreignLinesAreNoRequests()
    {
        QFETCH(QByteArray, line);
        QVERIFY(!Request::fromMessage(line));
    }

    void autostartEntryNamesTheProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<QByteArray>("tryExec");
        QTest::newRow("installed in /usr")
            << "/usr/lib/dudud-adadadiz/dudud-adadadiz" << QByteArray("dudud-adadadiz")
            << QByteArray("dudud-adadadiz");
        QTest::newRow("installed in a home")
            << "/home/me/.local/lib/dudud-adadadiz/dudud-adadadiz" << QByteArray("dudud-adadadiz")
            << QByteArray("dudud-adadadiz");
        QTest::newRow("a build folder, by its path")
            << "/home/me/my $src/build/dudud-adadadiz"
            << QByteArray("\"/home/me/my \\$src/build/dudud-adadadiz\"")
            << QByteArray("/home/me/my $src/build/dudud-adadadiz");
    }

    void autostartEntryNamesTheProgram()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        QFETCH(QByteArray, tryExec);
        const QList<QByteArray> lines = commandline::autostartEntry(program).split('\n');
        QVERIFY(lines.contains("Exec=" + exec));
        QVERIFY(lines.contains("TryExec=" + tryExec));
    }
};

QTEST_APPLESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
