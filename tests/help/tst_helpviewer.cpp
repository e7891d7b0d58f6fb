#include "apprig.h"
#include "help/helpviewer.h"
#include "help/helpviewerwindow.h"
#include "platform/helpviewer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

using help::HelpViewerWindow;

namespace {

const char *const sampleHelp = "# sample\n"
                               "= Starting\n"
                               "keywords: start, overview\n"
                               "The program starts in the tray.\n"
                               "= Hotkeys\n"
                               "keywords: hotkey, Ctrl+Shift, keypad\n"
                               "Hold Ctrl and Shift. See [[Tray icon]].\n"
                               "= Tray icon\n"
                               "keywords: tray, notification area, start\n"
                               "Click it.\n";

QList<HelpViewerWindow *> viewers()
{
    QList<HelpViewerWindow *> out;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *v = qobject_cast<HelpViewerWindow *>(w))
            out << v;
    }
    return out;
}

QStringList itemTexts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TstHelpViewer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void topicsWindowListsEveryTopic();
    void indexNarrowsAndEnterOpens_data();
    void indexNarrowsAndEnterOpens();
    void arrowsInSearchFieldWalkTheList();
    void oneViewerAtATime();
    void keyboard();
    void linksOpenTopics();
    void brokenFileNamesTheFile_data();
    void brokenFileNamesTheFile();
    void repairedFileIsShownOnTheNextCall();

    void helpCommandsUseTheProgramFolder();

private:
    bool show(HelpViewerWindow::Page page);
    HelpViewerWindow *open(HelpViewerWindow::Page page);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<platform::HelpViewer> m_viewer;
    QString m_path;
};

void TstHelpViewer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("lhelp.hlp"));
    QVERIFY(writeFile(m_path, sampleHelp));
    m_viewer = help::createHelpViewer();
}

void TstHelpViewer::cleanup()
{
    m_viewer.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(viewers().isEmpty());
}

bool TstHelpViewer::show(HelpViewerWindow::Page page)
{
    return page == HelpViewerWindow::ContentsPage ? m_viewer->showContents(nullptr, m_path)
                                                  : m_viewer->showIndex(nullptr, m_path);
}

HelpViewerWindow *TstHelpViewer::open(HelpViewerWindow::Page page)
{
    show(page);
    const QList<HelpViewerWindow *> v = viewers();
    return v.size() == 1 ? v.first() : nullptr;
}

void TstHelpViewer::topicsWindowListsEveryTopic()
{
    QVERIFY(m_viewer->showContents(nullptr, m_path));
    HelpViewerWindow *w = open(HelpViewerWindow::ContentsPage);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("Help for Dudud Adadadiz"));
    QCOMPARE(w->findChild<QTabWidget *>("tabs")->currentIndex(),
             int(HelpViewerWindow::ContentsPage));

    auto *topics = w->findChild<QListWidget *>("topicList");
    QCOMPARE(itemTexts(topics), QStringList({"Starting", "Hotkeys", "Tray icon"}));

    // The first topic is shown; choosing another one shows its text.
    auto *text = w->findChild<QTextBrowser *>("topicText");
    QVERIFY(text->toPlainText().startsWith(QStringLiteral("Starting")));
    topics->setCurrentRow(1);
    QCOMPARE(w->currentTopic(), 1);
    QVERIFY(text->toPlainText().contains(QStringLiteral("Hold Ctrl and Shift.")));
}

void TstHelpViewer::indexNarrowsAndEnterOpens_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("opened");

    const QStringList all = {"Ctrl+Shift",        "hotkey",   "keypad",
                             "notification area", "overview", "start (Starting)",
                             "start (Tray icon)", "tray"};
    QTest::newRow("nothing typed: every keyword, Enter opens the first") << "" << all << 1;
    QTest::newRow("one letter") << "t" << QStringList({"tray"}) << 2;
    QTest::newRow("keyword in two topics")
        << "sta" << QStringList({"start (Starting)", "start (Tray icon)"}) << 0;
    QTest::newRow("upper case, second word") << "AREA" << QStringList({"notification area"}) << 2;
    QTest::newRow("no keyword: Enter opens nothing") << "x" << QStringList() << 0;
}

