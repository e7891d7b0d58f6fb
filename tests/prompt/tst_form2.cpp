#include "apprig.h"
#include "entries/ini/fileprofile.h"
#include "launch/actionlauncher.h"
#include "platform/factory/backends.h"
#include "prompt/form2.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct Entry
{
    QString hotkey, keyword, action;
};

/// Replaces the main window's tables as a reload from the entry file would.
void setEntries(Launcher &l, const QList<Entry> &entries, const QString &count = QString())
{
    EntryTables &t = l.store().tables;
    t.Hotkey.clear();
    t.Keyword.clear();
    t.Action.clear();
    for (const Entry &e : entries) {
        t.Hotkey << e.hotkey;
        t.Keyword << e.keyword;
        t.Action << e.action;
    }
    t.s = count.isNull() ? QString::number(entries.size()) : count;
}

/// Records, at the moment a message box is shown, what the prompt looked like.
class WatchingDialogs : public fake::ScriptedDialogs
{
public:
    QPointer<Form2> prompt;
    bool promptVisible = true;
    QString textWhileShown;
    void tell(QWidget *parent, const QString &text, platform::Severity severity) override
    {
        if (prompt) {
            promptVisible = prompt->isVisible();
            textWhileShown = prompt->Text1->text();
        }
        ScriptedDialogs::tell(parent, text, severity);
    }
};

struct Fixture
{
    QTemporaryDir dir;
    fake::FakePlatform fp;
    fake::RecordingShell *shell = fp.shell;
    WatchingDialogs *dialogs = new WatchingDialogs;
    Launcher f;

    Fixture()
        : f((fp.bundle.dialogs.reset(dialogs),
             fp.bundle.profile = std::make_unique<ini::FileProfile>(), std::move(fp.bundle)),
            dir.path())
    {
    }

    /// Opens the prompt as F7 and the tray do, and waits until it has the keyboard.
    Form2 *open()
    {
        f.qlauncher_Click();
        Form2 *p = f.prompt();
        dialogs->prompt = p;
        if (p && !QTest::qWaitForWindowActive(p))
            return nullptr;
        return p;
    }
};

const QList<Entry> standardEntries{
    {"N", "notes", "/usr/bin/notes"},
    {"W", "Web", "https://example.org/a b"},
    {"F", "files", "ftp://example.org"},
    {"", "", "/opt/hotkey-only"},
};

} // namespace

class TstForm2 : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void enter_data();
    void enter();
    void suggestionKeys_data();
    void suggestionKeys();
    void listUnderTheTextBox();
    void unknownKeywordMessage();
    void failedActionIsTold();
    void entryAddedWhileHidden();
    void entriesRemovedWhileHidden();
    void escapeAndOtherKeysKeepThePrompt();
    void abandonedTextStays();
    void otherWindowOfOursHidesAtOnce();
    void timerHidesWhenNoWindowIsActive();
    void timerStartsWithFirstActivation();
    void singleInstance();
    void windowDesign();
    void centredOnTheScreenWithThePointer();
    void activationHelperIdleOffX11();
    void promptGoesWithTheMainWindow();
};

void TstForm2::cleanup()
{
    // Later tests must not meet a window left active by an earlier one.
    for (QWidget *w : QApplication::topLevelWidgets())
        w->hide();
}

