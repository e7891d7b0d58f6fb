#include "prompt/rules/promptlogic.h"

#include <QtTest>

class TstPromptLogic : public QObject
{
    Q_OBJECT
private slots:
    void decideEnter_data();
    void decideEnter();
    void timerShouldHide_data();
    void timerShouldHide();
};

void TstPromptLogic::decideEnter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("keywords");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<bool>("entries");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("action");

    const QStringList kw{"notes", "Web", "MAIL"};
    const QStringList act{"/usr/bin/notes", "https://example.org", "/usr/bin/mail"};
    const int open = PromptDecision::Open;
    const int missing = PromptDecision::NotFound;
    const int none = PromptDecision::NoEntries;

    QTest::newRow("same case") << "notes" << kw << act << true << open << 1 << "/usr/bin/notes";
    QTest::newRow("typed upper, stored lower")
        << "NOTES" << kw << act << true << open << 1 << "/usr/bin/notes";
    QTest::newRow("typed lower, stored mixed")
        << "web" << kw << act << true << open << 2 << "https://example.org";
    QTest::newRow("typed mixed, stored upper")
        << "mAiL" << kw << act << true << open << 3 << "/usr/bin/mail";
    QTest::newRow("leading space") << " notes" << kw << act << true << missing << 0 << "";
    QTest::newRow("trailing space") << "notes " << kw << act << true << missing << 0 << "";
    QTest::newRow("prefix of a keyword") << "note" << kw << act << true << missing << 0 << "";
    QTest::newRow("keyword plus more") << "notesx" << kw << act << true << missing << 0 << "";
    QTest::newRow("empty text, no empty keyword") << "" << kw << act << true << missing << 0 << "";
    QTest::newRow("empty text opens the entry without keyword")
        << "" << QStringList{"notes", "", ""} << QStringList{"/a", "/b", "/c"} << true << open << 2
        << "/b";
    QTest::newRow("same keyword twice: lower index only")
        << "dup" << QStringList{"x", "dup", "DUP"} << QStringList{"/x", "/first", "/second"} << true
        << open << 2 << "/first";
    QTest::newRow("no entries, keyword present")
        << "notes" << kw << act << false << none << 0 << "";
    QTest::newRow("no entries, empty tables")
        << "" << QStringList{} << QStringList{} << false << none << 0 << "";
    QTest::newRow("accented letters fold too")
        << QStringLiteral("émile") << QStringList{QStringLiteral("ÉMILE")} << QStringList{"/e"}
        << true << open << 1 << "/e";
    QTest::newRow("action table shorter than keywords")
        << "b" << QStringList{"a", "b"} << QStringList{"/a"} << true << open << 2 << "";
}

void TstPromptLogic::decideEnter()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, keywords);
    QFETCH(QStringList, actions);
    QFETCH(bool, entries);
    QFETCH(int, kind);
    QFETCH(int, entry);
    QFETCH(QString, action);

    const PromptDecision d = ::decideEnter(typed, keywords, actions, entries);
    QCOMPARE(int(d.kind), kind);
    QCOMPARE(d.entry, entry);
    QCOMPARE(d.action, action);
}

void TstPromptLogic::timerShouldHide_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("awaiting");
    QTest::addColumn<qint64>("sinceShown");
    QTest::addColumn<bool>("hide");

    QTest::newRow("a window of ours is active") << true << false << qint64(5000) << false;
    QTest::newRow("active while awaiting") << true << true << qint64(0) << false;
    QTest::newRow("user turned away") << false << false << qint64(5000) << true;
    QTest::newRow("just shown, not yet activated") << false << true << qint64(0) << false;
    QTest::newRow("still within the grace")
        << false << true << qint64(PromptActivationGraceMs - 1) << false;
    QTest::newRow("activation never came")
        << false << true << qint64(PromptActivationGraceMs) << true;
    QTest::newRow("show time unknown") << false << true << qint64(-1) << false;
}

void TstPromptLogic::timerShouldHide()
{
    QFETCH(bool, active);
    QFETCH(bool, awaiting);
    QFETCH(qint64, sinceShown);
    QFETCH(bool, hide);
    QCOMPARE(::timerShouldHide(active, awaiting, sinceShown), hide);
}

QTEST_GUILESS_MAIN(TstPromptLogic)
#include "tst_promptlogic.moc"
