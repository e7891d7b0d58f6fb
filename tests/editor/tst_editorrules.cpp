#include "editor/editorrules.h"
#include "entries/entrytables.h"
#include "platform/fake/fakeprofile.h"

#include <QTest>

using editor::EntryFields;
using editor::Refusal;
using editor::Write;
using editor::WritePlan;

Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(editor::WritePlan)

namespace {

// Entries as "keyword|hotkey|action" texts, numbered from 1.
void fill(EntryTables &t, const QString &s, const QStringList &entries)
{
    t.s = s;
    for (const QString &e : entries) {
        const QStringList parts = e.split(QLatin1Char('|'));
        t.Keyword << parts.at(0);
        t.Hotkey << parts.at(1);
        t.Action << parts.at(2);
    }
}

Write w(const char *section, const char *key, const QString &value)
{
    return {QString::fromLatin1(section), QString::fromLatin1(key), value};
}

} // namespace

class TestEditorRules : public QObject
{
    Q_OBJECT
private slots:
    void hotkeyIndexOf_data();
    void hotkeyIndexOf();
    void validate_data();
    void validate();
    void validateTurnsEmptyCountIntoZero();
    void parseCount_data();
    void parseCount();
    void removePlan_data();
    void removePlan();
    void applyPlanWritesOneGroupInOrder();
    void applyPlanFailureWritesNothing_data();
    void applyPlanFailureWritesNothing();
    void rowAfterRemove_data();
    void rowAfterRemove();
};

void TestEditorRules::hotkeyIndexOf_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("upper letter") << "N" << 24;
    QTest::newRow("lower letter") << "n" << 24;
    QTest::newRow("lower function key") << "f5" << 41;
    QTest::newRow("F1 is not F10") << "F1" << 37;
    QTest::newRow("F12") << "F12" << 48;
    QTest::newRow("zero") << "0" << 10;
    QTest::newRow("the word None is no hotkey") << "None" << 0;
    QTest::newRow("lower none") << "none" << 0;
    QTest::newRow("hand-edited F13") << "F13" << 0;
    QTest::newRow("with a space") << " N" << 0;
    QTest::newRow("two letters") << "AB" << 0;
}

void TestEditorRules::hotkeyIndexOf()
{
    QFETCH(QString, stored);
    QFETCH(int, index);
    QCOMPARE(editor::hotkeyIndexOf(stored), index);
}

void TestEditorRules::validate_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("addMode");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("hotkey");
    QTest::addColumn<int>("editIndex");
    QTest::addColumn<Refusal>("expected");

    const QStringList two{"notes|N|C:/notes.txt", "calc||/usr/bin/calc"};
    const int N = 24, F5 = 41;

    QTest::newRow("all empty: the action is tested first") << "2" << two << true << ""
                                                           << "" << 0 << 0 << Refusal::NoAction;
    QTest::newRow("no action with a repeated keyword and hotkey")
        << "2" << two << true << ""
        << "notes" << N << 0 << Refusal::NoAction;
    QTest::newRow("no keyword, no hotkey") << "2" << two << true << "x"
                                           << "" << 0 << 0 << Refusal::NoKeywordOrHotkey;
    QTest::newRow("spaces are an action") << "2" << two << true << "   "
                                          << "k" << 0 << 0 << Refusal::None;
    QTest::newRow("repeated action beats repeated keyword")
        << "2" << two << true << "C:/notes.txt"
        << "notes" << N << 0 << Refusal::ActionRepeat;
    QTest::newRow("repeated action alone") << "2" << two << true << "C:/notes.txt"
                                           << "other" << F5 << 0 << Refusal::ActionRepeat;
    QTest::newRow("action differing in case is new") << "2" << two << true << "c:/NOTES.txt"
                                                     << "x" << 0 << 0 << Refusal::None;
    QTest::newRow("repeated keyword beats repeated hotkey")
        << "2" << two << true << "new"
        << "calc" << N << 0 << Refusal::KeywordRepeat;
    QTest::newRow("keyword differing in case is new") << "2" << two << true << "new"
                                                      << "Notes" << 0 << 0 << Refusal::None;
    QTest::newRow("repeated hotkey") << "2" << two << true << "new"
                                     << "fresh" << N << 0 << Refusal::HotkeyRepeat;
    QTest::newRow("second entry without keyword") << "2" << two << true << "new"
                                                  << "" << F5 << 0 << Refusal::None;
    QTest::newRow("None is never a repeat") << "2" << two << true << "new"
                                            << "fresh" << 0 << 0 << Refusal::None;
    QTest::newRow("entries beyond the count are not compared")
        << "1" << two << true << "/usr/bin/calc"
        << "calc" << 0 << 0 << Refusal::None;
    QTest::newRow("no file yet") << "" << QStringList() << true << "a"
                                 << "b" << 0 << 0 << Refusal::None;
    QTest::newRow("count is text") << "abc" << two << true << "new"
                                   << "fresh" << 0 << 0 << Refusal::CountNotANumber;
    QTest::newRow("count is negative") << "-3" << two << true << "new"
                                       << "fresh" << 0 << 0 << Refusal::CountNotANumber;
    QTest::newRow("count too large") << "40000" << two << true << "new"
                                     << "fresh" << 0 << 0 << Refusal::CountNotANumber;
    QTest::newRow("list full") << "32767" << two << true << "new"
                               << "fresh" << 0 << 0 << Refusal::ListFull;
    QTest::newRow("modify: repeats are allowed") << "2" << two << false << "C:/notes.txt"
                                                 << "notes" << N << 2 << Refusal::None;
    QTest::newRow("modify: empty action still refused") << "2" << two << false << ""
                                                        << "notes" << N << 1 << Refusal::NoAction;
    QTest::newRow("modify: neither keyword nor hotkey")
        << "2" << two << false << "x"
        << "" << 0 << 1 << Refusal::NoKeywordOrHotkey;
    QTest::newRow("modify: no entry number") << "2" << two << false << "x"
                                             << "k" << 0 << 0 << Refusal::EntryGone;
    QTest::newRow("modify: entry beyond the count") << "2" << two << false << "x"
                                                    << "k" << 0 << 3 << Refusal::EntryGone;
    QTest::newRow("modify: no entries") << "0" << two << false << "x"
                                        << "k" << 0 << 1 << Refusal::EntryGone;
}