void TstForm2::enter_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<int>("messages");
    QTest::addColumn<QString>("textAfter");

    const QList<Entry> e = standardEntries;
    const int ret = Qt::Key_Return;
    const int none = int(Qt::NoModifier);
    const QString nul; // count taken from the entries

    QTest::newRow("keyword as stored")
        << e << nul << "notes" << ret << none << QStringList{"open:/usr/bin/notes"} << 0 << "";
    QTest::newRow("upper case typed")
        << e << nul << "NOTES" << ret << none << QStringList{"open:/usr/bin/notes"} << 0 << "";
    QTest::newRow("web address to the browser, unchanged")
        << e << nul << "web" << ret << none << QStringList{"url:https://example.org/a b"} << 0
        << "";
    QTest::newRow("ftp address to the browser")
        << e << nul << "Files" << ret << none << QStringList{"url:ftp://example.org"} << 0 << "";
    QTest::newRow("leading space")
        << e << nul << " notes" << ret << none << QStringList{} << 1 << "";
    QTest::newRow("trailing space")
        << e << nul << "notes " << ret << none << QStringList{} << 1 << "";
    QTest::newRow("empty text opens the entry without keyword")
        << e << nul << "" << ret << none << QStringList{"open:/opt/hotkey-only"} << 0 << "";
    QTest::newRow("empty text, no entry without keyword")
        << e.mid(0, 3) << nul << "" << ret << none << QStringList{} << 1 << "";
    QTest::newRow("same keyword twice: first only")
        << QList<Entry>{{"A", "dup", "/first"}, {"B", "DUP", "/second"}} << nul << "Dup" << ret
        << none << QStringList{"open:/first"} << 0 << "";
    QTest::newRow("no entries: count 0, text stays")
        << e << "0"
        << "notes" << ret << none << QStringList{} << 0 << "notes";
    QTest::newRow("no entries: empty count, text stays")
        << e << ""
        << "notes" << ret << none << QStringList{} << 0 << "notes";
    QTest::newRow("keypad Enter") << e << nul << "notes" << int(Qt::Key_Enter)
                                  << int(Qt::KeypadModifier) << QStringList{"open:/usr/bin/notes"}
                                  << 0 << "";
    QTest::newRow("Shift+Enter") << e << nul << "notes" << ret << int(Qt::ShiftModifier)
                                 << QStringList{"open:/usr/bin/notes"} << 0 << "";
    QTest::newRow("Ctrl+Alt+Enter")
        << e << nul << "notes" << ret << int(Qt::ControlModifier | Qt::AltModifier)
        << QStringList{"open:/usr/bin/notes"} << 0 << "";
}

void TstForm2::enter()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QString, count);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QStringList, opened);
    QFETCH(int, messages);
    QFETCH(QString, textAfter);

    Fixture fx;
    setEntries(fx.f, entries, count);
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, typed);
    QCOMPARE(p->Text1->text(), typed);
    QTest::keyClick(p->Text1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QVERIFY(!p->isVisible());
    QCOMPARE(fx.shell->log(), opened);
    QCOMPARE(fx.dialogs->messages.size(), messages);
    QCOMPARE(p->Text1->text(), textAfter);
}

void TstForm2::failedActionIsTold()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    fx.shell->answer = false;
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, "notes");
    QTest::keyClick(p->Text1, Qt::Key_Return);
    QCOMPARE(fx.dialogs->messages.size(), 1);
    QCOMPARE(fx.dialogs->messages.first().text,
             launchFailedMessage("/usr/bin/notes", fx.shell->refusal));
}

const QList<Entry> suggestingEntries =
    standardEntries +
    QList<Entry>{{"G", "nets", "/usr/bin/nets"}, {"", "s", "https://s.example/?q={query}"}};

