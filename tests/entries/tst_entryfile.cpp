// The writes of the entry file: the count parser, the plans of Add, Modify and Remove, and
// how a plan reaches the profile.

#include "entries/entryfile.h"
#include "entries/entrytables.h"
#include "filltables.h"
#include "platform/fake/fakeprofile.h"

#include <QTest>

using entries::Write;
using entries::WritePlan;

Q_DECLARE_METATYPE(entries::WritePlan)

namespace {

Write w(const char *section, const char *key, const QString &value)
{
    return {QString::fromLatin1(section), QString::fromLatin1(key), value};
}

} // namespace

class TstEntryFile : public QObject
{
    Q_OBJECT
private slots:
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

void TstEntryFile::parseCount_data()
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

void TstEntryFile::parseCount()
{
    QFETCH(QString, s);
    QFETCH(int, n);
    const std::optional<int> got = entries::parseCount(s);
    if (n < 0)
        QVERIFY(!got.has_value());
    else
        QCOMPARE(got.value_or(-1), n);
}

void TstEntryFile::removePlan_data()
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

void TstEntryFile::removePlan()
{
    QFETCH(int, oldCount);
    QFETCH(int, n);
    QFETCH(WritePlan, expected);
    EntryTables t;
    fill(t, QString::number(oldCount), {"k1|A|a1", "k2|B|a2", "||a3"});
    QCOMPARE(entries::removePlan(oldCount, n, t), expected);
}

void TstEntryFile::applyPlanWritesOneGroupInOrder()
{
    fake::MemoryProfile p;
    const platform::WriteResult r = entries::applyPlan(
        p, "f.ini", {w("count", "c", "2"), w("2", "Action", "line\r\nbreak"), w("2", "Hotkey", "")});
    QVERIFY(r.ok);
    QCOMPARE(p.commits, 1);
    QCOMPARE(p.log,
             QStringList({"f.ini|count|c=2", "f.ini|2|Action=line  break", "f.ini|2|Hotkey="}));
}

void TstEntryFile::applyPlanFailureWritesNothing_data()
{
    QTest::addColumn<bool>("failEachWrite");
    QTest::newRow("a write is refused") << true;
    QTest::newRow("the commit fails") << false;
}

void TstEntryFile::applyPlanFailureWritesNothing()
{
    QFETCH(bool, failEachWrite);
    fake::MemoryProfile p;
    p.seed("f.ini", "count", "c", "1");
    (failEachWrite ? p.failWritesWith : p.failCommitWith) =
        QStringLiteral("No space left on device");
    const platform::WriteResult r =
        entries::applyPlan(p, "f.ini", entries::addPlan(2, {"a", "", "k"}));
    const bool grouped = p.inGroup();
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("No space left on device"));
    QVERIFY(p.log.isEmpty());
    QVERIFY(!grouped);
    QCOMPARE(p.read("f.ini", "count", "c", ""), QStringLiteral("1"));
    QVERIFY(!p.contains("f.ini", "2", "Action"));
}

void TstEntryFile::rowAfterRemove_data()
{
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("row");
    QTest::newRow("first of three: the next takes its place") << 3 << 1 << 1;
    QTest::newRow("middle") << 3 << 2 << 2;
    QTest::newRow("last: the new last") << 3 << 3 << 2;
    QTest::newRow("only") << 1 << 1 << 1;
}

void TstEntryFile::rowAfterRemove()
{
    QFETCH(int, oldCount);
    QFETCH(int, n);
    QFETCH(int, row);
    QCOMPARE(entries::rowAfterRemove(oldCount, n), row);
}

QTEST_GUILESS_MAIN(TstEntryFile)
#include "tst_entryfile.moc"
