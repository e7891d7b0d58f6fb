// Actions as the user meets them under a window manager: one that cannot be opened is told
// in a box and on standard error, a program gets its quoted arguments exactly, and a hotkey
// that another program holds is told, and still reaches both.

#include "harness.h"

#include <QFile>
#include <QtTest>

#include <X11/Xlib.h>

#include <cstdio>

namespace {

constexpr unsigned KeyK = 45;

/// The program's error output so far.
QString errors(const E2eSession &x)
{
    QFile f(x.path(QStringLiteral("app.err")));
    f.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(f.readAll());
}

/// The program's visible windows titled like its boxes, without the tray icon.
QStringList boxes(const E2eSession &x)
{
    QStringList all = x.visibleWindows(QStringLiteral("Dudud Adadadiz"));
    for (const QString &icon : x.trayIconsOfApp())
        all.removeAll(QString::number(icon.toULongLong(nullptr, 16)));
    return all;
}

bool startWith(E2eSession &x, const QByteArray &entry)
{
    x.writeEntryFile("[count]\nc=1\n[1]\n" + entry);
    return x.startApp();
}

void key(E2eSession &x, const QString &keys)
{
    x.xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60"), keys});
}

} // namespace

class TstActions : public QObject
{
    Q_OBJECT
private slots:
    void missingActionIsToldOncePerPress()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(startWith(x, "Action=/no/such/file\nHotkey=N\nKeyword=gone\n"),
                 qPrintable(x.error()));
        const QString told = QStringLiteral("The action \"/no/such/file\" cannot be opened: there "
                                            "is no file, folder or program by that name.");
        for (int press = 1; press <= 2; ++press) {
            x.chord({E2eSession::KeyLCtrl, E2eSession::KeyLShift, E2eSession::KeyN}, 60);
            // The box, and its text on standard error, which the box writes as it opens.
            QTRY_COMPARE_WITH_TIMEOUT(boxes(x).size(), 1, 5000);
            QTRY_COMPARE_WITH_TIMEOUT(errors(x).count(told), press, 3000);
            x.screenshot(QStringLiteral("action-failed"));
            QVERIFY(x.activate(boxes(x).first()));
            key(x, QStringLiteral("Return"));
            QTRY_VERIFY_WITH_TIMEOUT(boxes(x).isEmpty(), 3000);
        }
        QCOMPARE(x.app()->state(), QProcess::Running);
    }

    void programGetsItsQuotedArgumentsAndNoShell()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        const QString tool = x.writeLoggingScript(QStringLiteral("my tool.sh"), QStringLiteral("t"));
        QVERIFY2(startWith(x, "Action=\"" + tool.toUtf8() +
                                  "\" \"a b\" it's \"\\\"q\\\" \\$HOME\" ; * $(id)\nHotkey=N\n"),
                 qPrintable(x.error()));
        x.chord({E2eSession::KeyLCtrl, E2eSession::KeyLShift, E2eSession::KeyN}, 60);
        QTRY_COMPARE_WITH_TIMEOUT(x.logLines(),
                                  QStringList{R"(t [a b] [it's] ["q" $HOME] [;] [*] [$(id)])"},
                                  3000);
        QVERIFY(boxes(x).isEmpty());
    }

    void hotkeyHeldByAnotherProgramIsToldAndReachesBoth()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        const QString grabbed = x.path(QStringLiteral("grabbed.txt"));
        QProcess other;
        other.setProcessEnvironment(x.environment());
        other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--grab-k"), grabbed});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(grabbed), 5000);
        const QString k = x.writeLoggingScript(QStringLiteral("k.sh"), QStringLiteral("k"));
        QVERIFY2(startWith(x, "Action=" + k.toUtf8() + "\nHotkey=K\nKeyword=k\n"),
                 qPrintable(x.error()));
        const QString told = QStringLiteral(
            "Ctrl+Shift+K is also another program's shortcut: a press of it reaches both.");
        QTRY_COMPARE_WITH_TIMEOUT(errors(x).count(told), 1, 3000);
        QVERIFY(!errors(x).contains(QStringLiteral("Ctrl+Shift+M")));

        // Nothing was taken from the other program: it and the entry both act on the press.
        x.chord({E2eSession::KeyLCtrl, E2eSession::KeyLShift, KeyK}, 60);
        QTRY_COMPARE_WITH_TIMEOUT(x.logLines(), QStringList{QStringLiteral("k")}, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile f(grabbed);
                f.open(QIODevice::ReadOnly);
                return f.readAll().contains("press");
            }(),
            3000);

        // The editor tells it under the list when that hotkey is picked, and only then.
        QProcess second;
        second.setProcessEnvironment(x.environment());
        second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
        QVERIFY(second.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).size(),
                                  1, 10000);
        QVERIFY(x.activate(x.visibleWindows(QStringLiteral("ZIZI Dudud Adadadiz")).first()));
        key(x, QStringLiteral("F3"));
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).size(), 1, 5000);
        const QString editor = x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).first();
        QTRY_COMPARE_WITH_TIMEOUT(x.focusedWindow(), editor, 3000);
        key(x, QStringLiteral("Tab"));
        const int plain = x.geometry(editor).height();
        key(x, QStringLiteral("k"));
        QTRY_VERIFY_WITH_TIMEOUT(x.geometry(editor).height() > plain, 3000);
        x.screenshot(QStringLiteral("editor-shared-hotkey"));
        QTest::qWait(1000); // the list takes the next key as a new search, not "km"
        key(x, QStringLiteral("m"));
        QTRY_COMPARE_WITH_TIMEOUT(x.geometry(editor).height(), plain, 3000);
        other.kill();
        other.waitForFinished(2000);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--grab-k") {
        // Another program with Ctrl+Shift+K as its own shortcut, grabbed as such programs do:
        // under every lock state. It writes the file once it holds the key, then a line per
        // press.
        Display *d = XOpenDisplay(nullptr);
        if (!d)
            return 1;
        const unsigned base = ControlMask | ShiftMask;
        for (unsigned locks : {0u, unsigned(LockMask), unsigned(Mod2Mask),
                               unsigned(LockMask | Mod2Mask)})
            XGrabKey(d, KeyK, base | locks, DefaultRootWindow(d), False, GrabModeAsync,
                     GrabModeAsync);
        XSync(d, False);
        FILE *out = std::fopen(argv[2], "a");
        std::fputs("held\n", out);
        std::fflush(out);
        for (;;) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == KeyPress) {
                std::fputs("press\n", out);
                std::fflush(out);
            }
        }
    }
    QCoreApplication app(argc, argv);
    TstActions t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_actions.moc"
