// The X11 keyboard device against a real X server: an Xvfb of its own, driven through XTest
// by key code (a key symbol would let the server pick which key it presses).

#include "platform/keyboard.h"
#include "platform/x11/x11keyboard.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using platform::KeyState;

namespace {
// X key codes of the server's evdev key codes.
constexpr unsigned kcLeftCtrl = 37;
constexpr unsigned kcLeftShift = 50;
constexpr unsigned kcN = 57;
constexpr unsigned kcKP1 = 87;
constexpr unsigned kcRightCtrl = 105;
} // namespace

class TstX11Keyboard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void rightCtrlIsItsOwnKey();
    void shortTapIsSeenOnce();
    void keypadOneIsNotMainRowOne();
    void pressSignalsAtOnce();
    void heldKeyIsNotANewPressAgain();
    void lostServerIsReportedNotFatal();
    void lostServerWithUnreadEventsIsNotFatal();

private:
    bool startServer();
    void stopServer();
    void removeServerFiles();
    void key(unsigned keycode, bool down);
    KeyState snapshot();

    QProcess m_xvfb;
    QByteArray m_display;
    Display *m_xtest = nullptr;
    platform::X11Keyboard *m_kb = nullptr;
};

bool TstX11Keyboard::startServer()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return false;
    for (int n = 73; n < 200; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            continue;
        m_display = ":" + QByteArray::number(n);
        // The server goes with this test even when the test dies or is killed.
        m_xvfb.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_xvfb.start(xvfb, {QString::fromLatin1(m_display), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("640x480x24")});
        if (!m_xvfb.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100 && m_xvfb.state() == QProcess::Running; ++i) {
            if (Display *d = XOpenDisplay(m_display.constData())) {
                m_xtest = d;
                return true;
            }
            QTest::qWait(50);
        }
        stopServer(); // lost a race for that number: try the next
    }
    return false;
}

void TstX11Keyboard::stopServer()
{
    if (m_xtest) {
        XCloseDisplay(m_xtest);
        m_xtest = nullptr;
    }
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(5000)) {
            m_xvfb.kill();
            m_xvfb.waitForFinished(5000);
            removeServerFiles();
        }
    }
}

void TstX11Keyboard::removeServerFiles()
{
    // A killed server leaves its socket and lock behind.
    const QByteArray n = m_display.mid(1);
    QFile::remove(QStringLiteral("/tmp/.X11-unix/X") + QString::fromLatin1(n));
    QFile::remove(QStringLiteral("/tmp/.X%1-lock").arg(QString::fromLatin1(n)));
}

void TstX11Keyboard::initTestCase()
{
    if (!startServer())
        QSKIP("Xvfb is not installed or did not start");
    int ev, err, major, minor;
    if (!XTestQueryExtension(m_xtest, &ev, &err, &major, &minor))
        QSKIP("the X server has no XTest extension");
}

void TstX11Keyboard::cleanupTestCase()
{
    delete m_kb;
    m_kb = nullptr;
    stopServer();
}

void TstX11Keyboard::init()
{
    // A test that killed the server leaves the next one to start another.
    if (!m_xtest)
        QVERIFY(startServer());
    m_kb = new platform::X11Keyboard(m_display);
    QString error;
    QVERIFY2(m_kb->acquire(&error), qPrintable(error));
    QCOMPARE(m_kb->name(), QStringLiteral("X11"));
}

void TstX11Keyboard::cleanup()
{
    if (m_xtest) {
        for (unsigned kc : {kcLeftCtrl, kcLeftShift, kcN, kcKP1, kcRightCtrl})
            XTestFakeKeyEvent(m_xtest, kc, False, CurrentTime);
        XSync(m_xtest, False);
    }
    delete m_kb;
    m_kb = nullptr;
}

void TstX11Keyboard::key(unsigned keycode, bool down)
{
    XTestFakeKeyEvent(m_xtest, keycode, down ? True : False, CurrentTime);
    XSync(m_xtest, False);
}

KeyState TstX11Keyboard::snapshot()
{
    KeyState state;
    state.fill(0xAA);
    QString error;
    if (!m_kb->readState(state, &error))
        qWarning("readState: %s", qPrintable(error));
    return state;
}

