#include "help/format/helpfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstHelpFile : public QObject
{
    Q_OBJECT
private slots:
    void goodFiles_data();
    void goodFiles();
    void damagedFiles_data();
    void damagedFiles();
    void unreadableFiles_data();
    void unreadableFiles();
    void html_data();
    void html();
    void indexIsSortedAndLabelled();
    void filter_data();
    void filter();
    void shippedFile();
};

namespace {
QString titles(const HelpFile &f)
{
    QStringList out;
    for (const HelpTopic &t : f.topics)
        out << t.title;
    return out.join(QLatin1Char('|'));
}
} // namespace

void TstHelpFile::goodFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("titles");
    QTest::addColumn<QString>("firstKeywords");
    QTest::addColumn<QString>("firstLines");

    QTest::newRow("one topic") << QByteArray("= Hello\nkeywords: hi, greeting\nSome text.\n")
                               << "Hello"
                               << "hi|greeting"
                               << "Some text.";
    QTest::newRow("CRLF and BOM") << QByteArray("\xEF\xBB\xBF= A\r\nkeywords: x\r\nline\r\n= B\r\n")
                                  << "A|B"
                                  << "x"
                                  << "line";
    QTest::newRow("comments and leading blanks")
        << QByteArray("# about this file\n\n\n= A\n# inside\n\nfirst\n\nsecond\n\n") << "A"
        << ""
        << "first||second";
    QTest::newRow("keyword lines repeat, any case, empty items dropped")
        << QByteArray("= A\nkeywords: a, , b\nKEYWORDS:c,d  e \ntext\n") << "A"
        << "a|b|c|d e"
        << "text";
    QTest::newRow("title spaces trimmed, '=' inside kept")
        << QByteArray("=   x = y  \n= Second\nbody\n") << "x = y|Second"
        << ""
        << "";
    QTest::newRow("a '#' after the first column is text")
        << QByteArray("= A\n  # not a comment\n") << "A"
        << ""
        << "  # not a comment";
    QTest::newRow("links to existing topics, any case")
        << QByteArray("= A\nsee [[b]] and [[ A ]]\n= B\n") << "A|B"
        << ""
        << "see [[b]] and [[ A ]]";
    QTest::newRow("literal lines take no links") << QByteArray("= A\n| [[nowhere]] *x*\n") << "A"
                                                 << ""
                                                 << "| [[nowhere]] *x*";
    QTest::newRow("UTF-8 text") << QByteArray("= Gr\xC3\xBC\xC3\x9F"
                                              "e\ntext\n")
                                << QString::fromUtf8("Grüße") << ""
                                << "text";
    QTest::newRow("a link to a non-ASCII title in another case")
        << QByteArray("= \xC3\x89t\xC3\xA9\n= B\nsee [[\xC3\xA9T\xC3\x89]]\n")
        << QString::fromUtf8("Été|B") << ""
        << "";
}

void TstHelpFile::goodFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, titles);
    QFETCH(QString, firstKeywords);
    QFETCH(QString, firstLines);

    const HelpParseResult r = parseHelpText(bytes);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.error.isEmpty());
    QCOMPARE(::titles(r.file), titles);
    QCOMPARE(r.file.topics.first().keywords.join(QLatin1Char('|')), firstKeywords);
    QCOMPARE(r.file.topics.first().lines.join(QLatin1Char('|')), firstLines);
}

