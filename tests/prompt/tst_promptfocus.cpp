// The prompt on a real X server with a window manager that prevents focus stealing, opened
// while another application has the keyboard, as F7 does.

#include "app/launcher.h"
#include "platform/factory/backends.h"
#include "platform/fake/fakeplatform.h"
#include "entries/ini/fileprofile.h"
#include "prompt/form2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <utility>

namespace {

/// Xvfb, openbox and a small focused application of another process. Started before the
/// QApplication, so that it connects to this server; everything is stopped on destruction.
class XSession
{
public:
    ~XSession() { stop(); }

    QString error;
    QString display;

    bool start()
    {
        for (const char *tool : {"Xvfb", "openbox", "xdotool", "xprop"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                error = QStringLiteral("missing program: ") + QString::fromLatin1(tool);
                return false;
            }
        }
        // The server names its display on its output once it accepts connections. The
        // number is one above those of the other tests' servers and of a compositor's
        // Xwayland, which takes the lowest free one: a second server on the same number
        // could be reached through its abstract socket instead.
        int n = 400;
        while (n < 700 && (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
                           QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))))
            ++n;
        auto *x = new QProcess;
        x->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        x->start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(n), "-displayfd", "1",
                                          "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        m_children << x;
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains('\n') && t.elapsed() < 15000 && x->state() != QProcess::NotRunning) {
            x->waitForReadyRead(500);
            out += x->readAllStandardOutput();
        }
        if (out.contains('\n'))
            display = QStringLiteral(":") + QString::fromLatin1(out.trimmed());
        if (display.isEmpty()) {
            error = QStringLiteral("no X server could be started");
            return false;
        }
        qputenv("DISPLAY", display.toLocal8Bit());
        wm = spawn(QStringLiteral("openbox"), {"--sm-disable"});
        if (!waitFor(
                [&] {
                    return wm->state() != QProcess::Running ||
                           run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"})
                               .contains("window id");
                },
                15000) ||
            wm->state() != QProcess::Running) {
            error = QStringLiteral("the window manager did not start on %1 (%2)")
                        .arg(display, wm->state() == QProcess::Running
                                          ? QStringLiteral("no answer")
                                          : QStringLiteral("exit code %1").arg(wm->exitCode()));
            return false;
        }
        // The other application is a second copy of this program: a Qt window records the
        // time of the user's last input on it, as the window manager's focus-stealing
        // prevention expects.
        spawn(selfPath, {QStringLiteral("--other")});
        if (!waitFor([&] { return !findOther().isEmpty(); }, 10000)) {
            error = QStringLiteral("the other application did not appear");
            return false;
        }
        otherWindow = findOther();
        return true;
    }

    /// Gives the keyboard to the other application, waits until it has it, and types there,
    /// so that the user's latest input went to that application, not to us.
    bool focusOther()
    {
        run("xdotool", {"windowactivate", "--sync", otherWindow});
        if (!waitFor([&] { return focusedWindow() == otherWindow.toULongLong(); }, 3000))
            return false;
        run("xdotool", {"type", "--delay", "10", "typing elsewhere"});
        // A click is what the window manager itself sees of the user's work there.
        run("xdotool", {"mousemove", "--window", otherWindow, "10", "10", "click", "1"});
        return true;
    }

    quint64 focusedWindow() { return run("xdotool", {"getwindowfocus"}).trimmed().toULongLong(); }

    /// Runs a tool to its end; the X events it causes are handled later by the event loop.
    static QByteArray run(const char *program, const QStringList &args)
    {
        QProcess p;
        p.start(QString::fromLatin1(program), args);
        p.waitForFinished(10000);
        return p.readAllStandardOutput();
    }

    template <typename F> static bool waitFor(F done, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            if (QCoreApplication::instance())
                QTest::qWait(20);
            else
                QThread::msleep(20);
        }
        return true;
    }

    /// Ends the window manager; windows stay where they are. Its check window, named on the
    /// root window, goes with it.
    bool stopWindowManager()
    {
        const QByteArray prop = run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
        const QString check = QString::fromLatin1(prop.mid(prop.indexOf('#') + 1)).trimmed();
        if (wm)
            stopOne(std::exchange(wm, nullptr));
        return waitFor(
            [&] {
                return !run("xprop", {"-id", check, "_NET_SUPPORTING_WM_CHECK"})
                            .contains("window id");
            },
            5000);
    }

    void stop()
    {
        while (!m_children.isEmpty())
            stopOne(m_children.takeLast());
    }

    QString otherWindow;
    static inline QString selfPath;

