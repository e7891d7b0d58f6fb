// The INI dialect itself: how bytes read, and which bytes a write changes.

#include "entries/ini/inifile.h"

#include <QFile>
#include <QTest>

using ini::IniDocument;

namespace {

const QString kDefault = QStringLiteral("<default>");

QByteArray golden(const QString &name)
{
    QFile f(QStringLiteral(DUDUD_TEST_DATA_DIR "/ini/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing golden file %s", qPrintable(name));
    return f.readAll();
}

QString read(const IniDocument &doc, const QString &section, const QString &key)
{
    return doc.value(section, key).value_or(kDefault);
}

} // namespace

class TstIniFile : public QObject
{
    Q_OBJECT
private slots:
    void readRules_data();
    void readRules();
    void roundTripIsByteExact_data();
    void roundTripIsByteExact();
    void writeRules_data();
    void writeRules();
    void refusedWritesChangeNothing_data();
    void refusedWritesChangeNothing();
    void editedDocumentReadsLikeItsBytes_data();
    void editedDocumentReadsLikeItsBytes();
    void utf8Validation_data();
    void utf8Validation();
    void windows1252Table();
    void hugeLineAndNulBytes();
    void editsAcrossManySections();
    void valueBytesAtEveryPlace_data();
    void valueBytesAtEveryPlace();
    void valuesOutliveTheirDocument();
    void largeFileReadsAndEdits();
};

void TstIniFile::readRules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    auto row = [](const char *name, const char *file, const QString &section, const QString &key,
                  const QString &expected) {
        QTest::newRow(name) << QString::fromLatin1(file) << section << key << expected;
    };
    row("plain count", "plain.ini", "count", "c", "2");
    row("plain action", "plain.ini", "1", "Action", "C:\\Tools\\notes.txt");
    row("plain empty hotkey", "plain.ini", "2", "Hotkey", "");
    row("plain missing section", "plain.ini", "3", "Action", kDefault);
    row("plain missing key", "plain.ini", "1", "Path", kDefault);

    row("bom skipped before first header", "bom.ini", "count", "c", "1");
    row("bom file later section", "bom.ini", "1", "Action", "after bom");

    row("crlf value has no CR", "crlf.ini", "1", "Action", "C:\\crlf\\path.exe");
    row("crlf trailing space and CR trimmed", "crlf.ini", "1", "Keyword", "crlf");

    row("first section and first key win", "duplicate-section.ini", "1", "Action", "first");
    row("second section never searched", "duplicate-section.ini", "1", "Keyword", kDefault);
    row("section after duplicate", "duplicate-section.ini", "2", "Action", "two");

    row("section and key ignore case", "letter-case.ini", "count", "c", "3");
    row("odd case key", "letter-case.ini", "sect", "Action", "mixed");
    row("upper case key", "letter-case.ini", "SECT", "keyword", "upper");

    row("indented header", "spaces.ini", "1", "Action", "spaced value");
    row("caller name spaces ignored", "spaces.ini", " 1 ", " Action\t", "spaced value");
    row("inner spaces kept", "spaces.ini", "1", "Keyword", "inner  spaces kept");
    row("spaces only value is empty", "spaces.ini", "1", "Hotkey", "");

    row("double quotes dropped", "quotes.ini", "q", "double", "quoted value");
    row("single quotes dropped", "quotes.ini", "q", "single", "single");
    row("mismatched quotes kept", "quotes.ini", "q", "mixed", "\"mixed'");
    row("lone quote kept", "quotes.ini", "q", "lone", "\"");
    row("empty quotes", "quotes.ini", "q", "empty", "");
    row("inner quote kept", "quotes.ini", "q", "inner", "a\"b");
    row("quotes after trimming, inside spaces kept", "quotes.ini", "q", "padded", "  x  ");
    row("only one pair dropped", "quotes.ini", "q", "twice", "\"two\"");

    row("commented key is not a key", "comments.ini", "c", "Action", "a;b=c ; not a comment");
    row("indented comment", "comments.ini", "c", "Keyword", "x = y");
    row("hash is data", "comments.ini", "c", "#hash", "data");

    row("key without equals reads as missing", "no-equals.ini", "n", "Keyword", kDefault);
    row("key without equals shadows later key", "no-equals.ini", "n", "Action", kDefault);

