#include "platform/evdev/evdevkeyboard.h"
#include "platform/evdev/evdevkeys.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

using platform::KeyState;

namespace {
constexpr int perLong = int(sizeof(unsigned long) * 8);
constexpr int keyLongs = (KEY_MAX + perLong) / perLong;

struct Bits
{
    unsigned long v[keyLongs] = {};
    void set(int n) { v[n / perLong] |= 1ul << (n % perLong); }
};

Bits letters()
{
    Bits b;
    for (int k : {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                  KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                  KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z})
        b.set(k);
    return b;
}

input_event ev(int type, int code, int value)
{
    input_event e{};
    e.type = std::uint16_t(type);
    e.code = std::uint16_t(code);
    e.value = value;
    return e;
}

// A virtual keyboard through uinput; valid() is false where uinput is not available.
class VirtualKeyboard
{
public:
    explicit VirtualKeyboard(const char *name)
    {
        m_fd = ::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return;
        ::ioctl(m_fd, UI_SET_EVBIT, EV_KEY);
        ::ioctl(m_fd, UI_SET_EVBIT, EV_SYN);
        for (int k = 1; k < 128; ++k)
            ::ioctl(m_fd, UI_SET_KEYBIT, k);
        uinput_setup setup{};
        setup.id.bustype = BUS_VIRTUAL;
        setup.id.vendor = 0x1234;
        setup.id.product = 0x5678;
        qstrncpy(setup.name, name, UINPUT_MAX_NAME_SIZE);
        if (::ioctl(m_fd, UI_DEV_SETUP, &setup) < 0 || ::ioctl(m_fd, UI_DEV_CREATE) < 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~VirtualKeyboard() { destroy(); }
    bool valid() const { return m_fd >= 0; }
    void destroy()
    {
        if (m_fd >= 0) {
            ::ioctl(m_fd, UI_DEV_DESTROY);
            ::close(m_fd);
            m_fd = -1;
        }
    }
    /// The device node, e.g. /dev/input/event7, once udev or devtmpfs made it.
    QString node() const
    {
        char sysname[64] = {};
        if (::ioctl(m_fd, UI_GET_SYSNAME(sizeof sysname), sysname) < 0)
            return {};
        const QDir dir(QStringLiteral("/sys/devices/virtual/input/") + QLatin1String(sysname));
        const QStringList events = dir.entryList({QStringLiteral("event*")}, QDir::Dirs);
        return events.isEmpty() ? QString() : QStringLiteral("/dev/input/") + events.first();
    }
    void key(int code, int value)
    {
        const input_event e[2] = {ev(EV_KEY, code, value), ev(EV_SYN, SYN_REPORT, 0)};
        [[maybe_unused]] ssize_t n = ::write(m_fd, e, sizeof e);
    }

private:
    int m_fd = -1;
};
} // namespace

class TstEvdevKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void keyboardsHaveTheLetters_data();
    void keyboardsHaveTheLetters();
    void keysDownBecomeScanCodes();
    void streamPressRepeatRelease();
    void streamResyncsAfterDroppedEvents();
    void permissionMessageSaysWhatToDo();
    void folderWithoutKeyboards();
    void unreadableNodeGivesThePermissionMessage();
    void virtualKeyboard();
};

void TstEvdevKeyboard::keyboardsHaveTheLetters_data()
{
    QTest::addColumn<QList<int>>("add");
    QTest::addColumn<QList<int>>("remove");
    QTest::addColumn<bool>("keyboard");
    QTest::newRow("letters") << QList<int>{} << QList<int>{} << true;
    QTest::newRow("full keyboard")
        << QList<int>{KEY_LEFTCTRL, KEY_1, KEY_F7, KEY_KP1} << QList<int>{} << true;
    QTest::newRow("no Z") << QList<int>{KEY_LEFTCTRL} << QList<int>{KEY_Z} << false;
    QTest::newRow("no A") << QList<int>{} << QList<int>{KEY_A} << false;
}

void TstEvdevKeyboard::keyboardsHaveTheLetters()
{
    QFETCH(QList<int>, add);
    QFETCH(QList<int>, remove);
    QFETCH(bool, keyboard);
    Bits b = letters();
    for (int k : add)
        b.set(k);
    for (int k : remove)
        b.v[k / perLong] &= ~(1ul << (k % perLong));
    QCOMPARE(platform::hasLetterKeys(b.v, keyLongs), keyboard);

    // Devices that are no keyboards: a power button, a mouse.
    Bits power;
    power.set(KEY_POWER);
    QVERIFY(!platform::hasLetterKeys(power.v, keyLongs));
    Bits mouse;
    mouse.set(BTN_LEFT);
    mouse.set(BTN_RIGHT);
    QVERIFY(!platform::hasLetterKeys(mouse.v, keyLongs));
    // A bit array too short to hold the letters.
    QVERIFY(!platform::hasLetterKeys(b.v, 0));
}

void TstEvdevKeyboard::keysDownBecomeScanCodes()
{
    Bits b;
    b.set(KEY_RIGHTCTRL);
    b.set(KEY_LEFTSHIFT);
    b.set(KEY_N);
    b.set(KEY_KP1);
    b.set(BTN_LEFT);
    KeyState state{};
    state[0x10] = platform::keyDownNow; // kept: the keys of several keyboards are ORed
    platform::addKeysDown(b.v, keyLongs, state);
    QList<int> down;
    for (int i = 0; i < 256; ++i) {
        if (state[i])
            down << i;
    }
    QCOMPARE(down, (QList<int>{0x10, 0x2A, 0x31, 0x4F, 0x9D}));
}

void TstEvdevKeyboard::streamPressRepeatRelease()
{
    platform::PressTracker tracker;
    platform::EvdevStream stream;
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_N, 1), tracker), int(platform::EvdevStream::NewPress));
    QCOMPARE(stream.feed(ev(EV_SYN, SYN_REPORT, 0), tracker), int(platform::EvdevStream::Nothing));
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_N, 2), tracker), int(platform::EvdevStream::Nothing));
    QCOMPARE(stream.feed(ev(EV_MSC, MSC_SCAN, 0x70011), tracker),
             int(platform::EvdevStream::Nothing));
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_N, 0), tracker), int(platform::EvdevStream::Nothing));
    QCOMPARE(stream.feed(ev(EV_KEY, BTN_LEFT, 1), tracker), int(platform::EvdevStream::Nothing));

    // N was tapped: down in the snapshot although the device shows it up now.
    KeyState down{}, out{};
    tracker.snapshot(down, out);
    QCOMPARE(out[0x31], platform::keyPressedSince);
    QCOMPARE(std::count_if(out.begin(), out.end(), [](std::uint8_t b) { return b != 0; }), 1);

    // Right Ctrl arrives as its extended code.
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_RIGHTCTRL, 1), tracker),
             int(platform::EvdevStream::NewPress));
    tracker.snapshot(down, out);
    QCOMPARE(out[0x9D], platform::keyPressedSince);
    QCOMPARE(out[0x1D], std::uint8_t(0));
}

