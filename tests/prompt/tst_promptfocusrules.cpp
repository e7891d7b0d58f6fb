// The prompt's focus rules against a scripted window system, without a display.

#include "platform/fake/fakeplatform.h"
#include "prompt/rules/promptfocus.h"

#include <QtTest>

using platform::FocusOwner;

Q_DECLARE_METATYPE(FocusOwner)
Q_DECLARE_METATYPE(PromptFocusLoss)

class TstPromptFocusRules : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_ws = fake::ScriptedWindowFocus(); }
    void tick_data();
    void tick();
    void waitForActivationEnds_data();
    void waitForActivationEnds();
    void hiddenPromptAsksNothing();
    void focusLost_data();
    void focusLost();
    void recheck_data();
    void recheck();
    void show_data();
    void show();
    void restoredShowStillAwaits();

private:
    fake::ScriptedWindowFocus m_ws;
};

void TstPromptFocusRules::tick_data()
{
    QTest::addColumn<FocusOwner>("owner");
    QTest::addColumn<bool>("programActive");
    QTest::addColumn<bool>("activated");
    QTest::addColumn<qint64>("msSinceShown");
    QTest::addColumn<bool>("hides");

    const auto F = FocusOwner::Foreign;
    QTest::newRow("fresh show waits within the grace") << F << false << false << 999ll << false;
    QTest::newRow("activation never came") << F << false << false << 1000ll << true;
    QTest::newRow("turned away after the activation") << F << false << true << 10ll << true;
    QTest::newRow("prompt has the keyboard")
        << FocusOwner::Window << false << true << 5000ll << false;
    QTest::newRow("another window of ours has it")
        << FocusOwner::OtherOfOurs << false << true << 5000ll << false;
    QTest::newRow("unknown owner, program active by Qt")
        << FocusOwner::Unknown << true << true << 5000ll << false;
    QTest::newRow("unknown owner, program inactive by Qt")
        << FocusOwner::Unknown << false << true << 5000ll << true;
}

void TstPromptFocusRules::tick()
{
    QFETCH(FocusOwner, owner);
    QFETCH(bool, programActive);
    QFETCH(bool, activated);
    QFETCH(qint64, msSinceShown);
    QFETCH(bool, hides);

    PromptFocus rules(m_ws, nullptr);
    rules.shown(100, false, false);
    if (activated)
        rules.activated();
    m_ws.owner = owner;
    m_ws.active = programActive;
    QCOMPARE(rules.tickHides(100 + msSinceShown, true, false), hides);
}

void TstPromptFocusRules::waitForActivationEnds_data()
{
    QTest::addColumn<FocusOwner>("owner");
    QTest::addColumn<bool>("qtActive");
    QTest::addColumn<bool>("ended");

    QTest::newRow("window system gives the prompt the keyboard")
        << FocusOwner::Window << false << true;
    QTest::newRow("unknown owner, Qt counts the prompt active")
        << FocusOwner::Unknown << true << true;
    QTest::newRow("unknown owner, Qt does not") << FocusOwner::Unknown << false << false;
    QTest::newRow("another window of ours has it") << FocusOwner::OtherOfOurs << true << false;
}

void TstPromptFocusRules::waitForActivationEnds()
{
    // A tick that sees the prompt focused ends the wait even without Qt's activation: the
    // next loss within the grace hides at once.
    QFETCH(FocusOwner, owner);
    QFETCH(bool, qtActive);
    QFETCH(bool, ended);

    PromptFocus rules(m_ws, nullptr);
    rules.shown(0, false, false);
    m_ws.owner = owner;
    m_ws.active = true;
    QVERIFY(!rules.tickHides(10, true, qtActive));
    m_ws.owner = FocusOwner::Foreign;
    QCOMPARE(rules.tickHides(20, true, false), ended);
}

void TstPromptFocusRules::hiddenPromptAsksNothing()
{
    PromptFocus rules(m_ws, nullptr);
    rules.shown(0, false, false);
    rules.activated();
    m_ws.owner = FocusOwner::Foreign;
    QVERIFY(!rules.tickHides(5000, false, false));
    QCOMPARE(m_ws.ownerQueries, 0);
}

