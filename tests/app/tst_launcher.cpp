// The running program on the offscreen platform with fake platform services: start-up order
// and its failure, the tray icon and its menu, exit, the requests of later starts, the
// entries' hotkeys told to the keyboard, and the hotkey tick, resting while no key is held.

#include "apprig.h"
#include "editor/rules/editorrules.h"
#include "launch/actionlauncher.h"
#include "launch/commandline.h"
#include "prompt/form2.h"

#include "../keyboard/keynames.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using platform::HotkeyUse;
using platform::TrayActivation;

namespace {

const QByteArray threeEntries = "[count]\nc=3\n"
                                "[1]\nAction=/bin/true\nHotkey=N\nKeyword=notes\n"
                                "[2]\nAction=http://example.com\nHotkey=f5\nKeyword=web\n"
                                "[3]\nAction=/tmp\nHotkey=\nKeyword=tmp\n";

QAction *trayAction(Launcher &l, const char *name)
{
    return l.mPopupSys()->findChild<QAction *>(QString::fromLatin1(name));
}

} // namespace

class TstLauncher : public QObject
{
    Q_OBJECT
private slots:
    void startUpReadsTheEntriesShowsTheIconAndMakesNoWindow()
    {
        AppRig r(threeEntries);
        Launcher &l = *r.launcher;
        QCOMPARE(l.Timer1.interval(), 150);
        QVERIFY(!l.Timer1.isActive());
        QVERIFY(l.Form_Load());
        QCOMPARE(r.fp.keyboard->acquireCalls, 1);
        QCOMPARE(l.store().s, QStringLiteral("3"));
        QCOMPARE(r.tables().list()->rowCount(), 3);
        QCOMPARE(r.fp.trayIcon->shows, 1);
        QCOMPARE(r.fp.trayIcon->toolTip, QStringLiteral("Dudud Adadadiz"));
        QVERIFY(!r.fp.trayIcon->icon.isNull());
        QCOMPARE(r.fp.trayIcon->contextMenu, l.mPopupSys());
        // The tray's start-up makes no window at all.
        QVERIFY(!l.hasMainWindow());
        QVERIFY(!l.prompt());
        QVERIFY(l.Timer1.isActive());
        QCOMPARE(r.ended, 0);
        // The main window, made later, selects the first entry.
        QCOMPARE(r.form().selectedRow(), 1);
    }

    void withoutATrayTheMinimisedWindowStaysInTheTaskbar()
    {
        AppRig r;
        r.fp.trayIcon->tray = false;
        QVERIFY(r.launcher->Form_Load());
        QVERIFY(r.launcher->hasMainWindow());
        QVERIFY(r.form().windowState() & Qt::WindowMinimized);
        QVERIFY(r.form().isVisible());
    }

    void withoutAKeyboardTheProgramRunsOnAndTakesRequests()
    {
        AppRig r(threeEntries);
        Launcher &l = *r.launcher;
        r.fp.keyboard->failAcquireWith = QStringLiteral("Cannot read the keyboard: because.");
        QVERIFY(l.Form_Load());
        QCOMPARE(r.fp.dialogs->messages.size(), 1);
        QCOMPARE(r.fp.dialogs->messages[0].text,
                 QStringLiteral("Cannot read the keyboard: because."));
        QCOMPARE(r.fp.dialogs->messages[0].kind, fake::ScriptedDialogs::Message::Error);
        QVERIFY(r.fp.trayIcon->shown);
        QCOMPARE(r.tables().list()->rowCount(), 3);
        QVERIFY(!l.Timer1.isActive());
        QCOMPARE(r.ended, 0);
        // What --hotkey and --prompt hand over still works.
        l.requested({commandline::Request::Hotkey, QStringLiteral("F5")});
        QCOMPARE(r.fp.shell->log(), QStringList{QStringLiteral("url:http://example.com")});
        l.requested({commandline::Request::Prompt, {}});
        QVERIFY(l.prompt() && l.prompt()->isVisible());
        l.requested({});
        QVERIFY(r.form().isVisible());
        QCOMPARE(r.fp.dialogs->messages.size(), 1);
    }

    void firstStartSaysWhereTheProgramWent_data()
    {
        QTest::addColumn<QByteArray>("ini"); // null: no entry file
        QTest::addColumn<bool>("messages");
        QTest::addColumn<int>("told");
        QTest::newRow("no entry file") << QByteArray() << true << 1;
        QTest::newRow("an entry file") << threeEntries << true << 0;
        QTest::newRow("an entry file without entries") << QByteArray("[count]\nc=0\n") << true << 0;
        QTest::newRow("a tray without messages") << QByteArray() << false << 0;
    }

