// The main window used by keyboard as a user would: the editor adds an entry whose hotkey
// then works, Del removes it; F1 opens the help; Help > About twice gives one About box,
// which comes back in front when the main window is clicked.

#include "harness.h"

#include <QElapsedTimer>
#include <QImage>
#include <QtTest>

namespace {

const QString mainTitle = QStringLiteral("ZIZI Dudud Adadadiz");

/// Entries as a user has them: a web page, a document, a program with an argument.
const QByteArray realEntries =
    "[count]\nc=3\n"
    "[1]\nAction=https://www.debian.org/releases/bookworm/\nHotkey=E\nKeyword=debian\n"
    "[2]\nAction=/home/me/Documents/Budget 2026.ods\nHotkey=F12\nKeyword=budget\n"
    "[3]\nAction=/usr/bin/xterm -e htop\nHotkey=T\nKeyword=top\n";

/// Starts the program (with @p env) and shows its main window by starting it a second time.
bool showMainWindow(E2eSession &x, const QStringList &env = {})
{
    if (!x.startApp(env))
        return false;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && x.trayIconsOfApp().isEmpty())
        QTest::qWait(50);
    QProcess second;
    second.setProcessEnvironment(x.environment());
    second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
    second.waitForFinished(10000);
    while (t.elapsed() < 15000 && x.visibleWindows(mainTitle).isEmpty())
        QTest::qWait(50);
    if (x.visibleWindows(mainTitle).isEmpty())
        return false;
    const QString w = x.visibleWindows(mainTitle).first();
    x.xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), w});
    while (t.elapsed() < 15000 && x.focusedWindow() != w)
        QTest::qWait(50);
    return x.focusedWindow() == w;
}

/// The window manager's frame around @p w: the client area grown by _NET_FRAME_EXTENTS, or
/// an empty rectangle while the window manager has not framed it.
QRect frameOf(const E2eSession &x, const QString &w)
{
    const QString p =
        x.run(QStringLiteral("xprop"), {QStringLiteral("-id"), w, "_NET_FRAME_EXTENTS"});
    const QStringList e = p.mid(p.indexOf(QLatin1Char('=')) + 1).split(QLatin1Char(','));
    if (!p.contains(QLatin1Char('=')) || e.size() != 4)
        return {};
    return x.geometry(w).adjusted(-e.at(0).trimmed().toInt(), -e.at(2).trimmed().toInt(),
                                  e.at(1).trimmed().toInt(), e.at(3).trimmed().toInt());
}

/// Whether the window manager lists @p w among its clients.
bool managed(const E2eSession &x, const QString &w)
{
    const QString list =
        x.run(QStringLiteral("xprop"), {QStringLiteral("-root"), "_NET_CLIENT_LIST"});
    return list.contains(QStringLiteral("0x%1").arg(w.toULongLong(), 0, 16));
}

/// Whether the pixel at @p p of the screen is black, as an unpainted window is.
bool blackAt(const E2eSession &x, const QPoint &p)
{
    const QImage shot(x.screenshot(QStringLiteral("probe")));
    return shot.isNull() || shot.pixelColor(p) == Qt::black;
}

void key(E2eSession &x, const QString &keys)
{
    x.xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60"), keys});
}

