// Before Qt: GLib names a member "signals", which Qt defines as a keyword.
#include <umockdev.h>

#include "launch/hotkeymonitor.h"
#include "platform/evdev/evdevkeyboard.h"

#include "benchfigures.h"

#include <QAbstractEventDispatcher>
#include <QSignalSpy>
#include <QtTest>

#include <bitset>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <linux/input.h>
#include <memory>
#include <mutex>
#include <unistd.h>

// The evdev keyboard against keyboards under a fake /dev/input: an umockdev test bed in this
// process (the test runs with umockdev's preload library) makes the device folder and its nodes,
// answers the EVIOCG* requests from the keys the test holds down, and carries the events the
// test writes into each node's terminal pair through poll and read, as the kernel would.

namespace {
constexpr int perLong = int(sizeof(unsigned long) * 8);
constexpr int keyLongs = (KEY_MAX + perLong) / perLong;

class FakeKeyboards
{
public:
    FakeKeyboards() : m_bed(umockdev_testbed_new()) {}
    ~FakeKeyboards()
    {
        for (auto &k : m_keyboards)
            g_object_unref(k->handler);
        g_object_unref(m_bed);
    }

    /// Plugs in keyboard @p i as /dev/input/event<i>.
    void plug(int i)
    {
        while (int(m_keyboards.size()) <= i)
            m_keyboards.push_back(std::make_unique<Keyboard>());
        Keyboard &k = *m_keyboards[i];
        k.node = QStringLiteral("/dev/input/event%1").arg(i);
        k.sysPath = QStringLiteral("/sys/devices/virtual/input/input%1/event%1").arg(i);
        // The handler must be in place before the node appears: the program's open looks for it.
        k.handler = umockdev_ioctl_base_new();
        g_signal_connect(k.handler, "handle-ioctl", G_CALLBACK(&FakeKeyboards::onIoctl), &k);
        g_signal_connect(k.handler, "handle-read", G_CALLBACK(&FakeKeyboards::onRead), &k);
        GError *error = nullptr;
        if (!umockdev_testbed_attach_ioctl(m_bed, qPrintable(k.node), k.handler, &error))
            qFatal("cannot attach the ioctl handler: %s", error->message);
        const QString description = QStringLiteral("P: %1\nN: input/event%2\n"
                                                   "E: DEVNAME=%3\nE: SUBSYSTEM=input\n"
                                                   "E: ID_INPUT=1\nE: ID_INPUT_KEYBOARD=1\n"
                                                   "E: MAJOR=13\nE: MINOR=%4\nA: dev=13:%4\n")
                                        .arg(k.sysPath.mid(4))
                                        .arg(i)
                                        .arg(k.node)
                                        .arg(64 + i);
        if (!umockdev_testbed_add_from_string(m_bed, qPrintable(description), &error))
            qFatal("cannot add the keyboard: %s", error->message);
        k.master = umockdev_testbed_get_dev_fd(m_bed, qPrintable(k.node));
        char *root = umockdev_testbed_get_root_dir(m_bed);
        k.terminal = QFile::symLinkTarget(QFile::decodeName(root) + k.node);
        g_free(root);
    }

    /// Unplugs keyboard @p i: its node goes, and what the program has open of it hangs up.
    void unplug(int i)
    {
        Keyboard &k = *m_keyboards[i];
        {
            std::lock_guard lock(k.mutex);
            k.gone = true;
        }
        umockdev_testbed_remove_device(m_bed, qPrintable(k.sysPath));
        // Closing the test bed's end of the terminal pair hangs up the program's end, so that
        // poll reports it as it does an unplugged device; its reads fail (onRead). The test
        // bed closes that number again when it goes, so the number stays taken.
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::dup2(null, k.master);
        ::close(null);
    }