void TstEvdevKeyboard::streamResyncsAfterDroppedEvents()
{
    platform::PressTracker tracker;
    platform::EvdevStream stream;
    // M is down before the overflow and released during it.
    stream.feed(ev(EV_KEY, KEY_M, 1), tracker);
    KeyState down{}, out{};
    down[0x32] = platform::keyDownNow;
    tracker.snapshot(down, out);

    QCOMPARE(stream.feed(ev(EV_SYN, SYN_DROPPED, 0), tracker), int(platform::EvdevStream::Nothing));
    // Stale until the next report: neither a press nor a release counts.
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_A, 1), tracker), int(platform::EvdevStream::Nothing));
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_M, 0), tracker), int(platform::EvdevStream::Nothing));
    QCOMPARE(stream.feed(ev(EV_SYN, SYN_REPORT, 0), tracker), int(platform::EvdevStream::Resync));

    // The device's state read again: A down, M up.
    KeyState now{};
    now[0x1E] = platform::keyDownNow;
    QVERIFY(platform::EvdevStream::resyncTracker(now, tracker));
    // M is known to be up again: pressing it is a new press.
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_M, 1), tracker), int(platform::EvdevStream::NewPress));
    tracker.snapshot(now, out);
    QCOMPARE(out[0x1E], std::uint8_t(platform::keyDownNow | platform::keyPressedSince));
    QCOMPARE(out[0x32], platform::keyPressedSince);

    // Back to normal after the report.
    QCOMPARE(stream.feed(ev(EV_KEY, KEY_B, 1), tracker), int(platform::EvdevStream::NewPress));
}

