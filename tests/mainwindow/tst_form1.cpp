// The main window on the offscreen platform with fake platform services: start-up order and
// its failure, the notification icon record, the resize and close rules, exit, the layout,
// the menus, the tray event codes, and the hotkey tick wired to the launcher, resting while
// no key is held.

#include "entries/ini.h"
#include "launch/commandline.h"
#include "launch/hotkeymonitor.h"
#include "mainwindow/form1.h"
#include "platform/fake/fakeplatform.h"
#include "prompt/form2.h"

#include "../keyboard/keynames.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTreeView>
#include <QtTest>

namespace {

struct Harness
{
    QTemporaryDir dir;
    fake::FakePlatform fp;
    std::unique_ptr<Form1> form;
    int ended = 0;

    explicit Harness(const QByteArray &ini = QByteArray())
    {
        setProgramDirForTesting(dir.path());
        if (!ini.isNull()) {
            QFile f(dir.filePath(QStringLiteral("DAzad.ini")));
            f.open(QIODevice::WriteOnly);
            f.write(ini);
        }
        form = std::make_unique<Form1>(std::move(fp.bundle));
        form->endProgram = [this] { ++ended; };
    }
    ~Harness() { setProgramDirForTesting(QString()); }
};

const QByteArray threeEntries = "[count]\nc=3\n"
                                "[1]\nAction=/bin/true\nHotkey=N\nKeyword=notes\n"
                                "[2]\nAction=http://example.com\nHotkey=f5\nKeyword=web\n"
                                "[3]\nAction=/tmp\nHotkey=\nKeyword=tmp\n";

} // namespace

