#include "entries/ini.h"
#include "help/helpviewer.h"
#include "help/helpviewerwindow.h"
#include "mainwindow/form1.h"
#include "platform/fake/fakeplatform.h"
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
    void unknownCommandShowsNothing();

    void helpCommandsUseTheProgramFolder();

private:
    HelpViewerWindow *open(unsigned command, const QString &data = QString());

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

HelpViewerWindow *TstHelpViewer::open(unsigned command, const QString &data)
{
    m_viewer->WinHelpA(nullptr, m_path, command, data);
    const QList<HelpViewerWindow *> v = viewers();
    return v.size() == 1 ? v.first() : nullptr;
}

void TstHelpViewer::topicsWindowListsEveryTopic()
{
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpFinder, QString()));
    HelpViewerWindow *w = open(platform::HelpFinder);
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

    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpPartialKey, QString()));
    HelpViewerWindow *w = open(platform::HelpPartialKey);
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
    HelpViewerWindow *w = open(platform::HelpPartialKey);
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
    HelpViewerWindow *w = open(platform::HelpFinder);
    QVERIFY(w);
    w->findChild<QListWidget *>("topicList")->setCurrentRow(2);

    // Called again for the index: the same window, switched to the index, keeping its topic,
    // with the given text in the search field.
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpPartialKey, QStringLiteral("ke")));
    QCOMPARE(viewers(), QList<HelpViewerWindow *>({w}));
    QCOMPARE(w->findChild<QTabWidget *>("tabs")->currentIndex(), int(HelpViewerWindow::IndexPage));
    QCOMPARE(w->currentTopic(), 2);
    QCOMPARE(w->findChild<QLineEdit *>("searchField")->text(), QStringLiteral("ke"));
    QCOMPARE(itemTexts(w->findChild<QListWidget *>("keywordList")), QStringList({"keypad"}));
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpPartialKey, QString()));
    QCOMPARE(w->findChild<QListWidget *>("keywordList")->count(), 8);

    // And back to the topics window.
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpFinder, QString()));
    QCOMPARE(viewers(), QList<HelpViewerWindow *>({w}));
    QCOMPARE(w->findChild<QTabWidget *>("tabs")->currentIndex(),
             int(HelpViewerWindow::ContentsPage));

    // A minimised viewer comes back.
    w->showMinimized();
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpFinder, QString()));
    QVERIFY(!w->isMinimized());

    // Closed, it is gone; the next call makes a new one.
    QPointer<HelpViewerWindow> old = w;
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(old.isNull());
    QVERIFY(open(platform::HelpFinder));
}

void TstHelpViewer::keyboard()
{
    HelpViewerWindow *w = open(platform::HelpFinder);
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
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpPartialKey, QString()));
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
    HelpViewerWindow *w = open(platform::HelpFinder);
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
    QTest::addColumn<unsigned>("command");
    QTest::addColumn<QString>("why");
    QTest::newRow("missing, contents")
        << false << QByteArray() << unsigned(platform::HelpFinder) << "does not exist";
    QTest::newRow("missing, index")
        << false << QByteArray() << unsigned(platform::HelpPartialKey) << "does not exist";
    QTest::newRow("empty") << true << QByteArray() << unsigned(platform::HelpFinder) << "empty";
    QTest::newRow("damaged") << true << QByteArray("= A\n= a\n") << unsigned(platform::HelpFinder)
                             << "line 2";
    QTest::newRow("binary") << true << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)
                            << unsigned(platform::HelpPartialKey) << "binary";
}

void TstHelpViewer::brokenFileNamesTheFile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    QFETCH(unsigned, command);
    QFETCH(QString, why);

    if (exists)
        QVERIFY(writeFile(m_path, bytes));
    else
        QVERIFY(QFile::remove(m_path));

    QVERIFY(!m_viewer->WinHelpA(nullptr, m_path, command, QString()));
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
    QVERIFY(!m_viewer->WinHelpA(nullptr, m_path, platform::HelpFinder, QString()));
    HelpViewerWindow *w = viewers().value(0);
    QVERIFY(w && !w->errorText().isEmpty());

    QVERIFY(writeFile(m_path, sampleHelp));
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpFinder, QString()));
    QCOMPARE(viewers(), QList<HelpViewerWindow *>({w}));
    QVERIFY(w->errorText().isEmpty());
    QCOMPARE(w->findChild<QListWidget *>("topicList")->count(), 3);
    QVERIFY(w->height() >= 480); // no longer the size of the message

    // A changed file is read again, and the reader stays on the same topic.
    w->openTopic(2);
    QVERIFY(writeFile(m_path, QByteArray(sampleHelp) + "= Added\nkeywords: new\nNew.\n"));
    QVERIFY(m_viewer->WinHelpA(nullptr, m_path, platform::HelpFinder, QString()));
    QCOMPARE(w->findChild<QListWidget *>("topicList")->count(), 4);
    QCOMPARE(w->currentTopic(), 2);
}

void TstHelpViewer::unknownCommandShowsNothing()
{
    QVERIFY(!m_viewer->WinHelpA(nullptr, m_path, 2, QString()));
    QVERIFY(viewers().isEmpty());
}

void TstHelpViewer::helpCommandsUseTheProgramFolder()
{
    QTemporaryDir programDirA, programDirB, current;
    const QString oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(current.path()));
    QVERIFY(writeFile(current.filePath(QStringLiteral("lhelp.hlp")), sampleHelp));

    fake::FakePlatform fp;
    Form1 f(std::move(fp.bundle));
    setProgramDirForTesting(programDirA.path());

    f.contents_Click();
    f.action(QStringLiteral("index"))->trigger();
    setProgramDirForTesting(programDirB.path()); // the path is built anew for each command
    f.action(QStringLiteral("contents"))->trigger();

    setProgramDirForTesting(QString());
    QDir::setCurrent(oldCurrent);

    const QList<fake::RecordingHelpViewer::Call> &calls = fp.helpViewer->calls;
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[0].path, programDirA.filePath(QStringLiteral("lhelp.hlp")));
    QCOMPARE(calls[0].command, 11u);
    QVERIFY(calls[0].data.isEmpty());
    QCOMPARE(calls[1].path, programDirA.filePath(QStringLiteral("lhelp.hlp")));
    QCOMPARE(calls[1].command, 261u);
    QVERIFY(calls[1].data.isEmpty());
    QCOMPARE(calls[2].path, programDirB.filePath(QStringLiteral("lhelp.hlp")));
    QCOMPARE(calls[2].command, 11u);
}

QTEST_MAIN(TstHelpViewer)
#include "tst_helpviewer.moc"
