// The keyword prompt used from the keyboard while another application has the focus.

#include "harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QtTest>

namespace {

const QString title = QStringLiteral("Dudud Adadadiz");

/// Visible windows titled like the prompt, without the tray icon, split by size: the prompt
/// is a 309 x 19 strip, anything larger is a message box.
struct Windows
{
    QStringList prompts;
    QStringList others;
};

Windows titled(const E2eSession &x)
{
    Windows w;
    QStringList all = x.visibleWindows(title);
    for (const QString &icon : x.trayIconsOfApp())
        all.removeAll(QString::number(icon.toULongLong(nullptr, 16)));
    for (const QString &id : all) {
        const QRect g = x.geometry(id);
        (g.width() == 309 && g.height() == 19 ? w.prompts : w.others) << id;
    }
    return w;
}

struct Running
{
    E2eSession x;
    QProcess other;
    QString otherWindow;
    bool up = false;

    /// With @p startLater, the program is started with those arguments once the other
    /// application has the focus; otherwise before it. With @p suggesting, two more entries:
    /// "nets", and "w" searching the web with a query.
    explicit Running(const QStringList &startLater = {}, bool suggesting = false)
    {
        if (!x.ok())
            return;
        x.writeLoggingScript(QStringLiteral("notes.sh"), QStringLiteral("notes"));
        QByteArray entries = "[1]\nAction=" + x.path(QStringLiteral("notes.sh")).toUtf8() +
                             "\nHotkey=N\nKeyword=notes\n";
        if (suggesting) {
            entries +=
                "[2]\nAction=" +
                x.writeLoggingScript(QStringLiteral("nets.sh"), QStringLiteral("nets")).toUtf8() +
                "\nHotkey=\nKeyword=nets\n"
                "[3]\nAction=http://example.com/?q={query}\nHotkey=\nKeyword=w\n";
            x.writeStandInBrowser(QStringLiteral("browser"));
        }
        x.writeEntryFile("[count]\nc=" + QByteArray(suggesting ? "3" : "1") + "\n" + entries);
        if (startLater.isEmpty() && !x.startApp())
            return;
        other.setProcessEnvironment(x.environment());
        other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--other-window")});
        if (!other.waitForStarted())
            return;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && x.visibleWindows(QStringLiteral("other")).isEmpty())
            QTest::qWait(50);
        if (x.visibleWindows(QStringLiteral("other")).isEmpty())
            return;
        otherWindow = x.visibleWindows(QStringLiteral("other")).first();
        up = x.activate(otherWindow);
        if (up && !startLater.isEmpty()) {
            x.setAppCommand(QStringList{x.path(QStringLiteral("dudud-adadadiz"))} + startLater);
            up = x.startApp();
        }
    }
    /// Runs the program again with @p args, as a key binding of the desktop would.
    bool again(const QStringList &args)
    {
        QProcess second;
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), args);
        return second.waitForFinished(10000) && second.exitCode() == 0;
    }
    ~Running()
    {
        other.kill();
        other.waitForFinished(2000);
    }
    void f7() { x.chord({E2eSession::KeyF7}, 40); }
    /// F7, then the prompt's window once it holds the keyboard; empty if it never does.
    QString openPrompt()
    {
        f7();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000) {
            const QStringList p = titled(x).prompts;
            if (p.size() == 1 && x.focusedWindow() == p.first())
                return p.first();
            QTest::qWait(20);
        }
        return {};
    }
    void keys(const QStringList &names)
    {
        for (const QString &k : names)
            x.xdotool({QStringLiteral("key"), k});
    }
    void type(const QString &text)
    {
        x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
    }
};

} // namespace

