#include "platform/keyboard.h"
#include "platform/x11/x11keycodes.h"

#include <QtTest>

using platform::KeyState;

class TstKeycodes : public QObject
{
    Q_OBJECT
private slots:
    void xKeyCodes_data();
    void xKeyCodes();
    void noKeyLandsOnAWatchedCodeByAccident();
    void keycodesName_data();
    void keycodesName();
    void xKeymapBitmap();
    void trackerMergesTapsAndHeldKeys();
    void trackerTellsNewPressFromRepeat();
    void backendChoice_data();
    void backendChoice();
};

void TstKeycodes::xKeyCodes_data()
{
    QTest::addColumn<int>("xKeyCode");
    QTest::addColumn<int>("scanCode");

    // X key code = Linux code + 8; the Linux codes of the main block are set-1 codes.
    QTest::newRow("Escape") << 9 << 0x01;
    QTest::newRow("1") << 10 << 0x02;
    QTest::newRow("9") << 18 << 0x0A;
    QTest::newRow("0") << 19 << 0x0B;
    QTest::newRow("Q") << 24 << 0x10;
    QTest::newRow("A") << 38 << 0x1E;
    QTest::newRow("N") << 57 << 0x31;
    QTest::newRow("M") << 58 << 0x32;
    QTest::newRow("Z") << 52 << 0x2C;
    QTest::newRow("Left Ctrl") << 37 << 0x1D;
    QTest::newRow("Left Shift") << 50 << 0x2A;
    QTest::newRow("Right Shift") << 62 << 0x36;
    QTest::newRow("Left Alt") << 64 << 0x38;
    QTest::newRow("F1") << 67 << 0x3B;
    QTest::newRow("F7") << 73 << 0x41;
    QTest::newRow("F10") << 76 << 0x44;
    QTest::newRow("F11") << 95 << 0x57;
    QTest::newRow("F12") << 96 << 0x58;
    // The keypad keeps its own codes, apart from the main-row digits.
    QTest::newRow("KP7") << 79 << 0x47;
    QTest::newRow("KP1") << 87 << 0x4F;
    QTest::newRow("KP3") << 89 << 0x51;
    QTest::newRow("KP0") << 90 << 0x52;
    // The extended keys: 0x80 | their set-1 code.
    QTest::newRow("KP Enter") << 104 << 0x9C;
    QTest::newRow("Right Ctrl") << 105 << 0x9D;
    QTest::newRow("KP /") << 106 << 0xB5;
    QTest::newRow("SysRq") << 107 << 0xB7;
    QTest::newRow("Right Alt") << 108 << 0xB8;
    QTest::newRow("Home") << 110 << 0xC7;
    QTest::newRow("Up") << 111 << 0xC8;
    QTest::newRow("Page Up") << 112 << 0xC9;
    QTest::newRow("Left") << 113 << 0xCB;
    QTest::newRow("Right") << 114 << 0xCD;
    QTest::newRow("End") << 115 << 0xCF;
    QTest::newRow("Down") << 116 << 0xD0;
    QTest::newRow("Page Down") << 117 << 0xD1;
    QTest::newRow("Insert") << 118 << 0xD2;
    QTest::newRow("Delete") << 119 << 0xD3;
    QTest::newRow("Pause") << 127 << 0xC5;
    QTest::newRow("Left Meta") << 133 << 0xDB;
    QTest::newRow("Right Meta") << 134 << 0xDC;
    QTest::newRow("Compose") << 135 << 0xDD;
    // No scan code.
    QTest::newRow("below the evdev range") << 7 << -1;
    QTest::newRow("0 is no key") << 0 << -1;
    QTest::newRow("F13") << 191 << -1;
    QTest::newRow("out of range") << 256 << -1;
}

void TstKeycodes::xKeyCodes()
{
    QFETCH(int, xKeyCode);
    QFETCH(int, scanCode);
    QCOMPARE(platform::scanCodeFromXKeyCode(xKeyCode), scanCode);
}

void TstKeycodes::noKeyLandsOnAWatchedCodeByAccident()
{
    // Each scan code comes from one Linux key at most: a media key must never pass for a
    // letter, a keypad key for a digit.
    QHash<int, int> seen;
    for (int code = 0; code < 768; ++code) {
        const int sc = platform::scanCodeFromLinuxKey(code);
        if (sc < 0)
            continue;
        QVERIFY2(sc <= 0xFF, qPrintable(QString::number(code)));
        QVERIFY2(
            !seen.contains(sc),
            qPrintable(
                QStringLiteral("%1 and %2 both give %3").arg(seen.value(sc)).arg(code).arg(sc)));
        seen.insert(sc, code);
    }
}

void TstKeycodes::keycodesName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("evdev");
    QTest::newRow("plain") << QByteArray("evdev") << true;
    QTest::newRow("with aliases") << QByteArray("evdev+aliases(qwerty)") << true;
    QTest::newRow("xfree86") << QByteArray("xfree86+aliases(qwerty)") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("vnc") << QByteArray("vnc") << false;
    QTest::newRow("evdev not first") << QByteArray("xfree86+evdev") << false;
}

void TstKeycodes::keycodesName()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, evdev);
    QCOMPARE(platform::isEvdevKeycodesName(name), evdev);
}

void TstKeycodes::xKeymapBitmap()
{
    char keymap[32] = {};
    auto set = [&](int keycode) { keymap[keycode / 8] |= char(1 << (keycode % 8)); };
    set(105); // Right Ctrl
    set(50);  // Left Shift
    set(57);  // N
    set(87);  // KP1
    set(255); // no scan code
    KeyState state;
    state.fill(0xFF);
    platform::keyStateFromXKeymap(keymap, state);
    QList<int> down;
    for (int i = 0; i < 256; ++i) {
        if (state[i])
            down << i;
    }
    QCOMPARE(down, (QList<int>{0x2A, 0x31, 0x4F, 0x9D}));
    QVERIFY(!state[0x1D]); // Right Ctrl is not Left Ctrl
    QVERIFY(!state[0x02]); // KP1 is not 1
}