void TstHelpFile::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty file") << QByteArray() << "the file is empty";
    QTest::newRow("blank lines only") << QByteArray(" \n\r\n\t\n") << "the file is empty";
    QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF") << "the file is empty";
    QTest::newRow("comments only") << QByteArray("# one\n# two\n") << "the file has no topics";
    QTest::newRow("text but no topics")
        << QByteArray("\nJust some text\n") << "line 2: text before the first topic";
    QTest::newRow("keywords without topic")
        << QByteArray("# c\nkeywords: a, b\n= A\n") << "line 2: keywords before the first topic";
    QTest::newRow("duplicate titles") << QByteArray("= Alpha\ntext\n= Beta\n= alpha\n")
                                      << "line 4: the topic \"alpha\" is already defined on line 1";
    QTest::newRow("duplicate non-ASCII titles")
        << QByteArray("= A\n= \xC3\x89t\xC3\xA9\n= \xC3\xA9T\xC3\x89\n")
        << QString::fromUtf8("line 3: the topic \"éTÉ\" is already defined on line 2");
    QTest::newRow("topic without title")
        << QByteArray("= A\n=   \n") << "line 2: a topic has no title";
    QTest::newRow("link to a missing topic") << QByteArray("= A\n\nsee [[Nowhere]]\n")
                                             << "line 3: a link to the unknown topic \"Nowhere\"";
    QTest::newRow("binary junk") << QByteArray::fromHex("7f454c460201010000000000") << "binary";
    QTest::newRow("NUL inside a topic")
        << QByteArray("= A\ntext\0more\n", 14) << "byte 0x00 at offset 8";
    QTest::newRow("invalid UTF-8") << QByteArray("= A\n\xFF\xFE text\n") << "not UTF-8";
    QTest::newRow("too large") << QByteArray(maxHelpFileSize + 1, 'a') << "too large";
}

void TstHelpFile::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);

    const HelpParseResult r = parseHelpText(bytes);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(error), qPrintable(r.error));
    QVERIFY(r.file.topics.isEmpty());
}

void TstHelpFile::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing file") << "missing.hlp"
                                  << "does not exist";
    QTest::newRow("a folder") << "folder"
                              << "cannot be read";
    QTest::newRow("damaged file on disk") << "damaged.hlp"
                                          << "line 1: text before";
}

void TstHelpFile::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QFile damaged(dir.filePath(QStringLiteral("damaged.hlp")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("no topic here\n");
    damaged.close();

    const HelpParseResult r = readHelpFile(dir.filePath(name));
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(error), qPrintable(r.error));
}

void TstHelpFile::html_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("heading") << QByteArray("= A & B\n") << "<h2>A &amp; B</h2>\n";
    QTest::newRow("paragraph lines joined")
        << QByteArray("= T\none\ntwo\n\nthree\n") << "<h2>T</h2>\n<p>one two</p>\n<p>three</p>\n";
    QTest::newRow("list with continuation, then paragraph")
        << QByteArray("= T\n- a\n  more\n- b\n\nafter\n")
        << "<h2>T</h2>\n<ul>\n<li>a more</li>\n<li>b</li>\n</ul>\n<p>after</p>\n";
    QTest::newRow("unindented line after an item starts a paragraph")
        << QByteArray("= T\n- a\nplain\n") << "<h2>T</h2>\n<ul>\n<li>a</li>\n</ul>\n<p>plain</p>\n";
    QTest::newRow("bold, literal, escaping")
        << QByteArray("= T\n*Exit* and `a<b>` & 2 * 3 * 4\n")
        << "<h2>T</h2>\n<p><b>Exit</b> and <code>a&lt;b&gt;</code> &amp; 2 * 3 * 4</p>\n";
    QTest::newRow("literal lines kept as written, no markup")
        << QByteArray("= T\nrun:\n| a  *b* <c>\n|\n| [[T]]\n- item\n")
        << "<h2>T</h2>\n<p>run:</p>\n<pre>a  *b* "
           "&lt;c&gt;\n\n[[T]]</pre>\n<ul>\n<li>item</li>\n</ul>\n";
    QTest::newRow("link to a topic") << QByteArray("= T\nsee [[u]]\n= U\n")
                                     << "<h2>T</h2>\n<p>see <a href=\"topic:1\">u</a></p>\n";
}

void TstHelpFile::html()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const HelpParseResult r = parseHelpText(bytes);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(topicHtml(r.file, 0), expected);
    QVERIFY(topicHtml(r.file, r.file.topics.size()).isEmpty());
    QVERIFY(topicHtml(r.file, -1).isEmpty());
}