    row("name up to last bracket", "brackets.ini", "a]b", "k", "in a]b");
    row("header name trimmed", "brackets.ini", "spaced", "k", "in spaced");
    row("text after last bracket ignored", "brackets.ini", "x", "k", "in x");
    row("bracket line without close is a key", "brackets.ini", "x", "[open", "value");
    row("unclosed bracket opens no section", "brackets.ini", "open", "k", kDefault);

    row("invalid utf-8 reads as 1252", "cp1252.ini", "w", "Action",
        QString::fromUtf8("C:\\Caf\u00e9\\na\u00efve.txt"));
    row("1252 control range", "cp1252.ini", "w", "Keyword",
        QString::fromUtf8("\u20ac\u201cq\u201d") + QChar(0x81));
    row("valid utf-8 beside 1252", "cp1252.ini", "w", "Hotkey", QString::fromUtf8("caf\u00e9"));
    row("1252 section name ignores case", "cp1252.ini", QString::fromUtf8("CAF\u00c9"), "k",
        "section named in 1252");

    row("NUL inside a value kept", "nul.ini", "z", "Action",
        QString::fromLatin1("before\0after", 12));
    row("line after NUL value", "nul.ini", "z", "Keyword", "ok");
    row("line after NUL-only line", "nul.ini", "z", "Hotkey", "F5");

    row("last line without line end", "no-final-newline.ini", "1", "Keyword", "last line");
    row("keys before first header unreachable", "preamble.ini", "count", "c", "4");
    row("CR inside a line is data", "cr-inside.ini", "r", "Action", "one\rtwo");
    row("several CRs before LF trimmed", "cr-inside.ini", "r", "Keyword", "k");
}

void TstIniFile::readRules()
{
    QFETCH(QString, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const IniDocument doc(golden(file));
    QCOMPARE(read(doc, section, key), expected);
}

void TstIniFile::roundTripIsByteExact_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = {"plain.ini",
                               "bom.ini",
                               "crlf.ini",
                               "duplicate-section.ini",
                               "letter-case.ini",
                               "spaces.ini",
                               "quotes.ini",
                               "comments.ini",
                               "no-equals.ini",
                               "brackets.ini",
                               "cp1252.ini",
                               "nul.ini",
                               "no-final-newline.ini",
                               "preamble.ini",
                               "cr-inside.ini"};
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << f;
}

void TstIniFile::roundTripIsByteExact()
{
    QFETCH(QString, file);
    const QByteArray bytes = golden(file);
    QCOMPARE(IniDocument(bytes).toBytes(), bytes);

    // A write touches one line; every byte before and after it stays.
    IniDocument doc(bytes);
    QVERIFY(doc.setValue("zz-new", "Key", "v"));
    const QByteArray out = doc.toBytes();
    QVERIFY(out.startsWith(bytes.endsWith('\n') ? bytes : bytes + doc.lineEnd()));
}