    /// Key @p code goes down (1), repeats (2) or up (0) on keyboard @p i.
    void key(int i, int code, int value)
    {
        setDown(i, code, value != 0);
        write(i, {event(EV_KEY, code, value), event(EV_SYN, SYN_REPORT, 0)});
    }
    /// The device's key state changes, its events lost.
    void setDown(int i, int code, bool down)
    {
        std::lock_guard lock(m_keyboards[i]->mutex);
        m_keyboards[i]->down.set(code, down);
    }
    void write(int i, std::initializer_list<input_event> events)
    {
        const std::vector<input_event> v(events);
        const ssize_t size = ssize_t(v.size() * sizeof(input_event));
        if (::write(m_keyboards[i]->master, v.data(), size_t(size)) != size)
            qFatal("cannot write to the keyboard: %s", strerror(errno));
    }
    static input_event event(int type, int code, int value)
    {
        input_event e{};
        e.type = std::uint16_t(type);
        e.code = std::uint16_t(code);
        e.value = value;
        return e;
    }

    QString node(int i) const { return m_keyboards[i]->node; }
    /// The terminal the node leads to, as /proc/self/fd shows the program's open files.
    QString terminal(int i) const { return m_keyboards[i]->terminal; }
    std::vector<unsigned long> requests(int i) const
    {
        std::lock_guard lock(m_keyboards[i]->mutex);
        return m_keyboards[i]->requests;
    }
    /// How often the keys down were asked for (EVIOCGKEY).
    int keyStateRequests(int i) const
    {
        const std::vector<unsigned long> r = requests(i);
        return int(std::count_if(r.begin(), r.end(),
                                 [](unsigned long q) { return q == EVIOCGKEY(_IOC_SIZE(q)); }));
    }

private:
    struct Keyboard
    {
        QString node, sysPath, terminal;
        UMockdevIoctlBase *handler = nullptr;
        int master = -1;
        mutable std::mutex mutex; // the handler runs on the test bed's thread
        std::bitset<KEY_MAX + 1> down;
        bool gone = false;
        std::vector<unsigned long> requests;
    };

    // An unplugged device fails its reads, as the kernel's does; else the events written come.
    static gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
    {
        auto *k = static_cast<Keyboard *>(data);
        std::lock_guard lock(k->mutex);
        if (!k->gone)
            return FALSE;
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }

    // Answers as the kernel does: the key capabilities of a full keyboard, and the keys down now.
    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
    {
        auto *k = static_cast<Keyboard *>(data);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        std::lock_guard lock(k->mutex);
        k->requests.push_back(request);
        if (k->gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        unsigned long bits[keyLongs] = {};
        const unsigned size = _IOC_SIZE(request);
        if (request == EVIOCGBIT(EV_KEY, size)) {
            for (int code = KEY_ESC; code <= KEY_COMPOSE; ++code)
                bits[code / perLong] |= 1ul << (code % perLong);
        } else if (request == EVIOCGKEY(size)) {
            for (int code = 0; code <= KEY_MAX; ++code) {
                if (k->down.test(code))
                    bits[code / perLong] |= 1ul << (code % perLong);
            }
        } else if (request == EVIOCGRAB) {
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        } else {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        const unsigned n = qMin<unsigned>(size, sizeof bits);
        GError *error = nullptr;
        UMockdevIoctlData *buf =
            umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, n, &error);
        if (!buf)
            qFatal("cannot reach the ioctl buffer: %s", error->message);
        memcpy(buf->data, bits, n);
        g_object_unref(buf);
        umockdev_ioctl_client_complete(client, long(n), 0);
        return TRUE;
    }

    UMockdevTestbed *m_bed;
    std::deque<std::unique_ptr<Keyboard>> m_keyboards;
};

int linuxKey(const QString &name)
{
    static const QHash<QString, int> keys{
        {"LCtrl", KEY_LEFTCTRL},
        {"RCtrl", KEY_RIGHTCTRL},
        {"LShift", KEY_LEFTSHIFT},
        {"RShift", KEY_RIGHTSHIFT},
        {"a", KEY_A},
        {"m", KEY_M},
        {"n", KEY_N},
        {"F7", KEY_F7},
    };
    if (!keys.contains(name))
        qFatal("unknown key name in script: %s", qPrintable(name));
    return keys.value(name);
}

QString describe(const HotkeyMonitor::Decision &d)
{
    return (d.openPrompt ? QStringLiteral("!") : QString()) + d.keys.join(QLatin1Char(','));
}
} // namespace

class TstEvdevDevice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void hotkeys_data();
    void hotkeys();
    void readsWithoutTakingKeys();
    void sleepsWhileNoKeyIsPressed();
    void keyboardsComeAndGo();
    void pressLatency();

private:
    std::unique_ptr<FakeKeyboards> m_keyboards;
};