void TstHelpViewer::indexNarrowsAndEnterOpens()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    QFETCH(int, opened);

    QVERIFY(m_viewer->showIndex(nullptr, m_path));
    HelpViewerWindow *w = open(HelpViewerWindow::IndexPage);
    QVERIFY(w);
    QCOMPARE(w->findChild<QTabWidget *>("tabs")->currentIndex(), int(HelpViewerWindow::IndexPage));
    auto *search = w->findChild<QLineEdit *>("searchField");
    auto *keywords = w->findChild<QListWidget *>("keywordList");
    QVERIFY(search->text().isEmpty());
    QCOMPARE(keywords->count(), 8);

    QTest::keyClicks(search, typed);
    QCOMPARE(itemTexts(keywords), shown);
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(w->currentTopic(), opened);
    auto *text = w->findChild<QTextBrowser *>("topicText");
    QVERIFY(text->toPlainText().startsWith(w->helpFile().topics[opened].title));
}

void TstHelpViewer::arrowsInSearchFieldWalkTheList()
{
    HelpViewerWindow *w = open(HelpViewerWindow::IndexPage);
    QVERIFY(w);
    auto *search = w->findChild<QLineEdit *>("searchField");
    auto *keywords = w->findChild<QListWidget *>("keywordList");
    QTest::keyClicks(search, QStringLiteral("st"));
    QCOMPARE(keywords->currentRow(), 0);
    QTest::keyClick(search, Qt::Key_Down);
    QCOMPARE(keywords->currentRow(), 1);
    QCOMPARE(search->text(), QStringLiteral("st"));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(w->currentTopic(), 2); // "start (Tray icon)"
    QTest::keyClick(search, Qt::Key_Up);
    QCOMPARE(keywords->currentRow(), 0);
}

void TstHelpViewer::oneViewerAtATime()
{
    HelpViewerWindow *w = open(HelpViewerWindow::ContentsPage);
    QVERIFY(w);
    w->findChild<QListWidget *>("topicList")->setCurrentRow(2);

    // Called again for the index: the same window, switched to the index, keeping its topic.
    QVERIFY(m_viewer->showIndex(nullptr, m_path));
    QCOMPARE(viewers(), QList<HelpViewerWindow *>({w}));
    QCOMPARE(w->findChild<QTabWidget *>("tabs")->currentIndex(), int(HelpViewerWindow::IndexPage));
    QCOMPARE(w->currentTopic(), 2);
    // What was typed before is gone when the index is asked for again.
    auto *search = w->findChild<QLineEdit *>("searchField");
    auto *keywords = w->findChild<QListWidget *>("keywordList");
    QTest::keyClicks(search, QStringLiteral("ke"));
    QCOMPARE(itemTexts(keywords), QStringList({"keypad"}));
    QVERIFY(m_viewer->showIndex(nullptr, m_path));
    QVERIFY(search->text().isEmpty());
    QCOMPARE(keywords->count(), 8);

    // And back to the topics window.
    QVERIFY(m_viewer->showContents(nullptr, m_path));
    QCOMPARE(viewers(), QList<HelpViewerWindow *>({w}));
    QCOMPARE(w->findChild<QTabWidget *>("tabs")->currentIndex(),
             int(HelpViewerWindow::ContentsPage));

    // A minimised viewer comes back.
    w->showMinimized();
    QVERIFY(m_viewer->showContents(nullptr, m_path));
    QVERIFY(!w->isMinimized());

    // Closed, it is gone; the next call makes a new one.
    QPointer<HelpViewerWindow> old = w;
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(old.isNull());
    QVERIFY(open(HelpViewerWindow::ContentsPage));
}