private:
    static QString findOther()
    {
        return QString::fromLatin1(
                   run("xdotool", {"search", "--name", "^dudud other application$"}))
            .trimmed()
            .split('\n')
            .first();
    }

    QProcess *spawn(const QString &program, const QStringList &args)
    {
        auto *p = new QProcess;
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(program, args);
        p->waitForStarted(5000);
        m_children << p;
        return p;
    }

    void stopOne(QProcess *p)
    {
        m_children.removeAll(p);
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
        delete p;
    }

    QList<QProcess *> m_children;
    QProcess *wm = nullptr;
};

XSession *session = nullptr;

struct Entry
{
    QString keyword, action;
};

void setEntries(Launcher &l, const QList<Entry> &entries)
{
    EntryTables &t = l.store().tables;
    t.Hotkey.clear();
    t.Keyword.clear();
    t.Action.clear();
    for (const Entry &e : entries) {
        t.Hotkey << QString();
        t.Keyword << e.keyword;
        t.Action << e.action;
    }
    t.s = QString::number(entries.size());
}

} // namespace

class TstPromptFocus : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openedWhileAnotherApplicationHasTheKeyboard();
    void quickReopenTakesNewCopies();
    void activationRequestAlone();
    void withoutWindowManager(); // last: it ends the window manager

private:
    /// Opens the prompt as the hotkey monitor does on F7, and waits for the X input focus.
    bool openFromOther();

    fake::FakePlatform *m_fp = nullptr;
    QTemporaryDir m_dir;
    Launcher *m_f = nullptr;
};

void TstPromptFocus::init()
{
    m_fp = new fake::FakePlatform;
    // The real window system's focus: that is what these tests are about.
    m_fp->windowFocus = nullptr;
    m_fp->bundle.windowFocus = platform::createWindowFocus();
    m_fp->bundle.profile = std::make_unique<ini::FileProfile>();
    m_f = new Launcher(std::move(m_fp->bundle), m_dir.path());
    setEntries(*m_f, {{"notes", "/usr/bin/notes"}, {"web", "https://example.org"}});
}

void TstPromptFocus::cleanup()
{
    delete m_f; // takes the prompt with it
    m_f = nullptr;
    delete m_fp;
    m_fp = nullptr;
}

bool TstPromptFocus::openFromOther()
{
    if (!session->focusOther()) {
        qWarning("the other application did not get the keyboard");
        return false;
    }
    m_f->qlauncher_Click();
    Form2 *p = m_f->prompt();
    const quint64 id = p->winId();
    QElapsedTimer t;
    t.start();
    const bool focused = XSession::waitFor(
        [&] { return session->focusedWindow() == id && p->isActiveWindow(); }, 2000);
    if (focused)
        qInfo("prompt focused after %lld ms", t.elapsed());
    else
        qWarning("prompt not focused: X focus %llu, prompt %llu, active %d",
                 session->focusedWindow(), id, int(p->isActiveWindow()));
    return focused;
}

void TstPromptFocus::openedWhileAnotherApplicationHasTheKeyboard()
{
    QVERIFY(openFromOther());
    Form2 *p = m_f->prompt();
    XSession::run("xdotool", {"type", "--delay", "10", "notes"});
    QTRY_COMPARE(p->Text1->text(), QStringLiteral("notes"));
    XSession::run("xdotool", {"key", "Return"});
    QTRY_VERIFY(!p->isVisible());
    QTest::qWait(100);
    QCOMPARE(m_fp->shell->log(), QStringList{"open:/usr/bin/notes"});
    QCOMPARE(p->Text1->text(), QString());

    // Every later opening gets the keyboard as well.
    QVERIFY(openFromOther());
}