void TstPromptFocusRules::focusLost_data()
{
    QTest::addColumn<FocusOwner>("owner");
    QTest::addColumn<bool>("activated");
    QTest::addColumn<Qt::FocusReason>("reason");
    QTest::addColumn<PromptFocusLoss>("loss");

    const auto win = Qt::ActiveWindowFocusReason;
    using L = PromptFocusLoss;
    QTest::newRow("foreign owner while awaiting the activation")
        << FocusOwner::Foreign << false << win << L::Stale;
    QTest::newRow("foreign owner after the activation")
        << FocusOwner::Foreign << true << win << L::Hide;
    QTest::newRow("window system says the prompt has it")
        << FocusOwner::Window << true << win << L::StaleRestore;
    QTest::newRow("another window of ours") << FocusOwner::OtherOfOurs << false << win << L::Hide;
    QTest::newRow("unknown owner") << FocusOwner::Unknown << false << win << L::Hide;
    QTest::newRow("context menu") << FocusOwner::Foreign << true << Qt::PopupFocusReason
                                  << L::KeepForPopup;
    QTest::newRow("only a deactivation can be stale")
        << FocusOwner::Window << true << Qt::OtherFocusReason << L::Hide;
}

void TstPromptFocusRules::focusLost()
{
    QFETCH(FocusOwner, owner);
    QFETCH(bool, activated);
    QFETCH(Qt::FocusReason, reason);
    QFETCH(PromptFocusLoss, loss);

    PromptFocus rules(m_ws, nullptr);
    rules.shown(0, false, false);
    if (activated)
        rules.activated();
    m_ws.owner = owner;
    QCOMPARE(rules.focusLost(reason), loss);
}

void TstPromptFocusRules::recheck_data()
{
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("qtActive");
    QTest::addColumn<FocusOwner>("owner");
    QTest::addColumn<bool>("restores");

    QTest::newRow("Qt still behind the window system")
        << true << false << FocusOwner::Window << true;
    QTest::newRow("hidden meanwhile") << false << false << FocusOwner::Window << false;
    QTest::newRow("Qt caught up") << true << true << FocusOwner::Window << false;
    QTest::newRow("keyboard gone meanwhile") << true << false << FocusOwner::Foreign << false;
}

void TstPromptFocusRules::recheck()
{
    QFETCH(bool, visible);
    QFETCH(bool, qtActive);
    QFETCH(FocusOwner, owner);
    QFETCH(bool, restores);

    PromptFocus rules(m_ws, nullptr);
    m_ws.owner = owner;
    QCOMPARE(rules.recheckRestores(visible, qtActive), restores);
}

void TstPromptFocusRules::show_data()
{
    QTest::addColumn<bool>("windowSystemActive");
    QTest::addColumn<bool>("qtActive");
    QTest::addColumn<bool>("restore");

    QTest::newRow("platform kept the focus over the hide") << true << false << true;
    QTest::newRow("both agree it is active") << true << true << false;
    QTest::newRow("not active anywhere") << false << false << false;
}

void TstPromptFocusRules::show()
{
    QFETCH(bool, windowSystemActive);
    QFETCH(bool, qtActive);
    QFETCH(bool, restore);

    PromptFocus rules(m_ws, nullptr);
    const PromptFocus::ShowPlan first = rules.shown(0, windowSystemActive, qtActive);
    QCOMPARE(first.restoreActive, restore);
    QVERIFY(!first.startTimer); // the timer waits for the first activation
    rules.activated();
    QVERIFY(rules.shown(10, windowSystemActive, qtActive).startTimer);
}

void TstPromptFocusRules::restoredShowStillAwaits()
{
    // The restore is an activation of ours, not the window manager's.
    PromptFocus rules(m_ws, nullptr);
    QVERIFY(rules.shown(0, true, false).restoreActive);
    rules.activated();
    rules.restored();
    m_ws.owner = FocusOwner::Foreign;
    QVERIFY(!rules.tickHides(10, true, false));
    QCOMPARE(rules.focusLost(Qt::ActiveWindowFocusReason), PromptFocusLoss::Stale);
}

QTEST_GUILESS_MAIN(TstPromptFocusRules)

#include "tst_promptfocusrules.moc"