void TstKeycodes::trackerMergesTapsAndHeldKeys()
{
    platform::PressTracker t;
    KeyState down{}, out{};

    // Ctrl held, Shift and N tapped between two snapshots.
    QVERIFY(t.press(0x1D));
    QVERIFY(t.press(0x2A));
    QVERIFY(t.press(0x31));
    t.release(0x2A);
    t.release(0x31);
    down[0x1D] = 1;
    t.snapshot(down, out);
    QCOMPARE(out[0x1D], std::uint8_t(platform::keyDownNow | platform::keyPressedSince));
    QCOMPARE(out[0x2A], platform::keyPressedSince);
    QCOMPARE(out[0x31], platform::keyPressedSince);

    // The taps are forgotten; Ctrl is still down, no longer new.
    QVERIFY(!t.quiet());
    t.snapshot(down, out);
    QCOMPARE(out[0x1D], platform::keyDownNow);
    QCOMPARE(out[0x2A], std::uint8_t(0));
    QCOMPARE(out[0x31], std::uint8_t(0));

    // Ctrl released: quiet only once the snapshot has no press left to report.
    t.release(0x1D);
    QVERIFY(t.quiet());
    t.press(0x1E);
    t.release(0x1E);
    QVERIFY(!t.quiet());
    down.fill(0);
    t.snapshot(down, out);
    QCOMPARE(out[0x1E], platform::keyPressedSince);
    QVERIFY(t.quiet());
}

void TstKeycodes::trackerTellsNewPressFromRepeat()
{
    platform::PressTracker t;
    KeyState down{}, out{};
    down[0x31] = 1;
    t.snapshot(down, out);   // N already down
    QVERIFY(!t.press(0x31)); // auto-repeat
    t.snapshot(down, out);
    QCOMPARE(out[0x31], platform::keyDownNow);

    t.release(0x31);
    QVERIFY(t.press(0x31)); // released and pressed again between snapshots
    t.snapshot(down, out);
    QCOMPARE(out[0x31], std::uint8_t(platform::keyDownNow | platform::keyPressedSince));

    QVERIFY(!t.press(-1));
    QVERIFY(!t.press(256));
}

void TstKeycodes::backendChoice_data()
{
    using B = platform::KeyboardBackend;
    QTest::addColumn<QByteArray>("forced");
    QTest::addColumn<QByteArray>("sessionType");
    QTest::addColumn<QByteArray>("waylandDisplay");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<bool>("portal"); ///< the portal offers global shortcuts
    QTest::addColumn<bool>("evdev");  ///< a keyboard can be read
    QTest::addColumn<B>("backend");
    QTest::addColumn<QString>("asked"); ///< the probes made, in order

    const QByteArray none;
    QTest::newRow("x11 session") << none << QByteArray("x11") << none << QByteArray(":0") << true
                                 << true << B::X11 << "";
    QTest::newRow("DISPLAY only") << none << none << none << QByteArray(":1") << true << true
                                  << B::X11 << "";
    QTest::newRow("wayland with the portal")
        << none << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0") << true
        << true << B::Portal << "portal";
    QTest::newRow("wayland without the portal")
        << none << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0") << false
        << true << B::Evdev << "portal evdev";
    QTest::newRow("wayland with neither") << none << QByteArray("wayland") << none << none << false
                                          << false << B::None << "portal evdev";
    QTest::newRow("WAYLAND_DISPLAY without session type")
        << none << none << QByteArray("wayland-0") << QByteArray(":0") << true << true << B::Portal
        << "portal";
    QTest::newRow("console") << none << QByteArray("tty") << none << none << true << false
                             << B::Evdev << "";
    QTest::newRow("nothing set") << none << none << none << none << true << false << B::Evdev << "";
    QTest::newRow("forced evdev on x11") << QByteArray("evdev") << QByteArray("x11") << none
                                         << QByteArray(":0") << true << true << B::Evdev << "";
    QTest::newRow("forced X11 on wayland")
        << QByteArray("X11") << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0")
        << true << true << B::X11 << "";
    QTest::newRow("forced portal on x11") << QByteArray("Portal") << QByteArray("x11") << none
                                          << QByteArray(":0") << false << false << B::Portal << "";
    QTest::newRow("forced nonsense") << QByteArray("scripted") << QByteArray("x11") << none
                                     << QByteArray(":0") << true << true << B::Unknown << "";
}

void TstKeycodes::backendChoice()
{
    QFETCH(QByteArray, forced);
    QFETCH(QByteArray, sessionType);
    QFETCH(QByteArray, waylandDisplay);
    QFETCH(QByteArray, display);
    QFETCH(bool, portal);
    QFETCH(bool, evdev);
    QFETCH(platform::KeyboardBackend, backend);
    QFETCH(QString, asked);
    QStringList probes;
    platform::KeyboardProbes p;
    p.portalOffered = [&] { return probes << QStringLiteral("portal"), portal; };
    p.evdevReadable = [&] { return probes << QStringLiteral("evdev"), evdev; };
    QCOMPARE(platform::chooseKeyboardBackend(forced, sessionType, waylandDisplay, display, p),
             backend);
    QCOMPARE(probes.join(QLatin1Char(' ')), asked);
}

QTEST_GUILESS_MAIN(TstKeycodes)
#include "tst_keycodes.moc"