void TstForm2::suggestionKeys_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<int>("messages");
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<int>("rowsShown"); // -1: the prompt is hidden

    const int down = Qt::Key_Down, up = Qt::Key_Up, ret = Qt::Key_Return, tab = Qt::Key_Tab,
              esc = Qt::Key_Escape;
    QTest::newRow("typing lists the rows") << "n" << QList<int>{} << QStringList{} << 0 << "n" << 2;
    QTest::newRow("Down, Enter opens the first row")
        << "n" << QList<int>{down, ret} << QStringList{"open:/usr/bin/notes"} << 0 << "" << -1;
    QTest::newRow("Down, Down, Up, Down: the second row")
        << "n" << QList<int>{down, down, up, down, ret} << QStringList{"open:/usr/bin/nets"} << 0
        << "" << -1;
    QTest::newRow("Up from the first row gives the choice up: the old rule")
        << "n" << QList<int>{down, up, ret} << QStringList{} << 1 << "" << -1;
    QTest::newRow("a listed row without Down: the old rule")
        << "not" << QList<int>{ret} << QStringList{} << 1 << "" << -1;
    QTest::newRow("Tab completes the first row")
        << "n" << QList<int>{tab} << QStringList{} << 0 << "notes" << 1;
    QTest::newRow("Tab completes the highlighted row")
        << "n" << QList<int>{down, down, tab} << QStringList{} << 0 << "nets" << 1;
    QTest::newRow("Escape hides the list, the prompt stays")
        << "n" << QList<int>{esc} << QStringList{} << 0 << "n" << 0;
    QTest::newRow("Escape gives the choice up")
        << "n" << QList<int>{down, esc, ret} << QStringList{} << 1 << "" << -1;
    QTest::newRow("Down brings the list back")
        << "n" << QList<int>{esc, down, down, ret} << QStringList{"open:/usr/bin/nets"} << 0 << ""
        << -1;
    QTest::newRow("Enter on a query")
        << "S a&b" << QList<int>{ret} << QStringList{"url:https://s.example/?q=a%26b"} << 0 << ""
        << -1;
}

void TstForm2::suggestionKeys()
{
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    QFETCH(QStringList, opened);
    QFETCH(int, messages);
    QFETCH(QString, textAfter);
    QFETCH(int, rowsShown);

    Fixture fx;
    setEntries(fx.f, suggestingEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, typed);
    for (int k : keys)
        QTest::keyClick(p->Text1, Qt::Key(k));

    QCOMPARE(fx.shell->log(), opened);
    QCOMPARE(fx.dialogs->messages.size(), messages);
    QCOMPARE(p->Text1->text(), textAfter);
    QCOMPARE(p->isVisible() ? (p->List1->isVisible() ? p->List1->topLevelItemCount() : 0) : -1,
             rowsShown);
    if (p->isVisible())
        QCOMPARE(QApplication::focusWidget(), p->Text1);
}

void TstForm2::listUnderTheTextBox()
{
    Fixture fx;
    setEntries(fx.f, suggestingEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    QFont big = p->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    p->setFont(big);
    const QSize strip = p->size();
    QTest::keyClicks(p->Text1, "s rust");

    QTreeWidgetItem *row = p->List1->topLevelItem(0);
    QVERIFY(p->List1->isVisible() && row);
    QCOMPARE(QStringList({row->text(0), row->text(1), row->text(2)}),
             QStringList({"s", "https://s.example/?q=rust", ""}));
    QCOMPARE(p->List1->font(), big);
    QCOMPARE(p->List1->geometry(),
             QRect(0, strip.height(), strip.width(), p->height() - strip.height()));
    QVERIFY(p->List1->visualItemRect(row).height() > 0);
    QVERIFY(p->List1->visualItemRect(row).bottom() < p->List1->viewport()->height());

    // Hidden with the prompt; shown again, the prompt is the strip until the next key.
    p->hide();
    QVERIFY(fx.open());
    QVERIFY(p->List1->isHidden());
    QCOMPARE(p->size(), strip);
}

void TstForm2::unknownKeywordMessage()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, "nope");
    QTest::keyClick(p->Text1, Qt::Key_Return);

    QCOMPARE(fx.dialogs->messages.size(), 1);
    const auto &m = fx.dialogs->messages.first();
    QCOMPARE(m.text, QStringLiteral("The Keyword you entered doesn't exist!"));
    QCOMPARE(m.kind, fake::ScriptedDialogs::Message::Error);
    QVERIFY(!fx.dialogs->promptVisible);
    QCOMPARE(fx.dialogs->textWhileShown, QStringLiteral("nope"));
    QCOMPARE(p->Text1->text(), QString());
    QVERIFY(fx.shell->calls.isEmpty());
}