void TstEvdevDevice::init()
{
    m_keyboards = std::make_unique<FakeKeyboards>();
    // Asked once a test bed exists: it looks whether /sys is the test bed's.
    QVERIFY2(umockdev_in_mock_environment(),
             "run this test with umockdev's preload library (umockdev-wrapper)");
    m_keyboards->plug(0);
}

void TstEvdevDevice::cleanup()
{
    m_keyboards.reset();
}

// Scripts of steps on keyboard 0, separated by spaces: "+key" presses a key and waits until the
// device wakes its owner, "-key" releases it, "~key" is an auto-repeat; "lost+key" and
// "lost-key" change the keys down while their events are lost, and "dropped" then reports the
// loss (SYN_DROPPED, a stale press of A that the next report voids, SYN_REPORT) and waits until
// the device has read its keys down again; "wake" waits for the device to wake its owner.
// "tick=..." reads a snapshot, hands it to the hotkey monitor and expects its decision: "!" for
// the prompt, then the keys it fires, joined by ','.
void TstEvdevDevice::hotkeys_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("held over several ticks fires once")
        << "+LCtrl +LShift tick= +n tick=n ~n tick= ~n tick= tick= -n tick= +n tick=n";
    QTest::newRow("tap between two ticks") << "+LCtrl +LShift tick= +n -n tick=n tick=";
    QTest::newRow("released and pressed again between two ticks")
        << "+LCtrl +LShift +n tick=n -n +n tick=n tick=";
    QTest::newRow("right-hand modifiers") << "+RCtrl +RShift +n tick=n";
    QTest::newRow("F7 held, then tapped") << "+F7 tick=! ~F7 tick= -F7 +F7 -F7 tick=! tick=";
    QTest::newRow("pressed while events were lost")
        << "+LCtrl +LShift tick= lost+n dropped wake tick=n tick=";
    QTest::newRow("released while events were lost")
        << "+LCtrl +LShift +m tick=m lost-m dropped +m tick=m";
    QTest::newRow("stale events before the report after a loss")
        << "+LCtrl +LShift tick= dropped tick=";
}

void TstEvdevDevice::hotkeys()
{
    QFETCH(QString, script);
    platform::EvdevKeyboard kb;
    QString error;
    QVERIFY2(kb.acquire(&error), qPrintable(error));
    QSignalSpy woken(&kb, &platform::KeyboardDevice::keyPressed);
    HotkeyMonitor monitor;
    int wakes = 0;
    for (const QString &step : script.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1String("tick="))) {
            platform::KeyState state{};
            QVERIFY2(kb.readState(state, &error), qPrintable(error));
            QCOMPARE(describe(monitor.tick(state, QStringLiteral("1"))), step.mid(5));
        } else if (step == QLatin1String("wake")) {
            ++wakes;
            QTRY_COMPARE_WITH_TIMEOUT(woken.size(), wakes, 2000);
        } else if (step == QLatin1String("dropped")) {
            // The device reads the keys down again after the report.
            const int asked = m_keyboards->keyStateRequests(0);
            m_keyboards->write(0, {FakeKeyboards::event(EV_SYN, SYN_DROPPED, 0),
                                   FakeKeyboards::event(EV_KEY, KEY_A, 1),
                                   FakeKeyboards::event(EV_SYN, SYN_REPORT, 0)});
            QTRY_VERIFY_WITH_TIMEOUT(m_keyboards->keyStateRequests(0) > asked, 2000);
        } else if (step.startsWith(QLatin1String("lost"))) {
            m_keyboards->setDown(0, linuxKey(step.mid(5)), step[4] == QLatin1Char('+'));
        } else {
            const int value = step[0] == QLatin1Char('+') ? 1 : step[0] == QLatin1Char('-') ? 0 : 2;
            m_keyboards->key(0, linuxKey(step.mid(1)), value);
            if (value == 1) {
                ++wakes;
                QTRY_COMPARE_WITH_TIMEOUT(woken.size(), wakes, 2000);
            }
        }
    }
    // Wakes come from presses only: releases and repeats need no tick.
    QTest::qWait(50);
    QCOMPARE(woken.size(), wakes);
}

