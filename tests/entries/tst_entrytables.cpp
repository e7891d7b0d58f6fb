// The entry store over a real entry file: ini_read/ini_write, getinfo and the tables, the
// check procedures and set_arrays, on the files people actually end up with.

#include "asnobody.h"
#include "entries/entrytables.h"
#include "entries/ini.h"
#include "entries/ini/fileprofile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// One profile for the whole run, as the program has; each test works in a folder of its own.
ini::FileProfile &profile()
{
    static ini::FileProfile p;
    return p;
}
QString g_programDir;
QString entryFile()
{
    return entryFilePath(g_programDir);
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

/// A literal's bytes, NULs included.
template <size_t N> QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, qsizetype(N - 1));
}

QStringList column(EntryListModel *m, int c)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->data(m->index(r, c)).toString();
    return out;
}

/// Writes one entry the way the editor does: Action, Hotkey, Keyword.
void writeEntry(int n, const QString &action, const QString &hotkey, const QString &keyword)
{
    const QString section = QString::number(n);
    QVERIFY(ini_write(profile(), entryFile(), section, "Action", action).ok);
    QVERIFY(ini_write(profile(), entryFile(), section, "Hotkey", hotkey).ok);
    QVERIFY(ini_write(profile(), entryFile(), section, "Keyword", keyword).ok);
}

const QByteArray kTwoEntries = "[count]\nc=2\n[1]\nAction=C:\\Tools\\notes.txt\nHotkey=N\n"
                               "Keyword=notes\n[2]\nAction=C:\\Tools\\calc.exe\nHotkey=\n"
                               "Keyword=calc\n";

} // namespace

class TstEntryTables : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanupTestCase();
    void getinfo_data();
    void getinfo();
    void listColumnsAndReload();
    void countZeroLeavesTablesAlone();
    void checkProcedures_data();
    void checkProcedures();
    void setArraysCopies();
    void countOf_data();
    void countOf();
    void iniWriteKeepsValuesOnOneLine_data();
    void iniWriteKeepsValuesOnOneLine();
    void emptyValueReadsLikeMissingKey();
    void firstEntryCreatesFile();
    void leftOverSectionTakenOver();
    void longActionsWhole_data();
    void longActionsWhole();
    void otherProgramsEditSeenByReload();
    void refusedWriteReported();
    void removePatternInOneGroup();
    void entriesOfAnInstalledCopyLiveInTheConfigFolder_data();
    void entriesOfAnInstalledCopyLiveInTheConfigFolder();
    void entryFileOfEachCopyAndEnvironment_data();
    void entryFileOfEachCopyAndEnvironment();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TstEntryTables::init()
{
    // A folder per test and row: the profile's cache is keyed by path, and a fresh path
    // keeps one case's file from ever being mistaken for another's.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    g_programDir = m_dir->path();
    m_file = m_dir->filePath("DAzad.ini");
    QCOMPARE(entryFile(), m_file);
}

void TstEntryTables::cleanupTestCase()
{
    g_programDir.clear();
}

