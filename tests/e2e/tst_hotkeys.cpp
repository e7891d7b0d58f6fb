// Hotkeys pressed through the X server while another application has the focus: what runs,
// how often, and that the focused application still gets every key.

#include "harness.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QtTest>

namespace {

const QByteArray entries = "[count]\nc=4\n"
                           "[1]\nAction=%DIR%/n.sh\nHotkey=N\nKeyword=notes\n"
                           "[2]\nAction=%DIR%/f5.sh\nHotkey=f5\nKeyword=\n"
                           "[3]\nAction=%DIR%/one.sh\nHotkey=1\nKeyword=one\n"
                           "[4]\nAction=http://example.com/a b?q=1&r=2\nHotkey=W\nKeyword=web\n";

using K = E2eSession;

/// A session with the launcher running on the entries above and logging scripts beside it.
struct Running
{
    E2eSession x;
    bool up = false;
    Running()
    {
        if (!x.ok())
            return;
        x.writeLoggingScript(QStringLiteral("n.sh"), QStringLiteral("n"));
        x.writeLoggingScript(QStringLiteral("f5.sh"), QStringLiteral("f5"));
        x.writeLoggingScript(QStringLiteral("one.sh"), QStringLiteral("one"));
        x.writeLoggingScript(QStringLiteral("browser.sh"), QStringLiteral("browser"));
        // The stand-in browser is the desktop's default one for web addresses.
        QFile desktop(x.path(QStringLiteral("home/.local/share/applications/teststand.desktop")));
        desktop.open(QIODevice::WriteOnly);
        desktop.write("[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" +
                      x.path(QStringLiteral("browser.sh")).toUtf8() + " %u\n");
        desktop.close();
        QFile mime(x.path(QStringLiteral("home/.config/mimeapps.list")));
        mime.open(QIODevice::WriteOnly);
        mime.write("[Default Applications]\nx-scheme-handler/http=teststand.desktop\n"
                   "x-scheme-handler/https=teststand.desktop\n");
        mime.close();
        x.writeEntryFile(QByteArray(entries).replace("%DIR%", x.dir().toUtf8()));
        up = x.startApp();
        // Let the launcher finish starting before keys are pressed.
        QTest::qWait(800);
    }
};

} // namespace

class TstHotkeys : public QObject
{
    Q_OBJECT
private slots:
    void combinations_data()
    {
        QTest::addColumn<QList<unsigned>>("keys");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<QStringList>("log");

        const QStringList n{QStringLiteral("n")};
        QTest::newRow("left ctrl + left shift + N, 50 ms")
            << QList<unsigned>{K::KeyLCtrl, K::KeyLShift, K::KeyN} << 50 << n;
        QTest::newRow("held for a second fires once")
            << QList<unsigned>{K::KeyLCtrl, K::KeyLShift, K::KeyN} << 1000 << n;
        QTest::newRow("right ctrl + right shift + N")
            << QList<unsigned>{K::KeyRCtrl, K::KeyRShift, K::KeyN} << 50 << n;
        QTest::newRow("right ctrl + left shift + N, 30 ms")
            << QList<unsigned>{K::KeyRCtrl, K::KeyLShift, K::KeyN} << 30 << n;
        QTest::newRow("ctrl + alt + shift + N fires")
            << QList<unsigned>{K::KeyLCtrl, K::KeyLAlt, K::KeyLShift, K::KeyN} << 50 << n;
        QTest::newRow("ctrl + N alone does nothing")
            << QList<unsigned>{K::KeyLCtrl, K::KeyN} << 80 << QStringList();
        QTest::newRow("shift + N alone does nothing")
            << QList<unsigned>{K::KeyLShift, K::KeyN} << 80 << QStringList();
        QTest::newRow("keypad 1 never fires")
            << QList<unsigned>{K::KeyLCtrl, K::KeyLShift, K::KeyKP1} << 80 << QStringList();
        QTest::newRow("main-row 1 fires") << QList<unsigned>{K::KeyLCtrl, K::KeyLShift, K::Key1}
                                          << 80 << QStringList{QStringLiteral("one")};
        QTest::newRow("hand-written f5 fires on F5")
            << QList<unsigned>{K::KeyLCtrl, K::KeyLShift, K::KeyF5} << 80
            << QStringList{QStringLiteral("f5")};
    }

    void combinations()
    {
        QFETCH(QList<unsigned>, keys);
        QFETCH(int, holdMs);
        QFETCH(QStringList, log);
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        r.x.chord(keys, holdMs);
        if (log.isEmpty()) {
            QTest::qWait(800);
            QCOMPARE(r.x.logLines(), QStringList());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines(), log, 3000);
            QTest::qWait(500); // and no second run follows
            QCOMPARE(r.x.logLines(), log);
        }
    }

    void releasingTheKeyAndPressingAgainFiresAgain()
    {
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        r.x.keyEvent(K::KeyLCtrl, true);
        r.x.keyEvent(K::KeyLShift, true);
        for (int i = 0; i < 3; ++i) {
            r.x.keyEvent(K::KeyN, true);
            QTest::qWait(60);
            r.x.keyEvent(K::KeyN, false);
            QTest::qWait(250);
        }
        r.x.keyEvent(K::KeyLShift, false);
        r.x.keyEvent(K::KeyLCtrl, false);
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines().size(), 3, 3000);
    }

    void webAddressReachesTheBrowserAsOneArgument()
    {
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        r.x.chord({K::KeyLCtrl, K::KeyLShift, 25 /* W */}, 60);
        QTRY_COMPARE_WITH_TIMEOUT(
            r.x.logLines(), QStringList{QStringLiteral("browser [http://example.com/a b?q=1&r=2]")},
            3000);
    }

    void theFocusedApplicationStillGetsTheKeys()
    {
        Running r;
        QVERIFY2(r.up, qPrintable(r.x.error()));
        const QString out = r.x.path(QStringLiteral("typed.txt"));
        QProcess typing;
        typing.setProcessEnvironment(r.x.environment());
        typing.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--typing-window"), out});
        QVERIFY(typing.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!r.x.visibleWindows(QStringLiteral("typing")).isEmpty(), 10000);
        const QString w = r.x.visibleWindows(QStringLiteral("typing")).first();
        r.x.xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), w});
        QTRY_COMPARE_WITH_TIMEOUT(r.x.focusedWindow(), w, 3000);
        r.x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                     QStringLiteral("hello n")});
        // Ctrl+Shift+N fires the entry and also reaches the window (which ignores it as text).
        r.x.chord({K::KeyLCtrl, K::KeyLShift, K::KeyN}, 60);
        r.x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                     QStringLiteral("!")});
        QTRY_COMPARE_WITH_TIMEOUT(r.x.logLines(), QStringList{QStringLiteral("n")}, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(
            [&] {
                QFile f(out);
                f.open(QIODevice::ReadOnly);
                return QString::fromUtf8(f.readAll());
            }(),
            QStringLiteral("hello n!"), 3000);
        typing.terminate();
        typing.waitForFinished(3000);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--typing-window") {
        // A plain focused application that records what it receives as text.
        QApplication app(argc, argv);
        QLineEdit edit;
        edit.setWindowTitle(QStringLiteral("typing"));
        const QString file = QString::fromLocal8Bit(argv[2]);
        QObject::connect(&edit, &QLineEdit::textChanged, [file](const QString &text) {
            QFile f(file);
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(text.toUtf8());
        });
        edit.resize(300, 30);
        edit.show();
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    TstHotkeys t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_hotkeys.moc"