void TstEvdevDevice::readsWithoutTakingKeys()
{
    m_keyboards->plug(1);
    platform::EvdevKeyboard kb;
    QString error;
    QVERIFY2(kb.acquire(&error), qPrintable(error));
    QCOMPARE(kb.openNodes(), (QStringList{m_keyboards->node(0), m_keyboards->node(1)}));
    m_keyboards->key(1, KEY_N, 1);
    QSignalSpy woken(&kb, &platform::KeyboardDevice::keyPressed);
    QTRY_COMPARE_WITH_TIMEOUT(woken.size(), 1, 2000);
    platform::KeyState state{};
    QVERIFY(kb.readState(state, &error));

    for (int i = 0; i < 2; ++i) {
        // Each node open once, read-only.
        QStringList modes;
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) != m_keyboards->terminal(i))
                continue;
            const int flags = ::fcntl(fd.toInt(), F_GETFL);
            modes << ((flags & O_ACCMODE) == O_RDONLY ? QStringLiteral("read-only")
                                                      : QStringLiteral("flags %1").arg(flags));
        }
        QCOMPARE(modes, QStringList{QStringLiteral("read-only")});
        // Only questions: no grab, nothing set on the device.
        for (unsigned long r : m_keyboards->requests(i)) {
            QVERIFY2(
                r == EVIOCGBIT(EV_KEY, _IOC_SIZE(r)) || r == EVIOCGKEY(_IOC_SIZE(r)),
                qPrintable(
                    QStringLiteral("request 0x%1 on %2").arg(r, 0, 16).arg(m_keyboards->node(i))));
        }
    }
}

// Keys wake the program (keyPressed): no timer polls the keyboards meanwhile.
void TstEvdevDevice::sleepsWhileNoKeyIsPressed()
{
    m_keyboards->plug(1);
    platform::EvdevKeyboard kb;
    QString error;
    QVERIFY2(kb.acquire(&error), qPrintable(error));
    QCoreApplication::processEvents();
    int wakeups = 0;
    QObject counting; // ends the count with this test: the dispatcher outlives it
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &counting,
            [&] { ++wakeups; });
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY2(wakeups <= 3, qPrintable(QStringLiteral("%1 wake-ups in 500 ms").arg(wakeups)));
}