void TstEntryTables::getinfo_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("s");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("keywords");
    QTest::addColumn<QStringList>("hotkeys");
    QTest::addColumn<QStringList>("shownHotkeys");

    QTest::newRow("no file") << QByteArray() << "" << QStringList() << QStringList()
                             << QStringList() << QStringList();
    QTest::newRow("count 0 with sections present")
        << QByteArray("[count]\nc=0\n[1]\nAction=a\n[2]\nAction=b\n") << "0" << QStringList()
        << QStringList() << QStringList() << QStringList();
    QTest::newRow("two entries") << kTwoEntries << "2"
                                 << QStringList{"C:\\Tools\\notes.txt", "C:\\Tools\\calc.exe"}
                                 << QStringList{"notes", "calc"} << QStringList{"N", ""}
                                 << QStringList{"Ctrl + Shift + N", ""};
    QTest::newRow("count above the sections gives empty rows")
        << QByteArray("[count]\nc=3\n[1]\nAction=a\nKeyword=k\nHotkey=1\n") << "3"
        << QStringList{"a", "", ""} << QStringList{"k", "", ""} << QStringList{"1", "", ""}
        << QStringList{"Ctrl + Shift + 1", "", ""};
    QTest::newRow("left-over section ignored")
        << QByteArray("[count]\nc=1\n[1]\nAction=a\n[2]\nAction=gone\nHotkey=G\n") << "1"
        << QStringList{"a"} << QStringList{""} << QStringList{""} << QStringList{""};
    QTest::newRow("lower-case hotkey shown in capitals")
        << QByteArray("[count]\nc=1\n[1]\nAction=a\nHotkey=f5\n") << "1" << QStringList{"a"}
        << QStringList{""} << QStringList{"f5"} << QStringList{"Ctrl + Shift + F5"};
    for (const char *count : {"abc", "-3", "99999", "32768", "+4", "4.0"}) {
        QTest::newRow(qPrintable(QStringLiteral("count %1 means none").arg(count)))
            << QByteArray("[count]\nc=") + count + "\n[1]\nAction=a\n"
            << QString(count) << QStringList() << QStringList() << QStringList() << QStringList();
    }
    QTest::newRow("count ' 4x' means none")
        << QByteArray("[count]\nc=\" 4x\"\n[1]\nAction=a\n") << " 4x" << QStringList()
        << QStringList() << QStringList() << QStringList();
    QTest::newRow("duplicate sections: the first counts")
        << QByteArray("[count]\nc=1\n[1]\nAction=first\n[count]\nc=5\n[1]\nAction=second\n"
                      "Keyword=second\n")
        << "1" << QStringList{"first"} << QStringList{""} << QStringList{""} << QStringList{""};
    QTest::newRow("names in odd case")
        << QByteArray("[COUNT]\nC=1\n[1]\naCTION=a\nkeyword=k\nHOTKEY=Z\n") << "1"
        << QStringList{"a"} << QStringList{"k"} << QStringList{"Z"}
        << QStringList{"Ctrl + Shift + Z"};
    QTest::newRow("spaces around equals")
        << QByteArray("[count]\n c = 1 \n[1]\n\tAction =  C:\\a b.exe \nKeyword= k\n") << "1"
        << QStringList{"C:\\a b.exe"} << QStringList{"k"} << QStringList{""} << QStringList{""};
    QTest::newRow("quoted values")
        << QByteArray("[count]\nc=\"1\"\n[1]\nAction=\"C:\\Program Files\\x.exe\"\n"
                      "Keyword='k'\n")
        << "1" << QStringList{"C:\\Program Files\\x.exe"} << QStringList{"k"} << QStringList{""}
        << QStringList{""};
    QTest::newRow("CRLF") << QByteArray("[count]\r\nc=1\r\n[1]\r\nAction=a\r\nHotkey=B\r\n") << "1"
                          << QStringList{"a"} << QStringList{""} << QStringList{"B"}
                          << QStringList{"Ctrl + Shift + B"};
    QTest::newRow("BOM") << QByteArray("\xef\xbb\xbf[count]\nc=1\n[1]\nAction=a\n") << "1"
                         << QStringList{"a"} << QStringList{""} << QStringList{""}
                         << QStringList{""};
    const QByteArray mega(1024 * 1024, 'm');
    QTest::newRow("1 MB line") << QByteArray("[count]\nc=2\n[1]\nAction=") + mega +
                                      "\nKeyword=k\n[2]\nAction=b\n"
                               << "2" << QStringList{QString::fromLatin1(mega), "b"}
                               << QStringList{"k", ""} << QStringList{"", ""}
                               << QStringList{"", ""};
    QTest::newRow("NUL bytes")
        << bytes("[count]\nc=2\n[1]\nAction=a\0b\n\0\0\0\nKeyword=k\n[2]\nAction=c\n") << "2"
        << QStringList{QString::fromLatin1("a\0b", 3), "c"} << QStringList{"k", ""}
        << QStringList{"", ""} << QStringList{"", ""};
    QTest::newRow("invalid UTF-8 read as Windows-1252")
        << QByteArray("[count]\nc=1\n[1]\nAction=C:\\caf\xe9.txt\nKeyword=\x93q\x94\n") << "1"
        << QStringList{QString::fromUtf8("C:\\caf\u00e9.txt")}
        << QStringList{QString::fromUtf8("\u201cq\u201d")} << QStringList{""} << QStringList{""};
}