void type(E2eSession &x, const QString &text)
{
    x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void addByKeyboardThenTheHotkeyWorksThenDelRemovesIt()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        const QString script =
            x.writeLoggingScript(QStringLiteral("added.sh"), QStringLiteral("added"));
        QVERIFY2(showMainWindow(x), qPrintable(x.error()));

        key(x, QStringLiteral("F3"));
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).size(), 1, 5000);
        const QString editor = x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).first();
        QTRY_COMPARE_WITH_TIMEOUT(x.focusedWindow(), editor, 3000);
        type(x, QStringLiteral("mine")); // keyword box has the focus
        key(x, QStringLiteral("Tab"));   // hotkey list
        type(x, QStringLiteral("M"));    // picks "M"
        key(x, QStringLiteral("Tab"));   // action box
        type(x, script);
        x.screenshot(QStringLiteral("editor-add"));
        key(x, QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).isEmpty(), 5000);
        const QByteArray ini = x.readEntryFile();
        QVERIFY2(ini.contains("c=1"), ini.constData());
        QVERIFY2(ini.contains("Hotkey=M"), ini.constData());
        QVERIFY2(ini.contains("Keyword=mine"), ini.constData());
        QVERIFY2(ini.contains("Action=" + script.toUtf8()), ini.constData());
        x.screenshot(QStringLiteral("main-window"));

        x.chord({E2eSession::KeyLCtrl, E2eSession::KeyLShift, 58 /* M */}, 60);
        QTRY_COMPARE_WITH_TIMEOUT(x.logLines(), QStringList{QStringLiteral("added")}, 3000);

        const QString w = x.visibleWindows(mainTitle).first();
        // Asked again until it has the focus: a loaded window manager may pass one request by.
        QVERIFY2(x.activate(w, 3000), qPrintable(x.focusedWindow()));
        key(x, QStringLiteral("Delete"));
        QTRY_VERIFY_WITH_TIMEOUT(x.focusedWindow() != w, 3000); // the question
        x.screenshot(QStringLiteral("remove-question"));
        key(x, QStringLiteral("Return")); // Yes is the default
        QTRY_VERIFY_WITH_TIMEOUT(x.readEntryFile().contains("c=0"), 3000);
        x.chord({E2eSession::KeyLCtrl, E2eSession::KeyLShift, 58 /* M */}, 60);
        QTest::qWait(600);
        QCOMPARE(x.logLines().size(), 1);
    }

    void theFirstShowCentresTheFrame()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(showMainWindow(x), qPrintable(x.error()));
        const QString w = x.visibleWindows(mainTitle).first();
        // The outer window, borders and title bar included, sits in the middle of the screen.
        auto offCentre = [&] {
            const QRect f = frameOf(x, w);
            return f.isEmpty() ? 999
                               : qMax(qAbs(f.x() - (1280 / 2 - f.width() / 2)),
                                      qAbs(f.y() - (800 / 2 - f.height() / 2)));
        };
        QTRY_COMPARE_WITH_TIMEOUT(offCentre(), 0, 3000);
    }

    // A larger text size or scale: the window grows for its texts where it needs to, never
    // past the screen (title bar, menus and headings stay on it), centred there.
    void theFrameStaysOnTheScreenAtAnyTextSize_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("wider"); // than the design's 514, for the entries' texts
        QTest::newRow("default font") << QStringList() << 1 << false;
        QTest::newRow("20 pt") << E2eSession::lookEnvironment(QStringLiteral("font20")) << 1
                               << true;
        QTest::newRow("scale 2") << QStringList{QStringLiteral("QT_SCALE_FACTOR=2")} << 2 << false;
    }

    void theFrameStaysOnTheScreenAtAnyTextSize()
    {
        QFETCH(QStringList, env);
        QFETCH(int, scale);
        QFETCH(bool, wider);
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        x.writeEntryFile(realEntries);
        QVERIFY2(showMainWindow(x, env), qPrintable(x.error()));
        const QString w = x.visibleWindows(mainTitle).first();
        const QRect screen(0, 0, 1280, 800);
        auto placed = [&] {
            const QRect f = frameOf(x, w);
            return !f.isEmpty() && screen.contains(f) &&
                   qAbs(f.center().x() - screen.center().x()) <= 1 &&
                   qAbs(f.center().y() - screen.center().y()) <= 1;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(placed(),
                                  qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                                 .arg(frameOf(x, w).x())
                                                 .arg(frameOf(x, w).y())
                                                 .arg(frameOf(x, w).width())
                                                 .arg(frameOf(x, w).height())),
                                  3000);
        qInfo("frame %d,%d %dx%d", frameOf(x, w).x(), frameOf(x, w).y(), frameOf(x, w).width(),
              frameOf(x, w).height());
        QCOMPARE(x.geometry(w).width() > 514 * scale, wider);
        x.screenshot(QStringLiteral("main-window-") + QTest::currentDataTag());
    }

    void minimisingHidesIntoTheTray_data()
    {
        QTest::addColumn<QStringList>("minimise");
        QTest::addColumn<bool>("byDoubleClick");
        QTest::newRow("iconify request, back by the tray menu")
            << QStringList{"windowminimize", "%1"} << false;
        QTest::newRow("iconify request, back by a double click")
            << QStringList{"windowminimize", "%1"} << true;
        QTest::newRow("window menu's Iconify")
            << QStringList{"key", "--delay", "300", "alt+space", "n"} << false;
    }

    void minimisingHidesIntoTheTray()
    {
        QFETCH(QStringList, minimise);
        QFETCH(bool, byDoubleClick);
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(showMainWindow(x), qPrintable(x.error()));
        const QString w = x.visibleWindows(mainTitle).first();
        QTRY_VERIFY_WITH_TIMEOUT(managed(x, w), 3000);
        minimise.replaceInStrings(QStringLiteral("%1"), w);
        x.xdotool(minimise);
        QTRY_VERIFY_WITH_TIMEOUT(x.visibleWindows(mainTitle).isEmpty(), 3000);
        // Still gone a while later: not mapped again, not left in the window manager's list.
        QTest::qWait(1500);
        QVERIFY(x.visibleWindows(mainTitle).isEmpty());
        QVERIFY(!managed(x, w));

        if (byDoubleClick) {
            const QRect icon = x.geometry(x.trayIconsOfApp().value(0));
            x.xdotool({QStringLiteral("mousemove"), QString::number(icon.center().x()),
                       QString::number(icon.center().y()), QStringLiteral("click"),
                       QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
                       QStringLiteral("80"), QStringLiteral("1")});
        } else {
            QProcess second; // asks the running copy for its main window, as "&Main window"
            second.setProcessEnvironment(x.environment());
            second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
            second.waitForFinished(10000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(mainTitle).size(), 1, 5000);
        QVERIFY(x.activate(w));
        const QRect g = x.geometry(w);
        QTRY_VERIFY_WITH_TIMEOUT(!blackAt(x, g.center()), 3000);
        key(x, QStringLiteral("F3")); // and it works
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(QStringLiteral("Add\\.\\.\\.")).size(), 1, 5000);
    }

    void f1OpensTheHelpTopics()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(showMainWindow(x), qPrintable(x.error()));
        key(x, QStringLiteral("F1"));
        QTRY_COMPARE_WITH_TIMEOUT(
            x.visibleWindows(QStringLiteral("Help for Dudud Adadadiz")).size(), 1, 5000);
        x.screenshot(QStringLiteral("help-contents"));
    }

    void aboutTwiceGivesOneBoxThatComesBackInFront()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(showMainWindow(x), qPrintable(x.error()));
        const QString w = x.visibleWindows(mainTitle).first();
        key(x, QStringLiteral("ctrl+b"));
        QTRY_COMPARE_WITH_TIMEOUT(
            x.visibleWindows(QStringLiteral("About ZIZI Dudud Adadadiz")).size(), 1, 5000);
        x.xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), w});
        key(x, QStringLiteral("ctrl+b"));
        QTest::qWait(500);
        QCOMPARE(x.windows(QStringLiteral("About ZIZI Dudud Adadadiz")).size(), 1);
        const QString about = x.visibleWindows(QStringLiteral("About ZIZI Dudud Adadadiz")).first();
        x.screenshot(QStringLiteral("about"));

        // A click on the main window: the About box is back in front (and active) at once.
        const QRect g = x.geometry(w);
        x.xdotool({QStringLiteral("mousemove"), QString::number(g.left() + 20),
                   QString::number(g.bottom() - 20), QStringLiteral("click"), QStringLiteral("1")});
        QElapsedTimer t;
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(x.focusedWindow(), about, 2000);
        qInfo("About box active again %lld ms after the click (including the queries)",
              t.elapsed());
        key(x, QStringLiteral("Escape"));
        QTRY_VERIFY_WITH_TIMEOUT(
            x.visibleWindows(QStringLiteral("About ZIZI Dudud Adadadiz")).isEmpty(), 3000);
    }
};

QTEST_GUILESS_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