class TstPrompt : public QObject
{
    Q_OBJECT
private slots:
    void f7ShowsTheFocusedPromptAndAKeywordRunsItsEntryOnce()
    {
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        r.f7();
        QTRY_COMPARE_WITH_TIMEOUT(titled(r.x).prompts.size(), 1, 3000);
        const QString prompt = titled(r.x).prompts.first();
        QTRY_COMPARE_WITH_TIMEOUT(r.x.focusedWindow(), prompt, 2000);
        r.x.screenshot(QStringLiteral("prompt"));
        r.x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                     QStringLiteral("notes")});
        r.x.chord({E2eSession::KeyReturn}, 30);
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines(), QStringList{QStringLiteral("notes")}, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(titled(r.x).prompts.isEmpty(), 2000);
        QTest::qWait(300);
        QCOMPARE(r.x.logLines().size(), 1);
    }

    void commandLineHandsOverToTheRunningCopy_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("startsTheProgram");
        QTest::newRow("--prompt, running") << QStringList{"--prompt"} << false;
        QTest::newRow("--prompt, none running") << QStringList{"--prompt"} << true;
        QTest::newRow("--hotkey, running") << QStringList{"--hotkey", "n"} << false;
    }

    void commandLineHandsOverToTheRunningCopy()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, startsTheProgram);
        Running r(startsTheProgram ? args : QStringList());
        QVERIFY2(r.up, qPrintable(r.x.error()));
        if (!startsTheProgram)
            QVERIFY(r.again(args));
        if (args.first() == QLatin1String("--prompt")) {
            QTRY_COMPARE_WITH_TIMEOUT(titled(r.x).prompts.size(), 1, 5000);
            QTRY_COMPARE_WITH_TIMEOUT(r.x.focusedWindow(), titled(r.x).prompts.first(), 2000);
            r.x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                         QStringLiteral("notes")});
            r.x.chord({E2eSession::KeyReturn}, 30);
        }
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines(), QStringList{QStringLiteral("notes")}, 3000);
        QTest::qWait(300);
        QCOMPARE(r.x.logLines().size(), 1);
        // One copy: the main window was not asked for, and the second start ended.
        QVERIFY(r.x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).isEmpty());
    }

    void anUnknownKeywordShowsTheMessageWithThePromptHidden()
    {
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        r.f7();
        QTRY_COMPARE_WITH_TIMEOUT(titled(r.x).prompts.size(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(r.x.focusedWindow(), titled(r.x).prompts.first(), 2000);
        r.x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                     QStringLiteral("nothing")});
        r.x.chord({E2eSession::KeyReturn}, 30);
        QTRY_COMPARE_WITH_TIMEOUT(titled(r.x).others.size(), 1, 3000);
        QVERIFY(titled(r.x).prompts.isEmpty());
        r.x.screenshot(QStringLiteral("prompt-unknown"));
        QCOMPARE(r.x.logLines(), QStringList());
        r.x.chord({E2eSession::KeyReturn}, 30); // OK
        QTRY_VERIFY_WITH_TIMEOUT(titled(r.x).others.isEmpty(), 3000);
    }

    void suggestionsCompleteChooseAndTakeAQuery()
    {
        Running r({}, true);
        QVERIFY2(r.up, qPrintable(r.x.error()));
        const QString prompt = r.openPrompt();
        QVERIFY(!prompt.isEmpty());
        // The list is part of the prompt's window, which grows by its rows and keeps the keys.
        r.type(QStringLiteral("n"));
        QTRY_VERIFY_WITH_TIMEOUT(r.x.geometry(prompt).height() > 19, 3000);
        QCOMPARE(r.x.focusedWindow(), prompt);
        r.x.screenshot(QStringLiteral("prompt-suggestions"));
        r.keys({QStringLiteral("Escape")});
        QTRY_COMPARE_WITH_TIMEOUT(r.x.geometry(prompt).height(), 19, 3000);
        QCOMPARE(titled(r.x).prompts, QStringList{prompt});
        QCOMPARE(r.x.focusedWindow(), prompt);
        // Tab completes "notes", Enter opens the keyword typed whole.
        r.keys({QStringLiteral("Tab"), QStringLiteral("Return")});
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines(), QStringList{"notes"}, 3000);

        QCOMPARE(r.openPrompt(), prompt);
        r.type(QStringLiteral("n"));
        r.keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines(), QStringList({"notes", "nets"}), 3000);

        QCOMPARE(r.openPrompt(), prompt);
        r.type(QStringLiteral("w rust lang"));
        r.keys({QStringLiteral("Return")});
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines().value(2),
                                  QStringLiteral("browser [http://example.com/?q=rust%20lang]"),
                                  5000);
    }

    void escapeDoesNotCloseItButSwitchingAwayHidesIt()
    {
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        r.f7();
        QTRY_COMPARE_WITH_TIMEOUT(titled(r.x).prompts.size(), 1, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(r.x.focusedWindow(), titled(r.x).prompts.first(), 2000);
        r.x.chord({E2eSession::KeyEscape}, 30);
        QTest::qWait(300);
        QCOMPARE(titled(r.x).prompts.size(), 1);

        // Clicking the other application hides the prompt within a tick or two.
        const QRect g = r.x.geometry(r.otherWindow);
        r.x.xdotool({QStringLiteral("mousemove"), QString::number(g.center().x()),
                     QString::number(g.center().y()), QStringLiteral("click"),
                     QStringLiteral("1")});
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(titled(r.x).prompts.isEmpty(), 2000);
        qInfo("prompt hidden %lld ms after the click (including the query)", t.elapsed());
    }
};

int main(int argc, char *argv[])
{
    if (argc == 2 && QByteArray(argv[1]) == "--other-window") {
        QApplication app(argc, argv);
        QLineEdit edit;
        edit.setWindowTitle(QStringLiteral("other"));
        edit.setGeometry(100, 100, 300, 200);
        edit.show();
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    TstPrompt t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_prompt.moc"