void TstEntryTables::getinfo()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, s);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, keywords);
    QFETCH(QStringList, hotkeys);
    QFETCH(QStringList, shownHotkeys);
    if (!file.isNull())
        put(m_file, file);

    EntryTables t;
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.s, s);
    QCOMPARE(t.Action, actions);
    QCOMPARE(t.Keyword, keywords);
    QCOMPARE(t.Hotkey, hotkeys);
    QCOMPARE(t.count(), int(actions.size()));
    // A value too long for a row shows its start (longActionsWhole).
    QStringList shownActions;
    for (const QString &a : actions)
        shownActions << (a.size() > EntryListModel::maxShownLength
                             ? column(t.list(), 0).value(shownActions.size())
                             : a);
    QCOMPARE(column(t.list(), 0), shownActions);
    QCOMPARE(column(t.list(), 1), keywords);
    QCOMPARE(column(t.list(), 2), shownHotkeys);
}

void TstEntryTables::listColumnsAndReload()
{
    put(m_file, kTwoEntries);
    EntryTables t;
    EntryListModel *m = t.list();
    QCOMPARE(m->columnCount(), 3);
    QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), "Action");
    QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), "Keyword");
    QCOMPARE(m->headerData(2, Qt::Horizontal).toString(), "Hotkey");
    t.getinfo(profile(), entryFile());
    QCOMPARE(m->rowCount(), 2);
    // getinfo only appends; a reload clears first.
    t.getinfo(profile(), entryFile());
    QCOMPARE(m->rowCount(), 4);
    m->clear();
    t.getinfo(profile(), entryFile());
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->columnCount(), 3);
}

void TstEntryTables::countZeroLeavesTablesAlone()
{
    put(m_file, kTwoEntries);
    EntryTables t;
    t.getinfo(profile(), entryFile());
    QVERIFY(ini_write(profile(), entryFile(), "count", "c", "0").ok);
    t.list()->clear();
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.s, "0");
    QCOMPARE(t.list()->rowCount(), 0);
    QCOMPARE(t.Action, (QStringList{"C:\\Tools\\notes.txt", "C:\\Tools\\calc.exe"}));

    QStringList hotkeys{"mine"}, keywords{"mine"}, actions{"mine"};
    QVERIFY(!t.set_arrays(hotkeys, keywords, actions));
    QCOMPARE(hotkeys, QStringList{"mine"});
    QCOMPARE(keywords, QStringList{"mine"});
    QCOMPARE(actions, QStringList{"mine"});
    // The stale tables are not searched past the count.
    QVERIFY(!t.check_Action("C:\\Tools\\notes.txt"));
    QVERIFY(!t.check_keyword("calc"));
    QVERIFY(!t.check_hotkey("N"));
}

