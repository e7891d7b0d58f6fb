#include "editor/rules/editorrules.h"
#include "entries/entrytables.h"
#include "filltables.h"

#include <QTest>

using editor::EntryFields;
using editor::Refusal;

Q_DECLARE_METATYPE(Refusal)

class TstEditorRules : public QObject
{
    Q_OBJECT
private slots:
    void hotkeyIndexOf_data();
    void hotkeyIndexOf();
    void validate_data();
    void validate();
    void validateTurnsEmptyCountIntoZero();
};

void TstEditorRules::hotkeyIndexOf_data()
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

void TstEditorRules::hotkeyIndexOf()
{
    QFETCH(QString, stored);
    QFETCH(int, index);
    QCOMPARE(editor::hotkeyIndexOf(stored), index);
}

void TstEditorRules::validate_data()
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

void TstEditorRules::validate()
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

void TstEditorRules::validateTurnsEmptyCountIntoZero()
{
    // Adding the first entry numbers it from the count, which is "0" by then.
    EntryTables t;
    fill(t, QString(), {});
    QCOMPARE(editor::validate({"a", "b", 0}, true, t), Refusal::None);
    QCOMPARE(t.s, QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(TstEditorRules)
#include "tst_editorrules.moc"