void TstIniFile::writeRules_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("empty file") << QByteArray() << "count"
                                << "c"
                                << "1" << QByteArray("[count]\nc=1\n");
    QTest::newRow("bom only") << QByteArray("\xef\xbb\xbf") << "count"
                              << "c"
                              << "1" << QByteArray("\xef\xbb\xbf[count]\nc=1\n");
    QTest::newRow("replace in place") << QByteArray("; top\n[a]\nx=1\ny=2\n") << "a"
                                      << "x"
                                      << "9" << QByteArray("; top\n[a]\nx=9\ny=2\n");
    QTest::newRow("replace keeps CRLF") << QByteArray("[a]\r\nx=1\r\ny=2\r\n") << "a"
                                        << "y"
                                        << "3" << QByteArray("[a]\r\nx=1\r\ny=3\r\n");
    QTest::newRow("replace writes caller's spelling")
        << QByteArray("[A]\n  action = old  \nk=1\n") << "a"
        << "Action"
        << "new" << QByteArray("[A]\nAction=new\nk=1\n");
    QTest::newRow("replace last line without line end") << QByteArray("[a]\nx=1") << "a"
                                                        << "x"
                                                        << "2" << QByteArray("[a]\nx=2");
    QTest::newRow("key without equals replaced") << QByteArray("[a]\nx\n") << "a"
                                                 << "x"
                                                 << "5" << QByteArray("[a]\nx=5\n");
    QTest::newRow("first of duplicates replaced") << QByteArray("[a]\nx=1\nx=2\n[a]\nx=3\n") << "a"
                                                  << "x"
                                                  << "0" << QByteArray("[a]\nx=0\nx=2\n[a]\nx=3\n");
    QTest::newRow("missing key goes to first duplicate section")
        << QByteArray("[a]\nx=1\n[a]\ny=1\n") << "a"
        << "y"
        << "2" << QByteArray("[a]\nx=1\ny=2\n[a]\ny=1\n");
    QTest::newRow("missing key before trailing blank lines")
        << QByteArray("[a]\nx=1\n\n\n[b]\n") << "a"
        << "y"
        << "2" << QByteArray("[a]\nx=1\ny=2\n\n\n[b]\n");
    QTest::newRow("missing key before a comment leading into the next section")
        << QByteArray("[a]\nx=1\n; about b\n[b]\n") << "a"
        << "y"
        << "2" << QByteArray("[a]\nx=1\ny=2\n; about b\n[b]\n");
    QTest::newRow("missing key in empty section") << QByteArray("[a]\n[b]\n") << "a"
                                                  << "y"
                                                  << "2" << QByteArray("[a]\ny=2\n[b]\n");
    QTest::newRow("missing key in last section without line end")
        << QByteArray("[a]\nx=1") << "a"
        << "y"
        << "2" << QByteArray("[a]\nx=1\ny=2\n");
    QTest::newRow("missing key after header without line end") << QByteArray("[a]") << "a"
                                                               << "y"
                                                               << "2" << QByteArray("[a]\ny=2\n");
    QTest::newRow("missing key uses CRLF of the file")
        << QByteArray("[a]\r\nx=1\r\n\r\n") << "a"
        << "y"
        << "2" << QByteArray("[a]\r\nx=1\r\ny=2\r\n\r\n");
    QTest::newRow("missing section at end") << QByteArray("[a]\nx=1\n\n") << "B"
                                            << "y"
                                            << "2" << QByteArray("[a]\nx=1\n\n[B]\ny=2\n");
    QTest::newRow("missing section, CRLF, no final line end")
        << QByteArray("[a]\r\nx=1") << "b"
        << "y"
        << "2" << QByteArray("[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
    QTest::newRow("missing section after preamble only")
        << QByteArray("; notes") << "b"
        << "y"
        << "2" << QByteArray("; notes\n[b]\ny=2\n");
    QTest::newRow("empty value stored as key=") << QByteArray("[a]\nx=1\n") << "a"
                                                << "x"
                                                << "" << QByteArray("[a]\nx=\n");
    QTest::newRow("value stored as given") << QByteArray("[a]\n") << "a"
                                           << "x"
                                           << "\"q\" ;c" << QByteArray("[a]\nx=\"q\" ;c\n");
    QTest::newRow("leading blank quoted") << QByteArray("[a]\n") << "a"
                                          << "x"
                                          << " \"q\" ;c" << QByteArray("[a]\nx=\" \"q\" ;c\"\n");
    QTest::newRow("trailing tab quoted") << QByteArray("[a]\n") << "a"
                                         << "x"
                                         << "notes\t" << QByteArray("[a]\nx=\"notes\t\"\n");
    QTest::newRow("single-quoted value quoted") << QByteArray("[a]\n") << "a"
                                                << "x"
                                                << "'q'" << QByteArray("[a]\nx=\"'q'\"\n");
    QTest::newRow("mismatched quotes as given") << QByteArray("[a]\n") << "a"
                                                << "x"
                                                << "'q\"" << QByteArray("[a]\nx='q\"\n");
    QTest::newRow("lone quote as given") << QByteArray("[a]\n") << "a"
                                         << "x"
                                         << "\"" << QByteArray("[a]\nx=\"\n");
    QTest::newRow("value in utf-8")
        << QByteArray("[a]\n") << "a"
        << "x" << QString::fromUtf8("\u00e9\u20ac") << QByteArray("[a]\nx=\xc3\xa9\xe2\x82\xac\n");
    QTest::newRow("1252 bytes elsewhere untouched") << QByteArray("[a]\nk=\xe9\x80\nx=1\n") << "a"
                                                    << "x"
                                                    << "2" << QByteArray("[a]\nk=\xe9\x80\nx=2\n");
    QTest::newRow("NUL bytes elsewhere untouched") << QByteArray("[a]\nk=\0\0\nx=1\n", 13) << "a"
                                                   << "x"
                                                   << "2" << QByteArray("[a]\nk=\0\0\nx=2\n", 13);
    QTest::newRow("key in preamble is not in a section") << QByteArray("x=0\n[a]\n") << "a"
                                                         << "x"
                                                         << "1" << QByteArray("x=0\n[a]\nx=1\n");
}