void TestEditorRules::validate()
{
    QFETCH(QString, s);
    QFETCH(QStringList, entries);
    QFETCH(bool, addMode);
    QFETCH(QString, action);
    QFETCH(QString, keyword);
    QFETCH(int, hotkey);
    QFETCH(int, editIndex);
    QFETCH(Refusal, expected);

    EntryTables t;
    fill(t, s, entries);
    const EntryFields f{action, keyword, hotkey};
    QCOMPARE(editor::validate(f, addMode, t, editIndex), expected);
}

void TestEditorRules::validateTurnsEmptyCountIntoZero()
{
    // Adding the first entry numbers it from the count, which is "0" by then.
    EntryTables t;
    fill(t, QString(), {});
    QCOMPARE(editor::validate({"a", "b", 0}, true, t), Refusal::None);
    QCOMPARE(t.s, QStringLiteral("0"));
}

void TestEditorRules::parseCount_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<int>("n"); // -1: no number
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("three") << "3" << 3;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("one beyond") << "32768" << -1;
    QTest::newRow("six digits") << "000001" << -1;
    QTest::newRow("sign") << "+3" << -1;
    QTest::newRow("space") << " 3" << -1;
    QTest::newRow("letters") << "abc" << -1;
}

void TestEditorRules::parseCount()
{
    QFETCH(QString, s);
    QFETCH(int, n);
    const std::optional<int> got = editor::parseCount(s);
    if (n < 0)
        QVERIFY(!got.has_value());
    else
        QCOMPARE(got.value_or(-1), n);
}

void TestEditorRules::removePlan_data()
{
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("n");
    QTest::addColumn<WritePlan>("expected");
    // Same ordering as getinfo: entry i is element i - 1.
    QTest::newRow("entry 2 of 3") << 3 << 2
                                  << WritePlan{w("count", "c", "2"), w("2", "Action", "a3"),
                                               w("2", "Hotkey", ""), w("2", "Keyword", "")};
    QTest::newRow("no such entry") << 3 << 4 << WritePlan{};
    QTest::newRow("no entry selected") << 3 << 0 << WritePlan{};
    QTest::newRow("tables shorter than the count") << 4 << 1 << WritePlan{};
}

void TestEditorRules::removePlan()
{
    QFETCH(int, oldCount);
    QFETCH(int, n);
    QFETCH(WritePlan, expected);
    EntryTables t;
    fill(t, QString::number(oldCount), {"k1|A|a1", "k2|B|a2", "||a3"});
    QCOMPARE(editor::removePlan(oldCount, n, t), expected);
}

void TestEditorRules::applyPlanWritesOneGroupInOrder()
{
    fake::MemoryProfile p;
    platform::setProfile(&p);
    const IniWriteResult r = editor::applyPlan(
        "f.ini", {w("count", "c", "2"), w("2", "Action", "line\r\nbreak"), w("2", "Hotkey", "")});
    platform::setProfile(nullptr);
    QVERIFY(r.ok);
    QCOMPARE(p.commits, 1);
    QCOMPARE(p.log,
             QStringList({"f.ini|count|c=2", "f.ini|2|Action=line  break", "f.ini|2|Hotkey="}));
}

void TestEditorRules::applyPlanFailureWritesNothing_data()
{
    QTest::addColumn<bool>("failEachWrite");
    QTest::newRow("a write is refused") << true;
    QTest::newRow("the commit fails") << false;
}

void TestEditorRules::applyPlanFailureWritesNothing()
{
    QFETCH(bool, failEachWrite);
    fake::MemoryProfile p;
    p.seed("f.ini", "count", "c", "1");
    (failEachWrite ? p.failWritesWith : p.failCommitWith) =
        QStringLiteral("No space left on device");
    platform::setProfile(&p);
    const IniWriteResult r = editor::applyPlan("f.ini", editor::addPlan(2, {"a", "k", 0}));
    const bool grouped = p.inGroup();
    platform::setProfile(nullptr);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("No space left on device"));
    QVERIFY(p.log.isEmpty());
    QVERIFY(!grouped);
    QCOMPARE(p.read("f.ini", "count", "c", ""), QStringLiteral("1"));
    QVERIFY(!p.contains("f.ini", "2", "Action"));
}

void TestEditorRules::rowAfterRemove_data()
{
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("row");
    QTest::newRow("first of three: the next takes its place") << 3 << 1 << 1;
    QTest::newRow("middle") << 3 << 2 << 2;
    QTest::newRow("last: the new last") << 3 << 3 << 2;
    QTest::newRow("only") << 1 << 1 << 1;
}

void TestEditorRules::rowAfterRemove()
{
    QFETCH(int, oldCount);
    QFETCH(int, n);
    QFETCH(int, row);
    QCOMPARE(editor::rowAfterRemove(oldCount, n), row);
}

QTEST_GUILESS_MAIN(TestEditorRules)
#include "tst_editorrules.moc"