void TstForm2::entryAddedWhileHidden()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, "mail");
    QTest::keyClick(p->Text1, Qt::Key_Return);
    QCOMPARE(fx.dialogs->messages.size(), 1);

    setEntries(fx.f, standardEntries + QList<Entry>{{"M", "Mail", "/usr/bin/mail"}});
    QCOMPARE(fx.open(), p);
    QTest::keyClicks(p->Text1, "mail");
    QTest::keyClick(p->Text1, Qt::Key_Return);
    QCOMPARE(fx.dialogs->messages.size(), 1);
    QCOMPARE(fx.shell->log(), QStringList{"open:/usr/bin/mail"});
}

void TstForm2::entriesRemovedWhileHidden()
{
    // From entries to none and back: the flag follows every activation.
    Fixture fx;
    setEntries(fx.f, {});
    Form2 *p = fx.open();
    QVERIFY(p);
    QVERIFY(!p->hasEntries());
    p->hide();

    setEntries(fx.f, standardEntries);
    QVERIFY(fx.open());
    QVERIFY(p->hasEntries());
    p->hide();

    setEntries(fx.f, standardEntries, QStringLiteral("0"));
    QVERIFY(fx.open());
    QVERIFY(!p->hasEntries());
    QTest::keyClicks(p->Text1, "notes");
    QTest::keyClick(p->Text1, Qt::Key_Return);
    QVERIFY(fx.shell->calls.isEmpty());
    QVERIFY(fx.dialogs->messages.isEmpty());
}

void TstForm2::escapeAndOtherKeysKeepThePrompt()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, "zq");
    for (Qt::Key k : {Qt::Key_Escape, Qt::Key_Tab, Qt::Key_F4, Qt::Key_Up}) {
        QTest::keyClick(p->Text1, k);
        QTest::qWait(60); // longer than a timer tick
        QVERIFY2(p->isVisible(), qPrintable(QKeySequence(k).toString()));
    }
    QTest::keyClick(p, Qt::Key_Escape);
    QTest::qWait(60);
    QVERIFY(p->isVisible());
    QVERIFY(p->isActiveWindow());
    QCOMPARE(p->Text1->text(), QStringLiteral("zq"));
    QVERIFY(fx.shell->calls.isEmpty());
    QVERIFY(fx.dialogs->messages.isEmpty());
}

void TstForm2::abandonedTextStays()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    QTest::keyClicks(p->Text1, "half");

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTRY_VERIFY(!p->isVisible());

    QCOMPARE(fx.open(), p);
    QCOMPARE(p->Text1->text(), QStringLiteral("half"));
    QVERIFY(p->Text1->hasFocus());
}

void TstForm2::otherWindowOfOursHidesAtOnce()
{
    // Focus moving to another window of the program hides the prompt without waiting for a
    // timer tick.
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    p->Timer1.stop();

    fx.f.mainWindow().show();
    fx.f.mainWindow().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&fx.f.mainWindow()));
    QVERIFY(!p->isVisible());
}

void TstForm2::timerHidesWhenNoWindowIsActive()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    // Take the focus handling out so that only the timer can hide the prompt.
    p->Text1->removeEventFilter(p);

    // Another window of ours active (a message box, the main window): the timer keeps it.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTest::qWait(120);
    QVERIFY(p->isVisible());

    // No window of ours active: the next tick hides it.
    other.hide();
    // Deprecated since Qt 6.5 with no replacement that deactivates every window offscreen.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(nullptr);
    QT_WARNING_POP
    QCOMPARE(QApplication::activeWindow(), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!p->isVisible(), 200);
    // Hidden, the timer rests (there is nothing to hide) and runs again with the next show.
    QVERIFY(!p->Timer1.isActive());
    fx.f.qlauncher_Click();
    QVERIFY(p->isVisible());
    QVERIFY(p->Timer1.isActive());
}