void TstIniFile::writeRules()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    IniDocument doc(before);
    QString why;
    QVERIFY2(doc.setValue(section, key, value, &why), qPrintable(why));
    QCOMPARE(doc.toBytes(), after);
}

void TstIniFile::refusedWritesChangeNothing_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("LF in value") << "a"
                                 << "x"
                                 << "1\n[count]\nc=99";
    QTest::newRow("CR in value") << "a"
                                 << "x"
                                 << "1\r2";
    QTest::newRow("LF in section") << "a]\n[b"
                                   << "x"
                                   << "1";
    QTest::newRow("equals in key") << "a"
                                   << "x=y"
                                   << "1";
    QTest::newRow("comment key") << "a"
                                 << ";x"
                                 << "1";
    QTest::newRow("header key") << "a"
                                << "[x]"
                                << "1";
    QTest::newRow("empty key") << "a"
                               << " "
                               << "1";
    const QString lone(QChar(0xD800));
    QTest::newRow("unpaired surrogate in section") << "a" + lone << "x"
                                                   << "1";
    QTest::newRow("unpaired surrogate in key") << "a" << QChar(0xDC00) + QString("x") << "1";
    QTest::newRow("surrogates in wrong order in value") << "a"
                                                        << "x" << QChar(0xDC00) + lone;
}

void TstIniFile::refusedWritesChangeNothing()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray before("[a]\nx=0\n");
    IniDocument doc(before);
    QString why;
    QVERIFY(!doc.setValue(section, key, value, &why));
    QVERIFY(!why.isEmpty());
    QCOMPARE(doc.toBytes(), before);
}

void TstIniFile::editedDocumentReadsLikeItsBytes_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    auto row = [](const char *name, const QString &section, const QString &key,
                  const QString &value) { QTest::newRow(name) << section << key << value; };
    const QString bom(QChar(0xFEFF));
    row("plain", "s", "k", "abc");
    row("semicolon kept", "s", "k", "a;b");
    row("empty", "s", "k", "");
    row("1252-looking text in utf-8", "s", "k", QString::fromUtf8("\u00e9\u0081"));
    row("trailing space", "s", "k", "notes ");
    row("blanks only", "s", "k", "   ");
    row("blanks around", "s", "k", "  abc\t");
    row("double quotes around", "s", "k", "\"abc\"");
    row("single quotes around", "s", "k", "'abc'");
    row("two quotes", "s", "k", "''");
    row("quoted with blank outside", "s", "k", "\"a\" ");
    row("lone quote", "s", "k", "'");
    row("value starting with U+FEFF", "s", "k", bom + "v");
    row("value of U+FEFF alone", "s", "k", bom);
    row("key starting with U+FEFF", "s", bom + "k", "v");
    row("section starting with U+FEFF", bom + "s", "k", "v");
    row("section of U+FEFF alone", bom, "k", "v");
    row("astral plane", QString::fromUtf8("\U0001F600"), "k", QString::fromUtf8("\U0001F600"));
}

void TstIniFile::editedDocumentReadsLikeItsBytes()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray header = '[' + section.toUtf8() + "]\n";
    for (const QByteArray &start :
         {QByteArray(), header + "k=old\n", header + "other=1\n", QByteArray("[t]\nk=1\n")}) {
        IniDocument doc(start);
        QVERIFY(doc.setValue(section, key, value));
        QCOMPARE(read(doc, section, key), value);
        QCOMPARE(read(IniDocument(doc.toBytes()), section, key), value);
        // A second write must find what the first one wrote, on disk as in memory.
        IniDocument again(doc.toBytes());
        QVERIFY(again.setValue(section, key, "2"));
        QCOMPARE(again.toBytes().count(header.chopped(1)), 1);
    }
}