void TstEntryTables::checkProcedures_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("procedure");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("sAfter");

    for (const char *proc : {"hotkey", "keyword", "Action"}) {
        QTest::newRow(qPrintable(QStringLiteral("no file: %1 turns s into 0").arg(proc)))
            << QByteArray() << proc << "" << false << "0";
    }
    QTest::newRow("empty keyword present")
        << QByteArray("[count]\nc=2\n[1]\nKeyword=a\n[2]\nAction=x\nKeyword=\n") << "keyword"
        << "" << true << "2";
    QTest::newRow("empty keyword by missing key")
        << QByteArray("[count]\nc=1\n[1]\nAction=x\n") << "keyword"
        << "" << true << "1";
    QTest::newRow("no empty keyword") << kTwoEntries << "keyword"
                                      << "" << false << "2";
    QTest::newRow("action exact") << kTwoEntries << "Action"
                                  << "C:\\Tools\\calc.exe" << true << "2";
    QTest::newRow("action differs in case") << kTwoEntries << "Action"
                                            << "c:\\tools\\CALC.exe" << false << "2";
    QTest::newRow("action not trimmed") << kTwoEntries << "Action"
                                        << "C:\\Tools\\calc.exe " << false << "2";
    QTest::newRow("hotkey exact") << kTwoEntries << "hotkey"
                                  << "N" << true << "2";
    QTest::newRow("hotkey differs in case") << kTwoEntries << "hotkey"
                                            << "n" << false << "2";
    QTest::newRow("keyword in a left-over section")
        << QByteArray("[count]\nc=1\n[1]\nKeyword=a\n[2]\nKeyword=b\n") << "keyword"
        << "b" << false << "1";
    QTest::newRow("count 'abc' finds nothing")
        << QByteArray("[count]\nc=abc\n[1]\nKeyword=a\n") << "keyword"
        << "a" << false << "abc";
}

void TstEntryTables::checkProcedures()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, procedure);
    QFETCH(QString, value);
    QFETCH(bool, found);
    QFETCH(QString, sAfter);
    if (!file.isNull())
        put(m_file, file);
    EntryTables t;
    t.getinfo(profile(), entryFile());
    const QString arg = value;
    bool r = false;
    if (procedure == "hotkey")
        r = t.check_hotkey(arg);
    else if (procedure == "keyword")
        r = t.check_keyword(arg);
    else
        r = t.check_Action(arg);
    QCOMPARE(r, found);
    QCOMPARE(t.s, sAfter);
    QCOMPARE(arg, value);
}

void TstEntryTables::setArraysCopies()
{
    put(m_file, kTwoEntries);
    EntryTables t;
    QStringList hotkeys{"old"}, keywords, actions;
    t.getinfo(profile(), entryFile());
    QVERIFY(t.set_arrays(hotkeys, keywords, actions));
    QCOMPARE(hotkeys, (QStringList{"N", ""}));
    QCOMPARE(keywords, (QStringList{"notes", "calc"}));
    QCOMPARE(actions, (QStringList{"C:\\Tools\\notes.txt", "C:\\Tools\\calc.exe"}));
}

void TstEntryTables::countOf_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<int>("n");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("one above") << "32768" << 0;
    QTest::newRow("five digits above") << "99999" << 0;
    QTest::newRow("six digits") << "100000" << 0;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("negative") << "-3" << 0;
    QTest::newRow("plus sign") << "+4" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("space and letter") << " 4x" << 0;
    QTest::newRow("trailing space") << "4 " << 0;
    QTest::newRow("decimal point") << "4.0" << 0;
    QTest::newRow("exponent") << "1e3" << 0;
    QTest::newRow("arabic-indic digit") << QString(QChar(0x0663)) << 0;
    QTest::newRow("fullwidth digit") << QString(QChar(0xFF14)) << 0;
}

void TstEntryTables::countOf()
{
    QFETCH(QString, s);
    QFETCH(int, n);
    EntryTables t;
    t.s = s;
    QCOMPARE(t.count(), n);
}

void TstEntryTables::iniWriteKeepsValuesOnOneLine_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("LF") << "a\nb"
                        << "a b";
    QTest::newRow("CR") << "a\rb"
                        << "a b";
    QTest::newRow("CR LF is two spaces") << "a\r\nb"
                                         << "a  b";
    QTest::newRow("injected section") << "x\n[count]\nc=99"
                                      << "x [count] c=99";
}