class TstForm1 : public QObject
{
    Q_OBJECT
private slots:
    void layout()
    {
        Harness h;
        Form1 &f = *h.form;
        QCOMPARE(f.windowTitle(), QStringLiteral("ZIZI Dudud Adadadiz"));
        QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!f.windowIcon().isNull());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.centralWidget()->size(), QSize(514, 457));
        f.hide();
        QCOMPARE(f.ListView1->geometry(), QRect(3, 5, 507, 448));
        QCOMPARE(f.ListView1->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(f.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!f.ListView1->isSortingEnabled());
        QCOMPARE(f.ListView1->model()->columnCount(), 3);
        const QStringList headings = {QStringLiteral("Action"), QStringLiteral("Keyword"),
                                      QStringLiteral("Hotkey")};
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(f.ListView1->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
            QCOMPARE(f.ListView1->header()->sectionSize(c), f.ListView1->viewport()->width() / 3);
            QVERIFY(f.ListView1->header()->length() <= f.ListView1->viewport()->width());
        }
        QCOMPARE(f.Timer1.interval(), 150);
        QVERIFY(!f.Timer1.isActive());
    }

    void startUpFillsTheListAddsTheIconAndHides()
    {
        Harness h(threeEntries);
        Form1 &f = *h.form;
        QVERIFY(f.Form_Load());
        QCOMPARE(h.fp.keyboard->acquireCalls, 1);
        QCOMPARE(f.s, QStringLiteral("3"));
        QCOMPARE(f.tables.list()->rowCount(), 3);
        QCOMPARE(f.selectedRow(), 1);
        QCOMPARE(h.fp.notifyIcon->messages, QList<int>{platform::NimAdd});
        const platform::NotifyIconData &d = h.fp.notifyIcon->lastData;
        QCOMPARE(d.cbSize, 88);
        QCOMPARE(d.uID, 1u);
        QCOMPARE(d.uFlags, 7u);
        QCOMPARE(d.uCallbackMessage, 512u);
        QCOMPARE(d.szTip, QStringLiteral("Dudud Adadadiz"));
        QVERIFY(!d.hIcon.isNull());
        QVERIFY(!f.isVisible());
        // Not created until first shown: the tray's start-up never shows it.
        QVERIFY(!f.testAttribute(Qt::WA_WState_Created));
        QVERIFY(!f.ListView1);
        QVERIFY(f.Timer1.isActive());
        QCOMPARE(h.ended, 0);
    }

    void withoutATrayTheMinimisedWindowStaysInTheTaskbar()
    {
        Harness h;
        h.fp.notifyIcon->tray = false;
        QVERIFY(h.form->Form_Load());
        QVERIFY(h.form->windowState() & Qt::WindowMinimized);
        QVERIFY(h.form->isVisible());
    }

    void withoutAKeyboardTheProgramRunsOnAndTakesRequests()
    {
        Harness h(threeEntries);
        h.fp.keyboard->failAcquireWith = QStringLiteral("Cannot read the keyboard: because.");
        QVERIFY(h.form->Form_Load());
        QCOMPARE(h.fp.dialogs->messages.size(), 1);
        QCOMPARE(h.fp.dialogs->messages[0].text,
                 QStringLiteral("Cannot read the keyboard: because."));
        QCOMPARE(h.fp.dialogs->messages[0].caption, QStringLiteral("Dudud Adadadiz"));
        QCOMPARE(h.fp.notifyIcon->messages, QList<int>{platform::NimAdd});
        QCOMPARE(h.form->tables.list()->rowCount(), 3);
        QVERIFY(!h.form->Timer1.isActive());
        QCOMPARE(h.ended, 0);
        // What --hotkey and --prompt hand over still works.
        h.form->requested({commandline::Request::Hotkey, QStringLiteral("F5")});
        QCOMPARE(h.fp.shell->log(), QStringList{QStringLiteral("url:http://example.com")});
        h.form->requested({commandline::Request::Prompt, {}});
        QVERIFY(h.form->prompt() && h.form->prompt()->isVisible());
        h.form->requested({});
        QVERIFY(h.form->isVisible());
        QCOMPARE(h.fp.dialogs->messages.size(), 1);
    }

    void closeBoxMinimisesAndHides()
    {
        Harness h;
        QVERIFY(h.form->Form_Load());
        h.form->mwindow_Click();
        QVERIFY(h.form->isVisible());
        QVERIFY(!(h.form->windowState() & Qt::WindowMinimized));
        QVERIFY(!h.form->close());
        QVERIFY(!h.form->isVisible());
        QCOMPARE(h.ended, 0);
        // Minimised by the window system (its minimise button): hidden as well, and shown
        // again in its normal state.
        h.form->mwindow_Click();
        QVERIFY(h.form->isVisible());
        h.form->setWindowState(Qt::WindowMinimized);
        QVERIFY(!h.form->isVisible());
        h.form->mwindow_Click();
        QVERIFY(h.form->isVisible());
        QVERIFY(!(h.form->windowState() & Qt::WindowMinimized));
        QCOMPARE(h.fp.notifyIcon->messages, QList<int>{platform::NimAdd});
    }

    void exitDeletesTheIconWithTheSameRecordThenEnds()
    {
        Harness h;
        QVERIFY(h.form->Form_Load());
        const quintptr hwnd = h.fp.notifyIcon->lastData.hWnd;
        QVERIFY(h.ended == 0);
        h.form->action(QStringLiteral("Exit"))->trigger();
        QCOMPARE(h.fp.notifyIcon->messages, (QList<int>{platform::NimAdd, platform::NimDelete}));
        QCOMPARE(h.fp.notifyIcon->lastData.hWnd, hwnd);
        QCOMPARE(h.fp.notifyIcon->lastData.uID, 1u);
        QCOMPARE(h.ended, 1);
    }

    void menus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("Exit") << "Exit"
                              << "E&xit" << QKeySequence(Qt::CTRL | Qt::Key_X);
        QTest::newRow("Add") << "Add"
                             << "Add..." << QKeySequence(Qt::Key_F3);
        QTest::newRow("Modify") << "Modify"
                                << "Modify..." << QKeySequence(Qt::Key_F4);
        QTest::newRow("Remove") << "Remove"
                                << "Remove" << QKeySequence(Qt::Key_Delete);
        QTest::newRow("contents") << "contents"
                                  << "Contents" << QKeySequence(Qt::Key_F1);
        QTest::newRow("index") << "index"
                               << "Index" << QKeySequence();
        QTest::newRow("About") << "About"
                               << "About" << QKeySequence(Qt::CTRL | Qt::Key_B);
        QTest::newRow("mwindow") << "mwindow"
                                 << "&Main window" << QKeySequence();
        QTest::newRow("qlauncher") << "qlauncher"
                                   << "&Dudud Adadadiz" << QKeySequence(Qt::Key_F7);
        QTest::newRow("ex") << "ex"
                            << "&Exit" << QKeySequence();
    }

    void menus()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, shortcut);
        Harness h;
        QAction *a = h.form->action(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), shortcut);
    }

    void menuBarOrder()
    {
        Harness h;
        h.form->show();
        QStringList titles;
        for (QAction *a : h.form->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Action", "&Help"}));
        QStringList popup;
        for (QAction *a : h.form->mPopupSys->actions())
            popup << a->objectName();
        QCOMPARE(popup, (QStringList{"mwindow", "qlauncher", "ex"}));
        QCOMPARE(h.form->mPopupSys->defaultAction(), h.form->action(QStringLiteral("mwindow")));
        QVERIFY(h.form->action(QStringLiteral("qlauncher"))->isShortcutVisibleInContextMenu());
        // F7 belongs to the hotkey monitor: the menu item must not take it as a window shortcut.
        QCOMPARE(h.form->action(QStringLiteral("qlauncher"))->shortcutContext(),
                 Qt::WidgetShortcut);
    }

    void trayEventCodes_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<bool>("prompt");
        QTest::addColumn<bool>("mainWindow");
        QTest::addColumn<bool>("menu");
        for (int code : {512, 513, 516, 518, 519, 520, 521, 0, 1024})
            QTest::addRow("%d does nothing", code) << QList<int>{code} << false << false << false;
        QTest::newRow("514 shows the prompt") << QList<int>{514} << true << false << false;
        QTest::newRow("515 restores the main window") << QList<int>{515} << false << true << false;
        QTest::newRow("517 pops up the menu") << QList<int>{517} << false << false << true;
        QTest::newRow("514 515 514: prompt, main window, prompt")
            << QList<int>{514, 515, 514} << true << true << false;
    }

    void trayEventCodes()
    {
        QFETCH(QList<int>, codes);
        QFETCH(bool, prompt);
        QFETCH(bool, mainWindow);
        QFETCH(bool, menu);
        Harness h;
        QVERIFY(h.form->Form_Load());
        QVERIFY(!h.form->isVisible());
        for (int code : codes)
            h.fp.notifyIcon->fire(code);
        QCOMPARE(h.form->prompt() != nullptr && h.form->prompt()->isVisible(), prompt);
        QCOMPARE(h.form->isVisible(), mainWindow);
        QCOMPARE(h.form->mPopupSys->isVisible(), menu);
        h.form->mPopupSys->hide();
        QCOMPARE(h.ended, 0);
    }

    void trayMenuExitEnds()
    {
        Harness h;
        QVERIFY(h.form->Form_Load());
        h.form->action(QStringLiteral("ex"))->trigger();
        QCOMPARE(h.fp.notifyIcon->messages.last(), int(platform::NimDelete));
        QCOMPARE(h.ended, 1);
    }

    void hotkeyTickOpensTheMatchingEntry()
    {
        Harness h(threeEntries);
        QVERIFY(h.form->Form_Load());
        h.fp.keyboard->press(scancode::LControl);
        h.fp.keyboard->press(scancode::RShift);
        h.fp.keyboard->press(0x3F); // F5
        h.form->Timer1_Timer();
        QCOMPARE(h.fp.shell->log(), QStringList{QStringLiteral("url:http://example.com")});
    }

    void keyboardLostWhileRunningIsReportedOnceAndTheProgramRunsOn()
    {
        Harness h;
        QVERIFY(h.form->Form_Load());
        h.fp.keyboard->failReadWith = QStringLiteral("The keyboard is gone.");
        // The device reports the loss by its signal; the ticks that come meanwhile find it
        // failing as well, and a key press asks for a tick at once.
        emit h.fp.keyboard->failed(QStringLiteral("The keyboard is gone."));
        h.form->Timer1_Timer();
        h.fp.keyboard->tap(0x31);
        QTest::qWait(400);
        QCOMPARE(h.fp.dialogs->messages.size(), 1);
        QCOMPARE(h.fp.dialogs->messages[0].text, QStringLiteral("The keyboard is gone."));
        QCOMPARE(h.fp.notifyIcon->messages.last(), int(platform::NimAdd));
        QCOMPARE(h.ended, 0);
        QVERIFY(!h.form->Timer1.isActive());
    }

    // Steps: "+key" press, "-key" release, "~key" tap; "," lets the event loop deliver the
    // device's signals; "." is a timer tick, which a stopped Timer1 does not make.
    void tickRestsBetweenPresses_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("launches");
        QTest::addColumn<bool>("ticking");

        QTest::newRow("nothing held: the tick stops") << "." << 0 << false;
        QTest::newRow("a press after the stop ticks at once and keeps ticking")
            << ". +LCtrl +LShift +n ," << 1 << true;
        QTest::newRow("a held combination fires once")
            << "+LCtrl +LShift +n , . . +LAlt , ." << 1 << true;
        QTest::newRow("held modifiers keep the tick") << "+LCtrl +RShift , . ." << 0 << true;
        QTest::newRow("an unwatched key held lets it stop") << "+LAlt , ." << 0 << false;
        QTest::newRow("all keys up: the tick stops again")
            << "+LCtrl +LShift +n , . -n -LShift -LCtrl ." << 1 << false;
        QTest::newRow("a tap while the tick is stopped is caught")
            << ". ~LCtrl ~LShift ~n ," << 1 << false;
        QTest::newRow("pressed again after a stop fires again")
            << "+LCtrl +LShift +n , -n -LShift -LCtrl . +LCtrl +LShift +n ," << 2 << true;
    }

    void tickRestsBetweenPresses()
    {
        QFETCH(QString, steps);
        QFETCH(int, launches);
        QFETCH(bool, ticking);
        Harness h(threeEntries);
        QVERIFY(h.form->Form_Load());
        fake::ScriptedKeyboard &kb = *h.fp.keyboard;
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            const int key = scanCodeByName(step.mid(1));
            if (step == QLatin1String(",")) {
                QCoreApplication::processEvents();
            } else if (step == QLatin1String(".")) {
                QCoreApplication::processEvents();
                if (h.form->Timer1.isActive())
                    h.form->Timer1_Timer();
            } else if (step.startsWith(QLatin1Char('+'))) {
                kb.press(key);
            } else if (step.startsWith(QLatin1Char('-'))) {
                kb.release(key);
            } else {
                kb.tap(key);
            }
        }
        QCOMPARE(int(h.fp.shell->calls.size()), launches);
        QCOMPARE(h.form->Timer1.isActive(), ticking);
    }

    void checkOpensEveryMatchingEntryThroughTheLaunchRule()
    {
        Harness h("[count]\nc=3\n[1]\nAction=/a\nHotkey=n\n[2]\nAction=FTP://b\nHotkey=N\n"
                  "[3]\nAction=/c\nHotkey=M\n");
        QVERIFY(h.form->Form_Load());
        h.form->check(QStringLiteral("n"));
        QCOMPARE(h.fp.shell->log(),
                 (QStringList{QStringLiteral("open:/a"), QStringLiteral("url:FTP://b")}));
    }
};

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