void TstHelpViewer::keyboard()
{
    HelpViewerWindow *w = open(HelpViewerWindow::ContentsPage);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *topics = w->findChild<QListWidget *>("topicList");
    auto *text = w->findChild<QTextBrowser *>("topicText");
    QCOMPARE(QApplication::focusWidget(), topics);

    QTest::keyClick(topics, Qt::Key_Down);
    QCOMPARE(w->currentTopic(), 1);
    QTest::keyClick(topics, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text);
    QTest::keyClick(text, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), topics);

    // Index: the search field has the focus, Tab goes to the list, then to the text.
    QVERIFY(m_viewer->showIndex(nullptr, m_path));
    auto *search = w->findChild<QLineEdit *>("searchField");
    QCOMPARE(QApplication::focusWidget(), search);
    QTest::keyClick(search, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w->findChild<QListWidget *>("keywordList"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), text);

    // Escape closes the viewer, from wherever the focus is.
    QPointer<HelpViewerWindow> guard = w;
    QTest::keyClick(text, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void TstHelpViewer::linksOpenTopics()
{
    HelpViewerWindow *w = open(HelpViewerWindow::ContentsPage);
    QVERIFY(w);
    w->openTopic(1);
    auto *text = w->findChild<QTextBrowser *>("topicText");
    QVERIFY(text->toHtml().contains(QStringLiteral("topic:2")));
    emit text->anchorClicked(QUrl(QStringLiteral("topic:2")));
    QCOMPARE(w->currentTopic(), 2);
    QCOMPARE(w->findChild<QListWidget *>("topicList")->currentRow(), 2);
}

void TstHelpViewer::brokenFileNamesTheFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("why");
    QTest::newRow("missing, contents")
        << false << QByteArray() << int(HelpViewerWindow::ContentsPage) << "does not exist";
    QTest::newRow("missing, index")
        << false << QByteArray() << int(HelpViewerWindow::IndexPage) << "does not exist";
    QTest::newRow("empty") << true << QByteArray() << int(HelpViewerWindow::ContentsPage)
                           << "empty";
    QTest::newRow("damaged") << true << QByteArray("= A\n= a\n")
                             << int(HelpViewerWindow::ContentsPage) << "line 2";
    QTest::newRow("binary") << true << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)
                            << int(HelpViewerWindow::IndexPage) << "binary";
}

void TstHelpViewer::brokenFileNamesTheFile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    QFETCH(int, page);
    QFETCH(QString, why);

    if (exists)
        QVERIFY(writeFile(m_path, bytes));
    else
        QVERIFY(QFile::remove(m_path));

    QVERIFY(!show(HelpViewerWindow::Page(page)));
    const QList<HelpViewerWindow *> v = viewers();
    QCOMPARE(v.size(), 1);
    QVERIFY(v.first()->isVisible());
    const QString message = v.first()->errorText();
    QVERIFY2(message.contains(QLatin1Char('"') + m_path + QLatin1Char('"')), qPrintable(message));
    QVERIFY2(message.contains(why), qPrintable(message));
    QVERIFY(v.first()->findChild<QLabel *>("errorText")->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(v.first()));

    // Escape closes the message like the help.
    QPointer<HelpViewerWindow> guard = v.first();
    QTest::keyClick(v.first(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void TstHelpViewer::repairedFileIsShownOnTheNextCall()
{
    QVERIFY(QFile::remove(m_path));
    QVERIFY(!m_viewer->showContents(nullptr, m_path));
    HelpViewerWindow *w = viewers().value(0);
    QVERIFY(w && !w->errorText().isEmpty());

    QVERIFY(writeFile(m_path, sampleHelp));
    QVERIFY(m_viewer->showContents(nullptr, m_path));
    QCOMPARE(viewers(), QList<HelpViewerWindow *>({w}));
    QVERIFY(w->errorText().isEmpty());
    QCOMPARE(w->findChild<QListWidget *>("topicList")->count(), 3);
    QVERIFY(w->height() >= 480); // no longer the size of the message

    // A changed file is read again, and the reader stays on the same topic.
    w->openTopic(2);
    QVERIFY(writeFile(m_path, QByteArray(sampleHelp) + "= Added\nkeywords: new\nNew.\n"));
    QVERIFY(m_viewer->showContents(nullptr, m_path));
    QCOMPARE(w->findChild<QListWidget *>("topicList")->count(), 4);
    QCOMPARE(w->currentTopic(), 2);
}

void TstHelpViewer::helpCommandsUseTheProgramFolder()
{
    QTemporaryDir current;
    const QString oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(current.path()));
    QVERIFY(writeFile(current.filePath(QStringLiteral("lhelp.hlp")), sampleHelp));

    AppRig r;
    Form1 &f = r.form();
    f.contents_Click();
    f.action(QStringLiteral("index"))->trigger();
    f.action(QStringLiteral("contents"))->trigger();
    QDir::setCurrent(oldCurrent);

    using Call = fake::RecordingHelpViewer::Call;
    const QList<Call> &calls = r.fp.helpViewer->calls;
    const QString inProgramFolder = r.dir.filePath(QStringLiteral("lhelp.hlp"));
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0].kind, Call::Contents);
    QCOMPARE(calls[1].kind, Call::Index);
    QCOMPARE(calls[2].kind, Call::Contents);
    for (const Call &c : calls)
        QCOMPARE(c.path, inProgramFolder);
}

QTEST_MAIN(TstHelpViewer)
#include "tst_helpviewer.moc"