void TstEntryTables::iniWriteKeepsValuesOnOneLine()
{
    QFETCH(QString, value);
    QFETCH(QString, stored);
    const QString before = value;
    QVERIFY(ini_write(profile(), entryFile(), "count", "c", "1").ok);
    QVERIFY(ini_write(profile(), entryFile(), "1", "Action", value).ok);
    QCOMPARE(value, before);
    QCOMPARE(ini_read(profile(), entryFile(), "1", "Action", ""), stored);
    QCOMPARE(ini_read(profile(), entryFile(), "count", "c", ""), "1");
    QCOMPARE(contents(m_file), "[count]\nc=1\n[1]\nAction=" + stored.toUtf8() + "\n");
}

void TstEntryTables::emptyValueReadsLikeMissingKey()
{
    QVERIFY(ini_write(profile(), entryFile(), "1", "Hotkey", "F1").ok);
    QVERIFY(ini_write(profile(), entryFile(), "1", "Hotkey", "").ok);
    QCOMPARE(contents(m_file), QByteArray("[1]\nHotkey=\n"));
    QCOMPARE(ini_read(profile(), entryFile(), "1", "Hotkey", ""), "");
    QCOMPARE(ini_read(profile(), entryFile(), "1", "Hotkey", ""),
             ini_read(profile(), entryFile(), "1", "Keyword", ""));
}

void TstEntryTables::firstEntryCreatesFile()
{
    EntryTables t;
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.s, "");
    QVERIFY(!t.check_Action("C:\\x.exe"));
    QCOMPARE(t.s, "0");
    QVERIFY(ini_write(profile(), entryFile(), "count", "c", QString::number(t.count() + 1)).ok);
    writeEntry(1, "C:\\x.exe", "", "x");
    QCOMPARE(contents(m_file), QByteArray("[count]\nc=1\n[1]\nAction=C:\\x.exe\nHotkey=\n"
                                          "Keyword=x\n"));
    t.list()->clear();
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.Action, QStringList{"C:\\x.exe"});
}

void TstEntryTables::leftOverSectionTakenOver()
{
    put(m_file, "[count]\r\nc=1\r\n[1]\r\nAction=a\r\n[2]\r\nAction=old\r\nHotkey=Q\r\n"
                "Keyword=old\r\n; trailing note\r\n");
    QVERIFY(ini_write(profile(), entryFile(), "count", "c", "2").ok);
    writeEntry(2, "new", "", "new");
    EntryTables t;
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.Action, (QStringList{"a", "new"}));
    QCOMPARE(t.Hotkey, (QStringList{"", ""}));
    QCOMPARE(column(t.list(), 2), (QStringList{"", ""}));
    QCOMPARE(contents(m_file), QByteArray("[count]\r\nc=2\r\n[1]\r\nAction=a\r\n[2]\r\n"
                                          "Action=new\r\nHotkey=\r\nKeyword=new\r\n"
                                          "; trailing note\r\n"));
}

void TstEntryTables::longActionsWhole_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("300 characters") << 300;
    QTest::newRow("100000 characters") << 100000;
}

void TstEntryTables::longActionsWhole()
{
    QFETCH(int, length);
    QString action = QStringLiteral("C:\\");
    while (action.size() < length)
        action.append(QChar(char16_t(u'A' + action.size() % 26)));
    QVERIFY(ini_write(profile(), entryFile(), "count", "c", "1").ok);
    writeEntry(1, action, "L", "long");
    EntryTables t;
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.Action.value(0), action);
    // The list shows a bounded start of it; a row of megabytes would take seconds to lay out.
    const QString shown = column(t.list(), 0).value(0);
    if (length <= EntryListModel::maxShownLength)
        QCOMPARE(shown, action);
    else
        QCOMPARE(shown, action.left(EntryListModel::maxShownLength - 1) + QChar(0x2026));
    // Its tooltip has room for much more, and is bounded as well.
    const QString tip = t.list()->index(0, 0).data(Qt::ToolTipRole).toString();
    QCOMPARE(tip, length <= EntryListModel::maxTipLength
                      ? action
                      : action.left(EntryListModel::maxTipLength - 1) + QChar(0x2026));
    // The editor's Modify writes back what it read: nothing may be lost on the way.
    writeEntry(1, ini_read(profile(), entryFile(), "1", "Action", ""), "M", "long");
    QCOMPARE(ini_read(profile(), entryFile(), "1", "Action", ""), action);
    QCOMPARE(ini_read(profile(), entryFile(), "1", "Hotkey", ""), "M");
}