void TstForm2::timerStartsWithFirstActivation()
{
    Fixture fx;
    Form2 p(fx.f.store().tables, *fx.shell, *fx.dialogs, *fx.fp.windowFocus);
    QCOMPARE(p.Timer1.interval(), 40);
    QVERIFY(!p.Timer1.isActive());
    p.show();
    p.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p));
    QVERIFY(p.Timer1.isActive());
}

void TstForm2::singleInstance()
{
    Fixture fx;
    setEntries(fx.f, standardEntries);
    Form2 *p = fx.open();
    QVERIFY(p);
    const QPoint placed = p->pos();
    p->move(placed + QPoint(7, 3)); // the position is computed once only
    p->hide();
    QCOMPARE(fx.open(), p);
    fx.f.qlauncher_Click(); // again while shown, as a held F7 does
    QCOMPARE(fx.f.prompt(), p);
    QCOMPARE(p->pos(), placed + QPoint(7, 3));
    int prompts = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        prompts += w->objectName() == QLatin1String("Form2");
    QCOMPARE(prompts, 1);
}

void TstForm2::windowDesign()
{
    Fixture fx;
    Form2 *p = fx.open();
    QVERIFY(p);
    QCOMPARE(p->windowTitle(), QStringLiteral("Dudud Adadadiz"));
    QVERIFY(!p->windowIcon().isNull());
    QVERIFY(p->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(p->size(), QSize(309, 19));
    QCOMPARE(p->Text1->objectName(), QStringLiteral("Text1"));
    QCOMPARE(p->Text1->geometry(), QRect(0, 0, 309, 19));
    QCOMPARE(p->Text1->toolTip(), QStringLiteral("Type the keyword here, then press Enter."));
    QCOMPARE(p->Text1->text(), QString());
    QCOMPARE(p->findChildren<QLineEdit *>().size(), 1);
    QCOMPARE(p->Timer1.objectName(), QStringLiteral("Timer1"));
    QVERIFY(p->Text1->hasFocus());
}

void TstForm2::centredOnTheScreenWithThePointer()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        QSKIP("needs the two offscreen screens that main() configures");
    for (QScreen *scr : screens) {
        Fixture fx;
        QCursor::setPos(scr->geometry().center());
        Form2 *p = fx.open();
        QVERIFY(p);
        const QRect sg = scr->geometry();
        const QRect g = p->frameGeometry();
        QVERIFY2(sg.contains(g), qPrintable(scr->name()));
        // Centred within a pixel: the halves of odd sizes are cut.
        QVERIFY(qAbs((g.left() - sg.left()) - (sg.right() - g.right())) <= 1);
        QVERIFY(qAbs((g.top() - sg.top()) - (sg.bottom() - g.bottom())) <= 1);
    }
}

void TstForm2::activationHelperIdleOffX11()
{
    QWidget w;
    w.show();
    const std::unique_ptr<platform::WindowFocus> focus = platform::createWindowFocus();
    QCOMPARE(focus->activate(&w), false);
    QCOMPARE(focus->focusOwner(&w), platform::FocusOwner::Unknown);
}

void TstForm2::promptGoesWithTheMainWindow()
{
    QPointer<Form2> p;
    {
        Fixture fx;
        p = fx.open();
        QVERIFY(p);
    }
    QVERIFY(p.isNull());
}

// Two screens side by side, so that the pointer decides where the prompt appears.
int main(int argc, char **argv)
{
    QTemporaryDir dir;
    if (qgetenv("QT_QPA_PLATFORM").startsWith("offscreen") && dir.isValid()) {
        const QString path = dir.filePath(QStringLiteral("screens.json"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": false,
                "screens": [
                  {"name": "left", "x": 0, "y": 0, "width": 1024, "height": 768,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
                  {"name": "right", "x": 1024, "y": 0, "width": 1281, "height": 1025,
                   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
            f.close();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
        }
    }
    QApplication app(argc, argv);
    TstForm2 t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_form2.moc"