void TstEvdevDevice::keyboardsComeAndGo()
{
    platform::EvdevKeyboard kb;
    QString error;
    QVERIFY2(kb.acquire(&error), qPrintable(error));
    QSignalSpy woken(&kb, &platform::KeyboardDevice::keyPressed);
    QSignalSpy failed(&kb, &platform::KeyboardDevice::failed);
    HotkeyMonitor monitor;
    platform::KeyState state{};

    // Plugged in later: read too, and a chord may span both keyboards.
    m_keyboards->plug(1);
    QTRY_COMPARE_WITH_TIMEOUT(kb.openNodes(),
                              (QStringList{m_keyboards->node(0), m_keyboards->node(1)}), 2000);
    // Each press wakes the owner (presses read together wake it once).
    const auto press = [&](int keyboard, int code) {
        const qsizetype before = woken.size();
        m_keyboards->key(keyboard, code, 1);
        return QTest::qWaitFor([&] { return woken.size() > before; }, 2000);
    };
    QVERIFY(press(0, KEY_LEFTCTRL));
    QVERIFY(press(0, KEY_LEFTSHIFT));
    QVERIFY(press(1, KEY_N));
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(describe(monitor.tick(state, QStringLiteral("1"))), QStringLiteral("n"));

    // Events lost on one keyboard: the keys down on the other stay known. N, still held on the
    // second, pressed on the first as well is no new press (Alt then shows that the first's
    // events have been read).
    const int asked = m_keyboards->keyStateRequests(0);
    m_keyboards->write(0, {FakeKeyboards::event(EV_SYN, SYN_DROPPED, 0),
                           FakeKeyboards::event(EV_SYN, SYN_REPORT, 0)});
    QTRY_VERIFY_WITH_TIMEOUT(m_keyboards->keyStateRequests(0) > asked, 2000);
    m_keyboards->key(0, KEY_N, 1);
    QVERIFY(press(0, KEY_LEFTALT));
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(describe(monitor.tick(state, QStringLiteral("1"))), QString());

    // Unplugging one keeps the other.
    m_keyboards->unplug(0);
    QTRY_COMPARE_WITH_TIMEOUT(kb.openNodes(), QStringList{m_keyboards->node(1)}, 2000);
    QVERIFY2(kb.readState(state, &error), qPrintable(error));
    QVERIFY(press(1, KEY_LEFTCTRL));
    QVERIFY(press(1, KEY_LEFTSHIFT));
    m_keyboards->key(1, KEY_N, 0);
    QVERIFY(press(1, KEY_N));
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(describe(monitor.tick(state, QStringLiteral("1"))), QStringLiteral("n"));
    QCOMPARE(failed.size(), 0);

    // The last one gone: told once.
    m_keyboards->unplug(1);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 2000);
    QVERIFY2(failed.first().first().toString().contains(QLatin1String("unplugged")),
             qPrintable(failed.first().first().toString()));
    QVERIFY(kb.openNodes().isEmpty());
    QVERIFY(!kb.readState(state, &error));
    QTest::qWait(50);
    QCOMPARE(failed.size(), 1);
}

// From an event written into the device to the keyPressed signal, and to the snapshot that
// shows the key. Prints figures; the only check is that no press is lost.
void TstEvdevDevice::pressLatency()
{
    platform::EvdevKeyboard kb;
    QString error;
    QVERIFY2(kb.acquire(&error), qPrintable(error));
    double pressedAt = 0, wokenAt = 0;
    connect(&kb, &platform::KeyboardDevice::keyPressed, this, [&] { wokenAt = nowMs(); });
    QList<double> toWake, toState;
    constexpr int presses = 40;
    for (int n = 0; n < presses; ++n) {
        wokenAt = 0;
        pressedAt = nowMs();
        m_keyboards->key(0, KEY_N, 1);
        QTRY_VERIFY_WITH_TIMEOUT(wokenAt > 0, 2000);
        platform::KeyState state{};
        QVERIFY(kb.readState(state, &error));
        const double stateAt = nowMs();
        QVERIFY(state[0x31] & platform::keyPressedSince);
        toWake << (wokenAt - pressedAt);
        toState << (stateAt - pressedAt);
        m_keyboards->key(0, KEY_N, 0);
        QTest::qWait(5);
    }
    const Stats w = stats(toWake), s = stats(toState);
    qInfo("evdev press latency over %d presses: to keyPressed median %.3f ms, p95 %.3f ms; "
          "to the snapshot median %.3f ms, p95 %.3f ms",
          w.n, w.median, w.p95, s.median, s.p95);
}

QTEST_GUILESS_MAIN(TstEvdevDevice)
#include "tst_evdevdevice.moc"