void TstEntryTables::otherProgramsEditSeenByReload()
{
    put(m_file, kTwoEntries);
    EntryTables t;
    t.getinfo(profile(), entryFile());
    // Same size, same second: only the change time or the inode tells.
    QThread::msleep(20);
    QByteArray edited = kTwoEntries;
    edited.replace("Keyword=calc", "Keyword=CALC");
    put(m_file, edited);
    t.list()->clear();
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.Keyword, (QStringList{"notes", "CALC"}));
    QVERIFY(t.check_keyword("CALC"));
}

void TstEntryTables::refusedWriteReported()
{
    put(m_file, kTwoEntries);
    QVERIFY(setMode(m_dir->path(), 0555));
    platform::WriteResult r;
    {
        AsNobody nobody;
        r = ini_write(profile(), entryFile(), "count", "c", "3");
    }
    setMode(m_dir->path(), 0700);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QString::fromLocal8Bit(std::strerror(EACCES)));
    QCOMPARE(contents(m_file), kTwoEntries);
    EntryTables t;
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.s, "2");
}

void TstEntryTables::removePatternInOneGroup()
{
    put(m_file, "[count]\nc=3\n[1]\nAction=a\nHotkey=A\nKeyword=ka\n[2]\nAction=b\nHotkey=\n"
                "Keyword=kb\n[3]\nAction=c\nHotkey=C\nKeyword=kc\n");
    EntryTables t;
    t.getinfo(profile(), entryFile());
    {
        platform::ProfileGroup group(profile());
        QVERIFY(ini_write(profile(), entryFile(), "count", "c", QString::number(t.count() - 1)).ok);
        for (int i = 1; i < t.count(); ++i) {
            const QString next = QString::number(i + 1);
            writeEntry(i, ini_read(profile(), entryFile(), next, "Action", ""),
                       ini_read(profile(), entryFile(), next, "Hotkey", ""),
                       ini_read(profile(), entryFile(), next, "Keyword", ""));
        }
        QCOMPARE(ini_read(profile(), entryFile(), "count", "c", ""), "2");
        QVERIFY(contents(m_file).contains("c=3"));
        QVERIFY(group.commit().ok);
    }
    t.list()->clear();
    t.getinfo(profile(), entryFile());
    QCOMPARE(t.Action, (QStringList{"b", "c"}));
    QCOMPARE(t.Hotkey, (QStringList{"", "C"}));
    QCOMPARE(t.Keyword, (QStringList{"kb", "kc"}));
    QVERIFY(contents(m_file).endsWith("[3]\nAction=c\nHotkey=C\nKeyword=kc\n"));
}

// A program folder the user may not write keeps no entries: they go to the user's
// configuration folder, created by the first entry; a file already beside the program wins.
void TstEntryTables::entriesOfAnInstalledCopyLiveInTheConfigFolder_data()
{
    QTest::addColumn<bool>("fileBeside");
    QTest::newRow("nothing beside the program") << false;
    QTest::newRow("a file beside the program") << true;
}

void TstEntryTables::entriesOfAnInstalledCopyLiveInTheConfigFolder()
{
    QFETCH(bool, fileBeside);
    QTemporaryDir home;
    const QString program = home.filePath(QStringLiteral("lib"));
    QVERIFY(QDir().mkpath(program));
    if (fileBeside)
        put(program + QStringLiteral("/DAzad.ini"), "[count]\nc=0\n");
    QVERIFY(setMode(program, 0555) && setMode(home.path(), 0777));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    platform::WriteResult written;
    QString path;
    {
        AsNobody nobody;
        path = entryFilePath(program);
        written = entries::applyPlan(profile(), path, entries::addPlan(1, {"/a", "", "k"}));
    }
    qunsetenv("XDG_CONFIG_HOME");
    setMode(program, 0755);
    const QString expected = fileBeside
                                 ? program + QStringLiteral("/DAzad.ini")
                                 : home.filePath(QStringLiteral("config/dudud-adadadiz/DAzad.ini"));
    QCOMPARE(path, expected);
    if (!fileBeside) {
        QVERIFY2(written.ok, qPrintable(written.error));
        QCOMPARE(ini_read(profile(), path, "1", "Keyword", ""), QStringLiteral("k"));
    }
}