void TstX11Keyboard::rightCtrlIsItsOwnKey()
{
    key(kcRightCtrl, true);
    KeyState s = snapshot();
    QVERIFY(s[0x9D] & platform::keyDownNow);
    QCOMPARE(s[0x1D], std::uint8_t(0));

    key(kcRightCtrl, false);
    key(kcLeftCtrl, true);
    s = snapshot();
    QVERIFY(s[0x1D] & platform::keyDownNow);
    QVERIFY(!(s[0x9D] & platform::keyDownNow));
}

void TstX11Keyboard::shortTapIsSeenOnce()
{
    // Shift held, N pressed and released before the snapshot: the keymap alone would miss it.
    key(kcLeftShift, true);
    key(kcN, true);
    key(kcN, false);
    KeyState s = snapshot();
    QVERIFY(s[0x2A] & platform::keyDownNow);
    QCOMPARE(s[0x31], platform::keyPressedSince);

    s = snapshot();
    QCOMPARE(s[0x31], std::uint8_t(0));
    QCOMPARE(s[0x2A], platform::keyDownNow);
}

void TstX11Keyboard::keypadOneIsNotMainRowOne()
{
    key(kcKP1, true);
    const KeyState s = snapshot();
    QVERIFY(s[0x4F] & platform::keyDownNow);
    QCOMPARE(s[0x02], std::uint8_t(0));
}

void TstX11Keyboard::pressSignalsAtOnce()
{
    snapshot();
    QSignalSpy spy(m_kb, &platform::KeyboardDevice::keyPressed);
    key(kcN, true);
    QVERIFY(spy.wait(2000));
    // A release is no press.
    spy.clear();
    key(kcN, false);
    QVERIFY(!spy.wait(300));
}

void TstX11Keyboard::heldKeyIsNotANewPressAgain()
{
    key(kcN, true);
    KeyState s = snapshot();
    QCOMPARE(s[0x31], std::uint8_t(platform::keyDownNow | platform::keyPressedSince));
    s = snapshot();
    QCOMPARE(s[0x31], platform::keyDownNow);

    // Released and pressed again between two snapshots: a new press.
    key(kcN, false);
    key(kcN, true);
    s = snapshot();
    QCOMPARE(s[0x31], std::uint8_t(platform::keyDownNow | platform::keyPressedSince));
}

void TstX11Keyboard::lostServerIsReportedNotFatal()
{
    // Runs last: the server goes away and the process must live on to report it.
    QSignalSpy failed(m_kb, &platform::KeyboardDevice::failed);
    if (m_xtest) {
        // Closing the test's own connection later would meet the dead server.
        XCloseDisplay(m_xtest);
        m_xtest = nullptr;
    }
    m_xvfb.terminate();
    QVERIFY(m_xvfb.waitForFinished(5000));
    if (failed.isEmpty())
        QVERIFY(failed.wait(3000));
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QString::fromLatin1(m_display)));

    // The failure was signalled: a tick afterwards fails too, without a second signal.
    KeyState state{};
    QString error;
    QVERIFY(!m_kb->readState(state, &error));
    QVERIFY(!error.isEmpty());
    QTest::qWait(100);
    QCOMPARE(failed.size(), 1);
}

void TstX11Keyboard::lostServerWithUnreadEventsIsNotFatal()
{
    // The server dies and Xlib meets its death while it still has events to read: that goes
    // through Xlib's fatal I/O error path, which must not end the process.
    QString error;
    QSignalSpy failed(m_kb, &platform::KeyboardDevice::failed);

    key(kcN, true); // a raw event now waits unread on the device's connection
    XCloseDisplay(m_xtest);
    m_xtest = nullptr;
    m_xvfb.kill();
    QVERIFY(m_xvfb.waitForFinished(5000));
    removeServerFiles();

    KeyState state{};
    QVERIFY(!m_kb->readState(state, &error));
    QVERIFY(!error.isEmpty());
    // Reported once, by readState: no signal follows.
    QTest::qWait(200);
    QCOMPARE(failed.size(), 0);
}

QTEST_GUILESS_MAIN(TstX11Keyboard)
#include "tst_x11keyboard.moc"
