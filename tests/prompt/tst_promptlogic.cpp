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
    void fillQuery_data();
    void fillQuery();
    void suggest_data();
    void suggest();
    void moveHighlight();
    void indexFollowsChangedCopies();
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

    const QStringList qkw{"w", "w rust", "notes", ""};
    const QStringList qact{"http://s/?q={query}", "/exact", "/n {query}", "/e {query}"};
    QTest::newRow("query after keyword and space")
        << "W rust lang" << qkw << qact << true << open << 1 << "http://s/?q=rust%20lang";
    QTest::newRow("a keyword typed whole wins over a query")
        << "w RUST" << qkw << qact << true << open << 2 << "/exact";
    QTest::newRow("keyword alone: empty query")
        << "w" << qkw << qact << true << open << 1 << "http://s/?q=";
    QTest::newRow("keyword and a space: empty query")
        << "notes " << qkw << qact << true << open << 3 << "/n \"\"";
    QTest::newRow("no space after the keyword")
        << "notesx" << qkw << qact << true << missing << 0 << "";
    QTest::newRow("an entry without keyword takes no query")
        << " x" << qkw << qact << true << missing << 0 << "";
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

void TstPromptLogic::fillQuery_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("filled");

    QTest::newRow("web: space, &, non-ASCII, every mark")
        << "https://s/{query}?q={query}" << QStringLiteral("a b&é")
        << "https://s/a%20b%26%C3%A9?q=a%20b%26%C3%A9";
    QTest::newRow("web: reserved characters encoded") << "FTP://s/{query}"
                                                      << "/?#+%~._-"
                                                      << "FTP://s/%2F%3F%23%2B%25~._-";
    QTest::newRow("web: empty query") << "http://s/?q={query}"
                                      << ""
                                      << "http://s/?q=";
    QTest::newRow("program: one quoted word, specials escaped")
        << "/bin/grep {query} -r" << QStringLiteral("it's \"$x\" `y` \\ é & z")
        << QStringLiteral("/bin/grep \"it's \\\"\\$x\\\" \\`y\\` \\\\ é & z\" -r");
    QTest::newRow("program: empty query") << "/bin/find {query}"
                                          << ""
                                          << "/bin/find \"\"";
    QTest::newRow("no mark: unchanged") << "http://s/{QUERY}"
                                        << "a b"
                                        << "http://s/{QUERY}";
}

void TstPromptLogic::fillQuery()
{
    QFETCH(QString, action);
    QFETCH(QString, query);
    QFETCH(QString, filled);
    QCOMPARE(::fillQuery(action, query), filled);
}

void TstPromptLogic::suggest_data()
{
    // Rows expected as "entry number:action:completion".
    QTest::addColumn<QStringList>("keywords");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("rows");

    const QStringList kw{
        "notes", "Notebook", "nts", "mynotes", "", "NOTES2", QStringLiteral("émile")};
    const QStringList act{"/1", "/2", "/3", "/4", "/5", "/6", "/7"};
    QTest::newRow("exact, then letters in order, entry order within")
        << kw << act << "nts"
        << QStringList{"3:/3:nts", "1:/1:notes", "4:/4:mynotes", "6:/6:NOTES2"};
    QTest::newRow("prefix before letters in order, any case")
        << kw << act << "NOTE"
        << QStringList{"1:/1:notes", "2:/2:Notebook", "6:/6:NOTES2", "4:/4:mynotes"};
    QTest::newRow("exact before prefix")
        << kw << act << "notes" << QStringList{"1:/1:notes", "6:/6:NOTES2", "4:/4:mynotes"};
    QTest::newRow("non-ASCII letters fold")
        << kw << act << QStringLiteral("ÉMI") << QStringList{QStringLiteral("7:/7:émile")};
    QTest::newRow("empty text: none") << kw << act << "" << QStringList{};
    QTest::newRow("letters out of order: none") << kw << act << "stn" << QStringList{};

    QStringList many, manyAct, first8;
    for (int i = 1; i <= 10; ++i) {
        many << QStringLiteral("a%1").arg(i);
        manyAct << QStringLiteral("/%1").arg(i);
        if (i <= 8)
            first8 << QStringLiteral("%1:/%1:a%1").arg(i);
    }
    QTest::newRow("at most 8 rows") << many << manyAct << "a" << first8;

    const QStringList qkw{"w", "wiki", "notes"};
    const QStringList qact{"http://s/?q={query}", "/wiki {query}", "/notes"};
    QTest::newRow("query with text: filled, completion keeps it")
        << qkw << qact << "W r s" << QStringList{"1:http://s/?q=r%20s:w r s"};
    QTest::newRow("query entry without text: empty query, completion with a space")
        << qkw << qact << "w" << QStringList{"1:http://s/?q=:w ", "2:/wiki \"\":wiki "};
    QTest::newRow("a space after a keyword without query: none")
        << qkw << qact << "notes x" << QStringList{};
}

void TstPromptLogic::suggest()
{
    QFETCH(QStringList, keywords);
    QFETCH(QStringList, actions);
    QFETCH(QString, typed);
    QFETCH(QStringList, rows);
    QStringList got;
    for (const PromptSuggestion &s : ::suggest(typed, keywords, actions))
        got << QStringLiteral("%1:%2:%3").arg(s.index + 1).arg(s.action, s.completion);
    QCOMPARE(got, rows);
}

void TstPromptLogic::moveHighlight()
{
    // {current, rows, step, expected}
    const int cases[][4] = {{-1, 3, 1, 0}, {0, 3, 1, 1},   {2, 3, 1, 2},   {-1, 3, -1, 2},
                            {2, 3, -1, 1}, {0, 3, -1, -1}, {-1, 0, 1, -1}, {5, 3, 0, 2}};
    for (const auto &c : cases)
        QCOMPARE(::moveHighlight(c[0], c[1], c[2]), c[3]);
}

void TstPromptLogic::indexFollowsChangedCopies()
{
    QStringList kw{"notes", "mail"};
    const QStringList act{"/n", "/m"};
    PromptKeywordIndex index;
    index.update(kw);
    QCOMPARE(::suggest("ma", index, kw, act).value(0).index, 1);
    kw[1] = QStringLiteral("web"); // a reload: same size, other keywords
    index.update(kw);
    QVERIFY(::suggest("ma", index, kw, act).isEmpty());
    QCOMPARE(::suggest("we", index, kw, act).value(0).index, 1);
}

QTEST_GUILESS_MAIN(TstPromptLogic)
#include "tst_promptlogic.moc"