// An installed copy keeps its entries in the configuration folder even where it may write
// its own folder (run as root); without a home there is no entry file rather than one at /.
void TstEntryTables::entryFileOfEachCopyAndEnvironment_data()
{
    QTest::addColumn<QString>("programDir"); // in the test's folder
    QTest::addColumn<bool>("fileBeside");
    QTest::addColumn<QByteArray>("configHome"); // "-": unset
    QTest::addColumn<QByteArray>("home");       // "-": unset; "@": the test's folder
    QTest::addColumn<QString>("expected");      // "@": the test's folder
    const QString installed = QStringLiteral("usr/lib/dudud-adadadiz");
    QTest::newRow("a build folder")
        << "build" << false << QByteArray("/cfg") << QByteArray("@") << "@/build/DAzad.ini";
    QTest::newRow("installed, its folder writable")
        << installed << false << QByteArray("/cfg") << QByteArray("@")
        << "/cfg/dudud-adadadiz/DAzad.ini";
    QTest::newRow("installed, a file beside it")
        << installed << true << QByteArray("/cfg") << QByteArray("@")
        << "/cfg/dudud-adadadiz/DAzad.ini";
    QTest::newRow("installed, no XDG_CONFIG_HOME")
        << installed << false << QByteArray("-") << QByteArray("@")
        << "@/.config/dudud-adadadiz/DAzad.ini";
    QTest::newRow("installed, a relative XDG_CONFIG_HOME")
        << installed << false << QByteArray("cfg") << QByteArray("@")
        << "@/.config/dudud-adadadiz/DAzad.ini";
    QTest::newRow("installed, HOME unset")
        << installed << false << QByteArray("-") << QByteArray("-") << QString();
    QTest::newRow("installed, HOME empty")
        << installed << false << QByteArray("") << QByteArray("") << QString();
    QTest::newRow("installed, HOME relative")
        << installed << false << QByteArray("-") << QByteArray("me") << QString();
    QTest::newRow("installed, HOME unset, XDG_CONFIG_HOME set")
        << installed << false << QByteArray("/cfg") << QByteArray("-")
        << "/cfg/dudud-adadadiz/DAzad.ini";
    QTest::newRow("a folder named like the install folder's parent")
        << "lib" << false << QByteArray("/cfg") << QByteArray("@") << "@/lib/DAzad.ini";
}

void TstEntryTables::entryFileOfEachCopyAndEnvironment()
{
    QFETCH(QString, programDir);
    QFETCH(bool, fileBeside);
    QFETCH(QByteArray, configHome);
    QFETCH(QByteArray, home);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString program = dir.filePath(programDir);
    QVERIFY(QDir().mkpath(program));
    if (fileBeside)
        put(program + QStringLiteral("/DAzad.ini"), "[count]\nc=0\n");
    const QByteArray oldHome = qgetenv("HOME");
    auto set = [&](const char *name, const QByteArray &value) {
        if (value == "-")
            qunsetenv(name);
        else
            qputenv(name, value == "@" ? QFile::encodeName(dir.path()) : value);
    };
    set("XDG_CONFIG_HOME", configHome);
    set("HOME", home);
    const QString path = entryFilePath(program);
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", oldHome);
    QCOMPARE(path, QString(expected).replace(QLatin1Char('@'), dir.path()));
}

QTEST_GUILESS_MAIN(TstEntryTables)
#include "tst_entrytables.moc"
