// What a start hands over to the running copy: which command lines are requests, and that
// each request survives the single-copy channel's line; how the autostart entry names the
// program.

#include "launch/commandline.h"

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
