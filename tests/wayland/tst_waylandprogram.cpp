// The program on a real Wayland desktop (KWin with the desktop portal and its KDE backend),
// started as the session starts programs, driven by real key presses while another program
// has the focus.

#include "kwinsession.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString title = QStringLiteral("Dudud Adadadiz");

/// The program copied into the session with an entry file of one entry (hotkey N, keyword
/// "notes") whose action logs each run; with @p nets, a second one (keyword "nets") too.
struct Program
{
    KWinSession &s;
    QProcess app;

    explicit Program(KWinSession &session, bool nets = false) : s(session)
    {
        QDir().mkpath(s.path(QStringLiteral("app")));
        const QString bin = QStringLiteral(DUDUD_BINARY);
        QFile::copy(bin, path(QStringLiteral("dudud-adadadiz")));
        QFile::copy(QFileInfo(bin).dir().filePath(QStringLiteral("lhelp.hlp")),
                    path(QStringLiteral("lhelp.hlp")));
        QFile script(path(QStringLiteral("notes.sh")));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\necho notes >> '" + QFile::encodeName(path("log.txt")) + "'\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        QByteArray entries =
            "[1]\nAction=" + QFile::encodeName(script.fileName()) + "\nHotkey=N\nKeyword=notes\n";
        if (nets) {
            const QString second = path(QStringLiteral("nets.sh"));
            QFile::copy(script.fileName(), second);
            QFile f(second);
            f.open(QIODevice::ReadOnly);
            const QByteArray body = f.readAll().replace("echo notes", "echo nets");
            f.close();
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(body);
            entries += "[2]\nAction=" + QFile::encodeName(second) + "\nHotkey=\nKeyword=nets\n";
        }
        QFile ini(path(QStringLiteral("DAzad.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("[count]\nc=" + QByteArray(nets ? "2" : "1") + "\n" + entries);
    }
    ~Program()
    {
        app.terminate();
        if (!app.waitForFinished(3000))
            app.kill();
        app.waitForFinished(1000);
    }
    QString path(const QString &name) const { return s.path(QStringLiteral("app/") + name); }
    bool start(const QStringList &args = {})
    {
        app.setProcessEnvironment(s.environment());
        app.setStandardErrorFile(path(QStringLiteral("app.err")));
        app.start(path(QStringLiteral("dudud-adadadiz")), args);
        return app.waitForStarted(5000);
    }
    bool again(const QStringList &args)
    {
        QProcess second;
        second.setProcessEnvironment(s.environment());
        second.start(path(QStringLiteral("dudud-adadadiz")), args);
        return second.waitForFinished(10000) && second.exitCode() == 0;
    }
    QStringList log() const
    {
        QFile f(path(QStringLiteral("log.txt")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QByteArray errors() const
    {
        QFile f(path(QStringLiteral("app.err")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool hasTrayIcon() const
    {
        const auto bus = s.bus().interface();
        for (const QString &item : s.trayItems()) {
            if (qint64(bus->servicePid(item.section(QLatin1Char('/'), 0, 0)).value()) ==
                app.processId())
                return true;
        }
        return false;
    }
    /// The program's window titled like the prompt and as small as the prompt.
    KWinSession::Window prompt()
    {
        for (const KWinSession::Window &w : s.windows()) {
            if (w.caption == title && w.pid == app.processId() && w.geometry.height() < 60)
                return w;
        }
        return {};
    }
    /// The program's window at the top left and of the width of @p strip: the prompt, grown
    /// by its suggestions or not.
    KWinSession::Window prompt(const QRect &strip)
    {
        for (const KWinSession::Window &w : s.windows()) {
            if (w.caption == title && w.pid == app.processId() &&
                w.geometry.topLeft() == strip.topLeft() && w.geometry.width() == strip.width())
                return w;
        }
        return {};
    }
};

void printLogs(KWinSession &s, const Program &p)
{
    qInfo("program:\n%s", p.errors().right(3000).constData());
    for (const char *c : {"kwin", "portal", "portal-kde"})
        qInfo("%s:\n%s", c, s.log(QString::fromLatin1(c)).right(3000).constData());
}

} // namespace

// Fails with the components' output, which says why.
#define VERIFY_OR_LOG(condition, what)                                                             \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            printLogs(s, p);                                                                       \
            QFAIL(what);                                                                           \
        }                                                                                          \
    } while (false)

class TstWaylandProgram : public QObject
{
    Q_OBJECT
private slots:
    void hotkeysAndThePromptThroughThePortal()
    {
        KWinSession s;
        QVERIFY2(s.ok(), qPrintable(s.error()));
        Program p(s);
        TestWindow other(s, QStringLiteral("Other"), QStringLiteral("wayland"), false, false,
                         QStringLiteral("500x300"));
        QVERIFY(KWinSession::waitFor([&] { return s.activate(QStringLiteral("Other")); }, 5000));
        QVERIFY(p.start());
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.hasTrayIcon(); }, 10000), "no tray icon");
        QVERIFY(s.activate(QStringLiteral("Other")));

        // The shortcuts are bound once the portal has answered: press until the first fires.
        VERIFY_OR_LOG(KWinSession::waitFor(
                          [&] {
                              s.keys({QStringLiteral("ctrl+shift+n")});
                              return KWinSession::waitFor([&] { return !p.log().isEmpty(); }, 500);
                          },
                          10000),
                      "Ctrl+Shift+N never fired");
        QTest::qWait(500);
        QCOMPARE(p.log().size(), 1);
        QList<qint64> pressed;
        QVERIFY(s.keys({QStringLiteral("ctrl+shift+n")}, &pressed));
        QVERIFY(KWinSession::waitFor([&] { return p.log().size() >= 2; }, 3000));
        QTest::qWait(500);
        QCOMPARE(p.log().size(), 2); // once per press
        QCOMPARE(s.window(QStringLiteral("Other")).active, true);

        QVERIFY(s.keys({QStringLiteral("F7")}));
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.prompt().active; }, 3000),
                      "no focused prompt");
        const QRect g = p.prompt().geometry;
        qInfo("prompt at %d,%d %dx%d", g.x(), g.y(), g.width(), g.height());
        QVERIFY(qAbs(g.center().x() - s.screen().center().x()) <= 2);
        QVERIFY(qAbs(g.center().y() - s.screen().center().y()) <= 2);
        QVERIFY(s.keys({QStringLiteral("type:notes"), QStringLiteral("Return")}));
        QVERIFY(KWinSession::waitFor([&] { return p.log().size() >= 3; }, 3000));
        QTest::qWait(300);
        QCOMPARE(p.log().size(), 3);

        // Asked for again after another program took the focus from it: in front, with the
        // focus, whether it was left behind or hidden meanwhile.
        QVERIFY(s.keys({QStringLiteral("F7")}));
        QVERIFY(KWinSession::waitFor([&] { return p.prompt().active; }, 3000));
        QVERIFY(s.activate(QStringLiteral("Other")));
        QVERIFY(
            KWinSession::waitFor([&] { return s.window(QStringLiteral("Other")).active; }, 3000));
        QVERIFY(s.keys({QStringLiteral("F7")}));
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.prompt().active; }, 3000),
                      "the prompt did not come back with the focus");
        QVERIFY(s.keys({QStringLiteral("type:notes"), QStringLiteral("Return")}));
        QVERIFY(KWinSession::waitFor([&] { return p.log().size() >= 4; }, 3000));
    }

    void suggestionsInThePromptsOwnWindow()
    {
        KWinSession s;
        QVERIFY2(s.ok(), qPrintable(s.error()));
        Program p(s, true);
        TestWindow other(s, QStringLiteral("Other"), QStringLiteral("wayland"), false, false,
                         QStringLiteral("500x300"));
        QVERIFY(KWinSession::waitFor([&] { return s.activate(QStringLiteral("Other")); }, 5000));
        QVERIFY(p.start());
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.hasTrayIcon(); }, 10000), "no tray icon");
        QVERIFY(s.activate(QStringLiteral("Other")));
        // F7 is bound once the portal has answered: press until the prompt comes.
        VERIFY_OR_LOG(KWinSession::waitFor(
                          [&] {
                              s.keys({QStringLiteral("F7")});
                              return KWinSession::waitFor([&] { return p.prompt().active; }, 500);
                          },
                          10000),
                      "no focused prompt");
        const QRect strip = p.prompt().geometry;

        QVERIFY(s.keys({QStringLiteral("type:n")}));
        VERIFY_OR_LOG(KWinSession::waitFor(
                          [&] { return p.prompt(strip).geometry.height() > strip.height(); }, 3000),
                      "no rows under the prompt");
        QVERIFY(p.prompt(strip).active);
        QVERIFY(s.keys({QStringLiteral("Escape")}));
        QVERIFY(KWinSession::waitFor([&] { return p.prompt(strip).geometry == strip; }, 3000));
        QVERIFY(p.prompt(strip).active);
        QVERIFY(s.keys({QStringLiteral("Tab"), QStringLiteral("Return")})); // "notes"
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.log() == QStringList{"notes"}; }, 3000),
                      "Tab and Enter did not open notes");

        QVERIFY(s.keys({QStringLiteral("F7")}));
        QVERIFY(KWinSession::waitFor([&] { return p.prompt(strip).active; }, 3000));
        QVERIFY(s.keys({QStringLiteral("type:n"), QStringLiteral("Down"), QStringLiteral("Down"),
                        QStringLiteral("Return")}));
        VERIFY_OR_LOG(KWinSession::waitFor(
                          [&] {
                              return p.log() == QStringList({"notes", "nets"});
                          },
                          3000),
                      "Down, Down, Enter did not open nets");
    }

    void withoutPortalOrKeyboardsTheProgramRunsOnAndSaysWhatToDo()
    {
        KWinSession::Options options;
        options.portal = false;
        KWinSession s(options);
        QVERIFY2(s.ok(), qPrintable(s.error()));
        Program p(s);
        QVERIFY(p.start());
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.errors().contains("--prompt"); }, 10000),
                      "no message on standard error");
        QVERIFY(p.errors().contains("--hotkey"));
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.hasTrayIcon(); }, 10000), "no tray icon");
        QVERIFY(p.app.state() == QProcess::Running);
        QVERIFY(p.again({QStringLiteral("--hotkey"), QStringLiteral("n")}));
        QVERIFY(KWinSession::waitFor([&] { return p.log().size() == 1; }, 3000));
        // The message is a box of its own as well; once it is answered, --prompt gives a
        // prompt with the focus.
        auto box = [&] {
            for (const KWinSession::Window &w : s.windows())
                if (w.caption == title && w.pid == p.app.processId() && w.geometry.height() >= 60)
                    return w;
            return KWinSession::Window();
        };
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return box().active; }, 5000), "no message box");
        QVERIFY(s.keys({QStringLiteral("Return")}));
        QVERIFY(KWinSession::waitFor([&] { return box().caption.isEmpty(); }, 3000));
        QVERIFY(p.again({QStringLiteral("--prompt")}));
        VERIFY_OR_LOG(KWinSession::waitFor([&] { return p.prompt().active; }, 3000), "no prompt");
        QVERIFY(s.keys({QStringLiteral("type:notes"), QStringLiteral("Return")}));
        QVERIFY(KWinSession::waitFor([&] { return p.log().size() == 2; }, 3000));
    }
};

QTEST_GUILESS_MAIN(TstWaylandProgram)
#include "tst_waylandprogram.moc"