void TstEvdevKeyboard::permissionMessageSaysWhatToDo()
{
    const QString m = platform::evdevPermissionMessage(
        QStringLiteral("kim"),
        {QStringLiteral("/dev/input/event3"), QStringLiteral("/dev/input/event5")});
    QVERIFY(m.contains(QStringLiteral("/dev/input/event3, /dev/input/event5")));
    QVERIFY(m.contains(QStringLiteral("kim")));
    // The seat rule comes first, in a form that can be copied as it stands.
    const int rule = m.indexOf(
        QStringLiteral("SUBSYSTEM==\"input\", KERNEL==\"event*\", ENV{ID_INPUT_KEYBOARD}==\"1\", "
                       "TAG+=\"uaccess\""));
    const int group = m.indexOf(QStringLiteral("usermod -aG input kim"));
    QVERIFY(rule > 0);
    QVERIFY(group > rule);
    QVERIFY(m.contains(QStringLiteral("/etc/udev/rules.d/70-")));
    QVERIFY(m.contains(QStringLiteral("udevadm control --reload")));
    // Why it needs the access, and that it takes nothing away.
    QVERIFY(m.contains(QStringLiteral("hotkeys")));
    QVERIFY(m.contains(QStringLiteral("never grabs")));

    // Without a user name the commands still read as commands.
    QVERIFY(platform::evdevPermissionMessage({}, {QStringLiteral("/dev/input/event0")})
                .contains(QStringLiteral("usermod -aG input $USER")));
}

void TstEvdevKeyboard::folderWithoutKeyboards()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Not an input device: the capability query fails, so it is no keyboard.
    QFile f(dir.filePath(QStringLiteral("event0")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QFile other(dir.filePath(QStringLiteral("mice")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    platform::EvdevKeyboard kb(dir.path());
    QString error;
    QVERIFY(!kb.acquire(&error));
    QCOMPARE(error, platform::evdevNoKeyboardMessage(dir.path()));
    QVERIFY(kb.openNodes().isEmpty());
    KeyState state{};
    QVERIFY(!kb.readState(state, &error));
}

void TstEvdevKeyboard::unreadableNodeGivesThePermissionMessage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::setPermissions(
        dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                        QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    const QString node = dir.filePath(QStringLiteral("event4"));
    QFile f(node);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(QFile::setPermissions(node, QFileDevice::Permissions{}));

    platform::EvdevKeyboard kb(dir.path());
    QString error;
    bool ok = false;
    // Root reads anything: take the rights of nobody for the open.
    const bool root = ::geteuid() == 0;
    if (root)
        QVERIFY(::seteuid(65534) == 0);
    ok = kb.acquire(&error);
    if (root)
        QVERIFY(::seteuid(0) == 0);
    QVERIFY(!ok);
    QVERIFY2(error.contains(node), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("uaccess")));
}

void TstEvdevKeyboard::virtualKeyboard()
{
    VirtualKeyboard vk("dudud test keyboard");
    if (!vk.valid())
        QSKIP("/dev/uinput is not available: the device part runs only where a virtual "
              "keyboard can be made");
    QString node;
    QTRY_VERIFY_WITH_TIMEOUT(!(node = vk.node()).isEmpty() && QFile::exists(node), 5000);

    platform::EvdevKeyboard kb;
    QString error;
    QTRY_VERIFY_WITH_TIMEOUT(kb.acquire(&error), 5000);
    QVERIFY2(kb.openNodes().contains(node), qPrintable(kb.openNodes().join(' ')));

    KeyState state{};
    QVERIFY(kb.readState(state, &error));
    QSignalSpy pressed(&kb, &platform::KeyboardDevice::keyPressed);
    QSignalSpy failed(&kb, &platform::KeyboardDevice::failed);

    // Right Ctrl held, N tapped before the snapshot.
    vk.key(KEY_RIGHTCTRL, 1);
    vk.key(KEY_N, 1);
    vk.key(KEY_N, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!pressed.isEmpty(), 2000);
    QVERIFY(kb.readState(state, &error));
    QVERIFY(state[0x9D] & platform::keyDownNow);
    QCOMPARE(state[0x1D], std::uint8_t(0));
    QCOMPARE(state[0x31], platform::keyPressedSince);
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(state[0x31], std::uint8_t(0));
    QCOMPARE(state[0x9D], platform::keyDownNow);
    vk.key(KEY_RIGHTCTRL, 0);

    // Keypad 1 is not the main-row 1.
    vk.key(KEY_KP1, 1);
    QTRY_VERIFY_WITH_TIMEOUT(kb.readState(state, &error) && state[0x4F], 2000);
    QCOMPARE(state[0x02], std::uint8_t(0));
    vk.key(KEY_KP1, 0);

    // A keyboard plugged in later is picked up; unplugging one of two is no failure.
    VirtualKeyboard second("dudud test keyboard 2");
    QVERIFY(second.valid());
    QString node2;
    QTRY_VERIFY_WITH_TIMEOUT(!(node2 = second.node()).isEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(kb.openNodes().contains(node2), 10000);
    vk.destroy();
    QTRY_VERIFY_WITH_TIMEOUT(!kb.openNodes().contains(node), 5000);
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(failed.size(), 0);
}

QTEST_GUILESS_MAIN(TstEvdevKeyboard)
#include "tst_evdevkeyboard.moc"