void TstIniFile::utf8Validation_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ascii") << QByteArray("abc") << true;
    QTest::newRow("two bytes") << QByteArray("\xc3\xa9") << true;
    QTest::newRow("three bytes") << QByteArray("\xe2\x82\xac") << true;
    QTest::newRow("four bytes") << QByteArray("\xf0\x9f\x98\x80") << true;
    QTest::newRow("highest") << QByteArray("\xf4\x8f\xbf\xbf") << true;
    QTest::newRow("lone continuation") << QByteArray("\x80") << false;
    QTest::newRow("latin-1 e acute") << QByteArray("caf\xe9") << false;
    QTest::newRow("truncated at end") << QByteArray("\xe2\x82") << false;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false;
    QTest::newRow("overlong three") << QByteArray("\xe0\x80\xaf") << false;
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false;
    QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << false;
    QTest::newRow("bad continuation") << QByteArray("\xc3\x28") << false;
}

void TstIniFile::utf8Validation()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(ini::isValidUtf8(bytes), valid);
}

void TstIniFile::windows1252Table()
{
    const QByteArray all = [] {
        QByteArray b;
        for (int c = 0x80; c <= 0xFF; ++c)
            b.append(char(c));
        return b;
    }();
    const QString text = ini::fromWindows1252(all);
    QCOMPARE(text.size(), 128);
    QCOMPARE(text.at(0x80 - 0x80), QChar(0x20AC));
    QCOMPARE(text.at(0x85 - 0x80), QChar(0x2026));
    QCOMPARE(text.at(0x8A - 0x80), QChar(0x0160));
    QCOMPARE(text.at(0x92 - 0x80), QChar(0x2019));
    QCOMPARE(text.at(0x99 - 0x80), QChar(0x2122));
    QCOMPARE(text.at(0x9F - 0x80), QChar(0x0178));
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        QCOMPARE(text.at(undefined - 0x80), QChar(undefined));
    for (int c = 0xA0; c <= 0xFF; ++c)
        QCOMPARE(text.at(c - 0x80), QChar(c));
}

void TstIniFile::hugeLineAndNulBytes()
{
    const QByteArray huge(1024 * 1024, 'x');
    QByteArray bytes = "[1]\nAction=" + huge + "\nKeyword=" + QByteArray("a\0b", 3) + "\n" +
                       QByteArray(1000, '\0') + "\nHotkey=F1\n[2]\nAction=two\n";
    IniDocument doc(bytes);
    QCOMPARE(read(doc, "1", "Action").size(), huge.size());
    QCOMPARE(read(doc, "1", "Keyword"), QString::fromLatin1("a\0b", 3));
    QCOMPARE(read(doc, "1", "Hotkey"), "F1");
    QCOMPARE(read(doc, "2", "Action"), "two");
    QVERIFY(doc.setValue("2", "Action", "2"));
    bytes.replace("Action=two", "Action=2");
    QCOMPARE(doc.toBytes(), bytes);
}

void TstIniFile::editsAcrossManySections()
{
    // Adding keys moves a section's lines out of the file's line list; later edits of the
    // same section, of sections after it and new sections must all land where they belong.
    QByteArray before;
    for (int i = 1; i <= 50; ++i)
        before += "[" + QByteArray::number(i) + "]\r\nAction=a" + QByteArray::number(i) + "\r\n";
    IniDocument doc(before);
    QByteArray expected;
    for (int i = 1; i <= 50; ++i) {
        const QString section = QString::number(i);
        if (i % 2)
            QVERIFY(doc.setValue(section, "Keyword", "k" + section));
        QVERIFY(doc.setValue(section, "ACTION", "b" + section));
        if (i % 2)
            QVERIFY(doc.setValue(section, "keyword", "K" + section));
        expected += "[" + section.toLatin1() + "]\r\nACTION=b" + section.toLatin1() + "\r\n" +
                    (i % 2 ? "keyword=K" + section.toLatin1() + "\r\n" : QByteArray());
    }
    QVERIFY(doc.setValue("51", "Action", "new"));
    expected += "[51]\r\nAction=new\r\n";
    QCOMPARE(doc.toBytes(), expected);
    const IniDocument reread(doc.toBytes());
    for (int i = 1; i <= 51; ++i) {
        const QString section = QString::number(i);
        QCOMPARE(read(doc, section, "Keyword"), read(reread, section, "Keyword"));
        QCOMPARE(read(doc, section, "Action"), read(reread, section, "Action"));
    }
    QCOMPARE(read(doc, "7", "Keyword"), "K7");
}