    void firstStartSaysWhereTheProgramWent()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, messages);
        QFETCH(int, told);
        AppRig r(ini);
        r.fp.trayIcon->messages = messages;
        QVERIFY(r.launcher->Form_Load());
        QCOMPARE(r.fp.trayIcon->shownMessages.size(), told);
        if (told) {
            const QString m = r.fp.trayIcon->shownMessages.first();
            QVERIFY2(m.contains("tray") && m.contains("F7") && m.contains("main window"),
                     qPrintable(m));
        }
    }

    void exitTakesTheIconAwayThenEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("the tray menu's Exit") << "ex";
        QTest::newRow("the main window's Exit") << "Exit";
    }

    void exitTakesTheIconAwayThenEnds()
    {
        QFETCH(QString, how);
        AppRig r;
        QVERIFY(r.launcher->Form_Load());
        QVERIFY(r.fp.trayIcon->shown);
        QAction *a =
            how == QLatin1String("ex") ? trayAction(*r.launcher, "ex") : r.form().action(how);
        QVERIFY(a);
        a->trigger();
        QVERIFY(!r.fp.trayIcon->shown);
        QVERIFY(!r.launcher->Timer1.isActive());
        QCOMPARE(r.ended, 1);
    }

    void trayMenu()
    {
        AppRig r;
        QMenu *menu = r.launcher->mPopupSys();
        QStringList items;
        for (QAction *a : menu->actions())
            items << a->objectName() + QLatin1Char('=') + a->text() + QLatin1Char('=') +
                         a->shortcut().toString();
        QCOMPARE(items, (QStringList{"mwindow=&Main window=", "qlauncher=&Dudud Adadadiz=F7",
                                     "ex=&Exit="}));
        QCOMPARE(menu->defaultAction(), trayAction(*r.launcher, "mwindow"));
        QVERIFY(trayAction(*r.launcher, "qlauncher")->isShortcutVisibleInContextMenu());
        // F7 belongs to the hotkey monitor: the menu item must not take it as a shortcut.
        QCOMPARE(trayAction(*r.launcher, "qlauncher")->shortcutContext(), Qt::WidgetShortcut);
    }

    void trayActivations_data()
    {
        QTest::addColumn<QList<TrayActivation>>("activations");
        QTest::addColumn<bool>("prompt");
        QTest::addColumn<bool>("mainWindow");
        QTest::addColumn<bool>("menu");
        QTest::newRow("a click shows the prompt")
            << QList<TrayActivation>{TrayActivation::Click} << true << false << false;
        QTest::newRow("a double click restores the main window")
            << QList<TrayActivation>{TrayActivation::DoubleClick} << false << true << false;
        QTest::newRow("the menu click pops up the menu")
            << QList<TrayActivation>{TrayActivation::ContextMenu} << false << false << true;
        QTest::newRow("click, double click, click: prompt, main window, prompt")
            << QList<TrayActivation>{TrayActivation::Click, TrayActivation::DoubleClick,
                                     TrayActivation::Click}
            << true << true << false;
    }

    void trayActivations()
    {
        QFETCH(QList<TrayActivation>, activations);
        QFETCH(bool, prompt);
        QFETCH(bool, mainWindow);
        QFETCH(bool, menu);
        AppRig r;
        Launcher &l = *r.launcher;
        QVERIFY(l.Form_Load());
        for (TrayActivation a : activations)
            emit r.fp.trayIcon->activated(a);
        QCOMPARE(l.prompt() != nullptr && l.prompt()->isVisible(), prompt);
        QCOMPARE(l.hasMainWindow() && l.mainWindow().isVisible(), mainWindow);
        QCOMPARE(l.mPopupSys()->isVisible(), menu);
        l.mPopupSys()->hide();
        QCOMPARE(r.ended, 0);
    }

    void hotkeyTickOpensTheMatchingEntry()
    {
        AppRig r(threeEntries);
        QVERIFY(r.launcher->Form_Load());
        r.fp.keyboard->press(scancode::LControl);
        r.fp.keyboard->press(scancode::RShift);
        r.fp.keyboard->press(0x3F); // F5
        r.launcher->Timer1_Timer();
        QCOMPARE(r.fp.shell->log(), QStringList{QStringLiteral("url:http://example.com")});
    }

    void keyboardLostWhileRunningIsReportedOnceAndTheProgramRunsOn()
    {
        AppRig r;
        QVERIFY(r.launcher->Form_Load());
        r.fp.keyboard->failReadWith = QStringLiteral("The keyboard is gone.");
        // The device reports the loss by its signal; the ticks that come meanwhile find it
        // failing as well, and a key press asks for a tick at once.
        emit r.fp.keyboard->failed(QStringLiteral("The keyboard is gone."));
        r.launcher->Timer1_Timer();
        r.fp.keyboard->tap(0x31);
        QTest::qWait(400);
        QCOMPARE(r.fp.dialogs->messages.size(), 1);
        QCOMPARE(r.fp.dialogs->messages[0].text, QStringLiteral("The keyboard is gone."));
        QVERIFY(r.fp.trayIcon->shown);
        QCOMPARE(r.ended, 0);
        QVERIFY(!r.launcher->Timer1.isActive());
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
        AppRig r(threeEntries);
        Launcher &l = *r.launcher;
        QVERIFY(l.Form_Load());
        fake::ScriptedKeyboard &kb = *r.fp.keyboard;
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            const int key = scanCodeByName(step.mid(1));
            if (step == QLatin1String(",")) {
                QCoreApplication::processEvents();
            } else if (step == QLatin1String(".")) {
                QCoreApplication::processEvents();
                if (l.Timer1.isActive())
                    l.Timer1_Timer();
            } else if (step.startsWith(QLatin1Char('+'))) {
                kb.press(key);
            } else if (step.startsWith(QLatin1Char('-'))) {
                kb.release(key);
            } else {
                kb.tap(key);
            }
        }
        QCOMPARE(int(r.fp.shell->calls.size()), launches);
        QCOMPARE(l.Timer1.isActive(), ticking);
    }

    void checkOpensEveryMatchingEntryThroughTheLaunchRule()
    {
        AppRig r("[count]\nc=3\n[1]\nAction=/a\nHotkey=n\n[2]\nAction=FTP://b\nHotkey=N\n"
                 "[3]\nAction=/c\nHotkey=M\n");
        QVERIFY(r.launcher->Form_Load());
        r.launcher->check(QStringLiteral("n"));
        QCOMPARE(r.fp.shell->log(),
                 (QStringList{QStringLiteral("open:/a"), QStringLiteral("url:FTP://b")}));
    }

    // The actions of one press that fail are told together, once the tick is over; the
    // program runs on.
    void failedActionsOfAPressAreOneBox()
    {
        AppRig r("[count]\nc=2\n[1]\nAction=/a\nHotkey=n\n[2]\nAction=http://b\nHotkey=N\n");
        QVERIFY(r.launcher->Form_Load());
        r.fp.shell->answer = false;
        r.launcher->check(QStringLiteral("n"));
        QVERIFY(r.fp.dialogs->messages.isEmpty());
        QTRY_COMPARE(r.fp.dialogs->messages.size(), 1);
        QCOMPARE(int(r.fp.dialogs->messages.first().kind),
                 int(fake::ScriptedDialogs::Message::Error));
        QCOMPARE(r.fp.dialogs->messages.first().text,
                 launchFailedMessage("/a", r.fp.shell->refusal) + "\n\n" +
                     launchFailedMessage("http://b", r.fp.shell->refusal));
        QCOMPARE(r.ended, 0);
    }

    // A hotkey that another program also holds is told once on standard error, at start-up
    // and when the entries bring a new one; a key nobody else holds is not.
    void sharedHotkeysAreToldOnce()
    {
        AppRig r("[count]\nc=2\n[1]\nAction=/a\nHotkey=k\n[2]\nAction=/b\nHotkey=N\n");
        r.fp.keyboard->shared = QStringList{"K", "M"};
        QTest::failOnWarning(QRegularExpression("Ctrl\\+Shift\\+N "));
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("dudud-adadadiz: " + editor::sharedShortcutNote("K")));
        QVERIFY(r.launcher->Form_Load());
        QTest::failOnWarning(QRegularExpression("Ctrl\\+Shift\\+K "));
        r.write("[count]\nc=3\n[1]\nAction=/a\nHotkey=K\n[2]\nAction=/b\nHotkey=N\n"
                "[3]\nAction=/c\nHotkey=m\n");
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("dudud-adadadiz: " + editor::sharedShortcutNote("M")));
        QVERIFY(r.store().reloadIfChanged());
    }

    void theKeyboardAndThePromptFollowTheEntries()
    {
        AppRig r(threeEntries);
        Launcher &l = *r.launcher;
        QVERIFY(l.Form_Load());
        QCOMPARE(r.fp.keyboard->hotkeys,
                 QList<HotkeyUse>({{QStringLiteral("N"), QStringLiteral("notes")},
                                   {QStringLiteral("f5"), QStringLiteral("web")}}));
        l.qlauncher_Click();
        QVERIFY(l.prompt()->hasEntries());

        // Changed by another program: an entry without a keyword is named by its action.
        r.write("[count]\nc=2\n"
                "[1]\nAction=/bin/true\nHotkey=N\nKeyword=notes\n"
                "[2]\nAction=/usr/bin/music\nHotkey=m\nKeyword=\n");
        QVERIFY(l.store().reloadIfChanged());
        QCOMPARE(r.fp.keyboard->hotkeys,
                 QList<HotkeyUse>({{QStringLiteral("N"), QStringLiteral("notes")},
                                   {QStringLiteral("m"), QStringLiteral("/usr/bin/music")}}));
        r.write("[count]\nc=0\n");
        QVERIFY(l.store().reloadIfChanged());
        QVERIFY(!l.prompt()->hasEntries());
    }
};

QTEST_MAIN(TstLauncher)
#include "tst_launcher.moc"