void TstPromptFocus::quickReopenTakesNewCopies()
{
    // Enter and an immediate F7: the X server may still count the prompt as focused.
    QVERIFY(openFromOther());
    Form2 *p = m_f->prompt();
    XSession::run("xdotool", {"type", "--delay", "10", "mail"});
    XSession::run("xdotool", {"key", "Return"});
    QTRY_COMPARE(m_fp->dialogs->messages.size(), 1);
    setEntries(*m_f, {{"mail", "/usr/bin/mail"}});
    m_f->qlauncher_Click();
    QTRY_VERIFY(p->isActiveWindow());
    QTRY_COMPARE(session->focusedWindow(), quint64(p->winId()));
    XSession::run("xdotool", {"type", "--delay", "10", "mail"});
    XSession::run("xdotool", {"key", "Return"});
    QTRY_COMPARE(m_fp->shell->log(), QStringList{"open:/usr/bin/mail"});
    QCOMPARE(m_fp->dialogs->messages.size(), 1);
}

void TstPromptFocus::withoutWindowManager()
{
    QVERIFY(session->stopWindowManager());
    XSession::run("xdotool", {"windowfocus", "--sync", session->otherWindow});
    QTRY_COMPARE(session->focusedWindow(), session->otherWindow.toULongLong());

    // The request alone sets the focus when nobody manages the windows.
    {
        QWidget w;
        w.setAttribute(Qt::WA_ShowWithoutActivating);
        w.resize(200, 40);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(200);
        QCOMPARE(session->focusedWindow(), session->otherWindow.toULongLong());
        QVERIFY(platform::createWindowFocus()->activate(&w));
        QTRY_COMPARE_WITH_TIMEOUT(session->focusedWindow(), quint64(w.winId()), 2000);
    }
    XSession::run("xdotool", {"windowfocus", "--sync", session->otherWindow});
    QTRY_COMPARE(session->focusedWindow(), session->otherWindow.toULongLong());

    m_f->qlauncher_Click();
    Form2 *p = m_f->prompt();
    QTRY_COMPARE_WITH_TIMEOUT(session->focusedWindow(), quint64(p->winId()), 2000);
    QTRY_VERIFY(p->isActiveWindow());
    XSession::run("xdotool", {"type", "--delay", "10", "web"});
    XSession::run("xdotool", {"key", "Return"});
    QTRY_COMPARE(m_fp->shell->log(), QStringList{"url:https://example.org"});
    QVERIFY(!p->isVisible());
}

/// The other application: one line edit that takes the keyboard.
int runOther(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("dudud other application"));
    edit.setGeometry(50, 50, 400, 40);
    edit.show();
    return app.exec();
}

void TstPromptFocus::activationRequestAlone()
{
    // A window that asks for no focus of its own when shown stays behind the application
    // the user works in, until the activation request brings it forward.
    QVERIFY(session->focusOther());
    QWidget w;
    w.setWindowTitle(QStringLiteral("dudud activation"));
    w.setAttribute(Qt::WA_ShowWithoutActivating);
    w.resize(200, 40);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(300);
    QCOMPARE(session->focusedWindow(), session->otherWindow.toULongLong());

    // The backend offers the request on X11 only: true says it is supported here.
    const std::unique_ptr<platform::WindowFocus> focus = platform::createWindowFocus();
    QVERIFY(focus->activate(&w));
    QTRY_COMPARE_WITH_TIMEOUT(session->focusedWindow(), quint64(w.winId()), 2000);
    QTRY_VERIFY(w.isActiveWindow());
    QCOMPARE(focus->focusOwner(&w), platform::FocusOwner::Window);
    QWidget other;
    QCOMPARE(focus->focusOwner(&other), platform::FocusOwner::OtherOfOurs);

    QVERIFY(session->focusOther());
    QCOMPARE(focus->focusOwner(&w), platform::FocusOwner::Foreign);
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--other") == 0)
        return runOther(argc, argv);
    XSession::selfPath = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    qputenv("QT_QPA_PLATFORM", "xcb");
    XSession x;
    session = &x;
    if (!x.start()) {
        fprintf(stderr, "cannot set up the X session: %s\n", qPrintable(x.error));
        return 1;
    }
    int rc = 1;
    {
        QApplication app(argc, argv);
        TstPromptFocus t;
        QTEST_SET_MAIN_SOURCE_PATH
        rc = QTest::qExec(&t, argc, argv);
    }
    // The server goes only after the application has let go of it.
    x.stop();
    return rc;
}

#include "tst_promptfocus.moc"