void TstHelpFile::indexIsSortedAndLabelled()
{
    const HelpParseResult r = parseHelpText("= One\nkeywords: zebra, Tray, apple, tray\n"
                                            "= Two\nkeywords: tray, banana\n= Three\n");
    QVERIFY2(r.ok, qPrintable(r.error));
    const QList<HelpIndexEntry> index = helpIndex(r.file);
    QStringList labels;
    QList<int> topics;
    for (const HelpIndexEntry &e : index) {
        labels << e.label;
        topics << e.topic;
    }
    QCOMPARE(labels, QStringList({"apple", "banana", "Tray (One)", "tray (Two)", "zebra"}));
    QCOMPARE(topics, QList<int>({0, 1, 0, 1, 0}));
}

void TstHelpFile::filter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty shows all")
        << "" << QStringList({"DAzad.ini", "entry file", "F7", "hotkey", "tray icon"});
    QTest::newRow("blanks show all")
        << "  " << QStringList({"DAzad.ini", "entry file", "F7", "hotkey", "tray icon"});
    QTest::newRow("prefix, any case") << "HOT" << QStringList({"hotkey"});
    QTest::newRow("word inside a keyword") << "file" << QStringList({"entry file"});
    QTest::newRow("word after a dot") << "ini" << QStringList({"DAzad.ini"});
    QTest::newRow("not in the middle of a word") << "otk" << QStringList();
    QTest::newRow("two words") << "entry f" << QStringList({"entry file"});
    QTest::newRow("no match") << "zzz" << QStringList();
}

void TstHelpFile::filter()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, expected);
    const HelpParseResult r = parseHelpText(
        "= A\nkeywords: hotkey, F7\n= B\nkeywords: entry file, DAzad.ini, tray icon\n");
    QVERIFY2(r.ok, qPrintable(r.error));
    QStringList got;
    for (const HelpIndexEntry &e : filterHelpIndex(helpIndex(r.file), typed))
        got << e.keyword;
    QCOMPARE(got, expected);
}

void TstHelpFile::shippedFile()
{
    const HelpParseResult r = readHelpFile(QStringLiteral(DUDUD_HELP_FILE));
    QVERIFY2(r.ok, qPrintable(r.error));

    // title -> words its text must mention
    const QList<QPair<QString, QStringList>> required = {
        {"Dudud Adadadiz at a glance", {"F7", "Ctrl", "Shift"}},
        {"The entry file", {"DAzad.ini", "[count]", "Action", "Keyword", "Hotkey"}},
        {"Adding an entry", {"F3", "You should type an Action!"}},
        {"Modifying an entry", {"F4"}},
        {"Removing an entry", {"Del", "Are you sure you want to delete the selected item?"}},
        {"Hotkeys", {"F1 to F12", "numeric keypad", "either Shift", "One press fires once"}},
        {"The keyword prompt",
         {"F7", "Enter", "Escape does not close", "The Keyword you entered doesn't"}},
        {"The tray icon", {"Double-click", "Right-click", "Main window", "Exit"}},
        {"Web addresses, files, programs and folders", {"http", "ftp", "folder"}},
        {"Troubleshooting: hotkeys on Wayland", {"/dev/input", "uaccess", "udevadm"}},
        {"Troubleshooting: no tray", {"taskbar", "start the program again"}},
        {"A damaged entry file", {"c=", "DAzad.ini"}},
    };
    for (const auto &[title, words] : required) {
        const int t = r.file.topicIndex(title);
        QVERIFY2(t >= 0, qPrintable(title));
        const QString text = r.file.topics[t].lines.join(QLatin1Char(' ')).simplified();
        for (const QString &w : words)
            QVERIFY2(text.contains(w, Qt::CaseInsensitive), qPrintable(title + ": " + w));
    }
    // Every topic can be found from the index and has something to read.
    for (const HelpTopic &t : r.file.topics) {
        QVERIFY2(!t.keywords.isEmpty(), qPrintable(t.title));
        QVERIFY2(!t.lines.isEmpty(), qPrintable(t.title));
    }
}

QTEST_GUILESS_MAIN(TstHelpFile)
#include "tst_helpfile.moc"