void TstIniFile::valueBytesAtEveryPlace_data()
{
    // Values are decoded sixteen bytes at a time, then byte by byte: a byte outside ASCII
    // decides the decoding wherever it stands.
    QTest::addColumn<int>("at");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    for (const int at : {0, 15, 16, 17, 31, 32, 39}) {
        const QByteArray tag = QByteArray::number(at);
        QTest::newRow("utf-8 at " + tag)
            << at << QByteArray("\xC3\xA9") << QStringLiteral("\u00e9");
        QTest::newRow("1252 at " + tag) << at << QByteArray("\x80") << QStringLiteral("\u20ac");
    }
}

void TstIniFile::valueBytesAtEveryPlace()
{
    QFETCH(int, at);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QByteArray value(40, 'a');
    value.replace(at, 1, bytes);
    QString expected(40, QLatin1Char('a'));
    expected.replace(at, 1, text);
    const IniDocument doc("[s]\nk=" + value + "\nplain=" + QByteArray(40, 'b') + "\n");
    QCOMPARE(read(doc, "s", "k"), expected);
    QCOMPARE(read(doc, "s", "plain"), QString(40, QLatin1Char('b')));
}

void TstIniFile::valuesOutliveTheirDocument()
{
    // The values read share one block with the document; each must stay whole after the
    // document is gone, and a change to one must reach no other.
    QString first, second;
    {
        const IniDocument doc(QByteArray("[a]\nk=first value\n[b]\nk=second\n"));
        first = read(doc, "a", "k");
        second = read(doc, "b", "k");
        QString changed = read(doc, "a", "k");
        changed.append(QStringLiteral(" and more"));
        changed[0] = QLatin1Char('F');
        QCOMPARE(changed, "First value and more");
        QCOMPARE(read(doc, "a", "k"), "first value");
        QCOMPARE(read(doc, "b", "k"), "second");
    }
    const IniDocument empty(QByteArray("[e]\nk=\n"));
    QVERIFY(!read(empty, "e", "k").isNull());
    QCOMPARE(read(empty, "e", "k"), "");
    QCOMPARE(first, "first value");
    QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t *>(second.utf16())), "second");
    second.append(QStringLiteral("!"));
    QCOMPARE(first, "first value");
    QCOMPARE(second, "second!");
}

void TstIniFile::largeFileReadsAndEdits()
{
    // A file of several megabytes keeps its lines and values in tables of their own; reads
    // and edits must find every value where a small file's would be.
    constexpr int kSections = 30000;
    QByteArray bytes;
    for (int i = 1; i <= kSections; ++i) {
        bytes += "[" + QByteArray::number(i) + "]\nAction=" + QByteArray(64, char('a' + i % 26)) +
                 QByteArray::number(i) + "\nKeyword=k" + QByteArray::number(i) + "\n";
    }
    bytes += "[last]\nAction=caf\xC3\xA9\n";
    IniDocument doc(bytes);
    for (const int i : {1, 2, 12345, kSections}) {
        const QString n = QString::number(i);
        QCOMPARE(read(doc, n, "Action"), QString(64, QChar(u'a' + i % 26)) + n);
        QCOMPARE(read(doc, n, "Keyword"), "k" + n);
    }
    QCOMPARE(read(doc, "last", "Action"), QString::fromUtf8("caf\u00e9"));
    QVERIFY(doc.setValue("new", "Action", "added"));
    QVERIFY(doc.setValue("newer", "Action", "grown")); // the line table grows past its room
    QVERIFY(doc.setValue("2", "Hotkey", "F2"));
    QCOMPARE(read(doc, "new", "Action"), "added");
    QCOMPARE(read(doc, "2", "Hotkey"), "F2");
    QCOMPARE(read(doc, QString::number(kSections), "Keyword"), "k" + QString::number(kSections));
    QByteArray expected = bytes;
    expected.replace("[3]\n", "Hotkey=F2\n[3]\n");
    expected += "[new]\nAction=added\n[newer]\nAction=grown\n";
    QCOMPARE(doc.toBytes(), expected);
}

QTEST_GUILESS_MAIN(TstIniFile)
#include "tst_inifile.moc"
