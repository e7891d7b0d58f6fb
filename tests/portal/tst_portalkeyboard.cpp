// PortalKeyboard against the real portal frontend (xdg-desktop-portal) on a private session
// bus, with the test backend of this folder behind it: which shortcuts it binds, that it binds
// again when the hotkeys change, that each activation is one press for the hotkey monitor, and
// that whatever the desktop answers, what it lists as bound works and the rest is told.

#include "launch/hotkeymonitor.h"
#include "platform/portal/portalkeyboard.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString frontend = QStringLiteral("/usr/libexec/xdg-desktop-portal");
const QString backendName = QStringLiteral("org.freedesktop.impl.portal.desktop.dudtest");

// The hotkey tick as the main window runs it: a tick at each press, then every 20 ms until
// the keys are at rest.
struct MonitorLoop
{
    platform::KeyboardDevice &kb;
    HotkeyMonitor monitor;
    QTimer timer;
    int prompts = 0;
    QStringList keys;

    explicit MonitorLoop(platform::KeyboardDevice &k) : kb(k)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
        QObject::connect(
            &kb, &platform::KeyboardDevice::keyPressed, &timer, [this] { timer.start(), tick(); },
            Qt::QueuedConnection);
    }
    void tick()
    {
        platform::KeyState state{};
        QString error;
        QVERIFY(kb.readState(state, &error));
        const HotkeyMonitor::Decision d = monitor.tick(state, QStringLiteral("3"));
        prompts += d.openPrompt;
        keys += d.keys;
        if (d.rest)
            timer.stop();
    }
};

} // namespace

class TstPortalKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void bindsTheEntriesHotkeysAndF7AndBindsAgainWhenTheyChange();
    void anActivationIsOnePress_data();
    void anActivationIsOnePress();
    void whatTheDesktopListsIsBound_data();
    void whatTheDesktopListsIsBound();
    void aPortalStartedAgainGetsTheHotkeysAgain();

private:
    /// A keyboard on a connection of its own: a client the portal has not seen.
    std::unique_ptr<platform::PortalKeyboard> newKeyboard();
    QStringList backend(const QString &method, const QList<QVariant> &args = {});
    QStringList newCalls();
    void start(QProcess &p, const QString &program, const QStringList &args);
    void stop(QProcess &p);

    QTemporaryDir m_dir;
    QProcess m_daemon, m_backend, m_frontend;
    QString m_address;
    /// Portals before 1.17 hand CreateSession's options on to the backend unfiltered.
    bool m_forwardsOptions = false;
    int m_connections = 0;
    int m_seenCalls = 0;
};

void TstPortalKeyboard::start(QProcess &p, const QString &program, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
        env.remove(QString::fromLatin1(v));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), m_dir.filePath(QStringLiteral("portals")));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("test"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardOutputFile(m_dir.filePath(QFileInfo(program).fileName() + QStringLiteral(".log")));
    p.start(program, args);
    QVERIFY2(p.waitForStarted(), qPrintable(program + QStringLiteral(": ") + p.errorString()));
}

void TstPortalKeyboard::stop(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

void TstPortalKeyboard::initTestCase()
{
    QVERIFY2(QFileInfo::exists(frontend),
             "the portal frontend is missing: install xdg-desktop-portal (tools/deps.d/portal.sh)");
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("portals")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("run")));
    QFile portal(m_dir.filePath(QStringLiteral("portals/test.portal")));
    QVERIFY(portal.open(QIODevice::WriteOnly));
    portal.write("[portal]\nDBusName=" + backendName.toLatin1() +
                 "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts\nUseIn=test\n");
    portal.close();

    // A session bus that starts nothing by itself: every service on it is started here.
    QFile conf(m_dir.filePath(QStringLiteral("bus.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir=" +
               QFile::encodeName(m_dir.path()) +
               "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n");
    conf.close();
    m_daemon.setReadChannel(QProcess::StandardOutput);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + conf.fileName(),
                    QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
    QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon does not start");
    QTRY_VERIFY(m_daemon.canReadLine());
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());

    QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("test"));
    QVERIFY(bus.isConnected());
    start(m_backend, QStringLiteral(PORTAL_TEST_BACKEND), {});
    QTRY_VERIFY(bus.interface()->isServiceRegistered(backendName));
    start(m_frontend, frontend, {});
    QTRY_VERIFY(
        bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop")));

    QProcess version;
    version.start(frontend, {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(5000));
    const QVersionNumber v = QVersionNumber::fromString(
        QString::fromLatin1(version.readAllStandardOutput()).section(QLatin1Char(' '), -1));
    QVERIFY2(!v.isNull(), "the portal frontend gives no version");
    m_forwardsOptions = v < QVersionNumber(1, 17);
    qInfo("xdg-desktop-portal %s", qPrintable(v.toString()));
}

void TstPortalKeyboard::cleanup()
{
    if (!QTest::currentTestFailed())
        return;
    QFile log(m_dir.filePath(QStringLiteral("xdg-desktop-portal.log")));
    if (log.open(QIODevice::ReadOnly))
        qWarning("The portal frontend wrote:\n%s", log.readAll().constData());
}

void TstPortalKeyboard::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("test"));
    stop(m_frontend);
    stop(m_backend);
    stop(m_daemon);
}

std::unique_ptr<platform::PortalKeyboard> TstPortalKeyboard::newKeyboard()
{
    const QString name = QStringLiteral("keyboard%1").arg(++m_connections);
    return std::make_unique<platform::PortalKeyboard>(
        QDBusConnection::connectToBus(m_address, name));
}

QStringList TstPortalKeyboard::backend(const QString &method, const QList<QVariant> &args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(
        backendName, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.dududadadadiz.PortalTest"), method);
    m.setArguments(args);
    const QDBusMessage r = QDBusConnection(QStringLiteral("test")).call(m);
    if (r.type() == QDBusMessage::ErrorMessage)
        qWarning("test backend: %s", qPrintable(r.errorMessage()));
    return r.arguments().value(0).toStringList();
}

QStringList TstPortalKeyboard::newCalls()
{
    const QStringList all = backend(QStringLiteral("Calls"));
    const QStringList fresh = all.mid(m_seenCalls);
    m_seenCalls = int(all.size());
    return fresh;
}

void TstPortalKeyboard::bindsTheEntriesHotkeysAndF7AndBindsAgainWhenTheyChange()
{
    newCalls();
    auto kb = newKeyboard();
    QVERIFY(kb->probe());
    QVERIFY(kb->acquire(nullptr));
    QSignalSpy bound(kb.get(), &platform::KeyboardDevice::reportChanged);
    QSignalSpy failed(kb.get(), &platform::KeyboardDevice::failed);
    // As the main window tells it after reading the entries: two entries share N, one key
    // is no hotkey.
    kb->setHotkeys({{QStringLiteral("N"), QStringLiteral("notes")},
                    {QStringLiteral("f5"), QStringLiteral("web")},
                    {QStringLiteral("n"), QStringLiteral("mail")},
                    {QStringLiteral("%"), QStringLiteral("odd")}});
    QTRY_COMPARE(bound.size(), 1);
    const QString first = QStringLiteral("prompt=F7 (Open the keyword prompt), "
                                         "hotkey-n=CTRL+SHIFT+n (Open notes, mail), "
                                         "hotkey-F5=CTRL+SHIFT+F5 (Open web)");
    QCOMPARE(newCalls(), QStringList({QStringLiteral("CreateSession token=dudud_adadadiz "
                                                     "shortcuts: ") +
                                          (m_forwardsOptions ? first : QString()),
                                      QStringLiteral("BindShortcuts: ") + first}));
    QVERIFY2(kb->report().contains(QStringLiteral("Open notes, mail: granted CTRL+SHIFT+n")),
             qPrintable(kb->report()));

    // The same hotkeys again (a reload that changed other things): nothing to ask.
    kb->setHotkeys({{QStringLiteral("n"), QStringLiteral("notes")},
                    {QStringLiteral("n"), QStringLiteral("mail")},
                    {QStringLiteral("F5"), QStringLiteral("web")}});
    QTest::qWait(300);
    QCOMPARE(newCalls(), QStringList());

    // An entry added: the session is closed and one with the same token binds the new set.
    kb->setHotkeys({{QStringLiteral("n"), QStringLiteral("notes")},
                    {QStringLiteral("n"), QStringLiteral("mail")},
                    {QStringLiteral("F5"), QStringLiteral("web")},
                    {QStringLiteral("m"), QStringLiteral("music")}});
    QTRY_COMPARE(bound.size(), 2);
    const QString second = QStringLiteral("prompt=F7 (Open the keyword prompt), "
                                          "hotkey-m=CTRL+SHIFT+m (Open music), "
                                          "hotkey-n=CTRL+SHIFT+n (Open notes, mail), "
                                          "hotkey-F5=CTRL+SHIFT+F5 (Open web)");
    QCOMPARE(newCalls(),
             QStringList({QStringLiteral("Close"),
                          QStringLiteral("CreateSession token=dudud_adadadiz shortcuts: ") +
                              (m_forwardsOptions ? second : QString()),
                          QStringLiteral("BindShortcuts: ") + second}));
    QVERIFY2(kb->report().contains(QStringLiteral("Open music: granted CTRL+SHIFT+m")),
             qPrintable(kb->report()));
    QCOMPARE(failed.size(), 0);
}

void TstPortalKeyboard::anActivationIsOnePress_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("deactivated");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<QStringList>("keys");

    const QStringList n{QStringLiteral("n")};
    QTest::newRow("hotkey, released") << "hotkey-n" << 1 << true << 0 << n;
    QTest::newRow("hotkey, no release told") << "hotkey-n" << 1 << false << 0 << n;
    QTest::newRow("hotkey twice") << "hotkey-n" << 2 << false << 0 << (n + n);
    QTest::newRow("F7") << "prompt" << 1 << true << 1 << QStringList();
    QTest::newRow("Ctrl+Shift+F7")
        << "hotkey-F7" << 1 << true << 1 << QStringList{QStringLiteral("F7")};
}

void TstPortalKeyboard::anActivationIsOnePress()
{
    QFETCH(QString, id);
    QFETCH(int, times);
    QFETCH(bool, deactivated);
    QFETCH(int, prompts);
    QFETCH(QStringList, keys);

    // Another client with the same hotkeys, bound first: the frontend of Debian 12 sends
    // every session's signals to every client, and the test backend activates the newest.
    std::unique_ptr<platform::PortalKeyboard> kb, other;
    for (auto *k : {&other, &kb}) {
        *k = newKeyboard();
        QVERIFY((*k)->acquire(nullptr));
        QSignalSpy bound(k->get(), &platform::KeyboardDevice::reportChanged);
        (*k)->setHotkeys({{QStringLiteral("n"), QStringLiteral("notes")},
                          {QStringLiteral("F7"), QStringLiteral("seven")}});
        QTRY_COMPARE(bound.size(), 1);
    }
    MonitorLoop otherLoop(*other);
    MonitorLoop loop(*kb);
    for (int i = 0; i < times; ++i)
        backend(QStringLiteral("Activate"), {id, deactivated});
    QTRY_COMPARE(loop.prompts + loop.keys.size(), prompts + keys.size());
    // Long enough for a doubled press to show, and for the tick to come to rest.
    QTest::qWait(300);
    QCOMPARE(loop.prompts, prompts);
    QCOMPARE(loop.keys, keys);
    QVERIFY(!loop.timer.isActive());
    QCOMPARE(otherLoop.prompts + otherLoop.keys.size(), 0);
}

void TstPortalKeyboard::whatTheDesktopListsIsBound_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("told");    // in the notice, or empty for none
    QTest::addColumn<QString>("unbound"); // on standard error, or empty for nothing
    QTest::addColumn<bool>("fires");      // Ctrl+Shift+N opens its entry

    QTest::newRow("all") << "all" << QString() << QString() << true;
    QTest::newRow("response 2, the bound listed (GNOME 48)")
        << "gnome" << QString() << QString() << true;
    QTest::newRow("ShortcutsChanged, then response 2 listing none")
        << "changed" << QString() << QString() << true;
    QTest::newRow("the prompt only")
        << "first" << QString() << "Ctrl+Shift+N (Open notes), Ctrl+Shift+F5 (Open web)" << false;
    QTest::newRow("none") << "none"
                          << "granted none" << QString() << false;
    QTest::newRow("declined") << "declined"
                              << "declined" << QString() << false;
}

void TstPortalKeyboard::whatTheDesktopListsIsBound()
{
    QFETCH(QString, answer);
    QFETCH(QString, told);
    QFETCH(QString, unbound);
    QFETCH(bool, fires);

    backend(QStringLiteral("Answer"), {answer});
    auto kb = newKeyboard();
    QSignalSpy failed(kb.get(), &platform::KeyboardDevice::failed);
    QSignalSpy notice(kb.get(), &platform::KeyboardDevice::notice);
    QSignalSpy changed(kb.get(), &platform::KeyboardDevice::reportChanged);
    if (!unbound.isEmpty()) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("bound 1 of the 3 "
                                                                             "hotkeys.*: ") +
                                                              QRegularExpression::escape(unbound)));
    }
    QVERIFY(kb->acquire(nullptr));
    MonitorLoop loop(*kb);
    kb->setHotkeys({{QStringLiteral("n"), QStringLiteral("notes")},
                    {QStringLiteral("F5"), QStringLiteral("web")}});
    QTRY_VERIFY(!kb->report().contains(QStringLiteral("waiting")));
    backend(QStringLiteral("Activate"), {QStringLiteral("hotkey-n"), true});
    QTest::qWait(300);
    QCOMPARE(loop.keys, fires ? QStringList{QStringLiteral("n")} : QStringList());
    QCOMPARE(notice.size(), told.isEmpty() ? 0 : 1);
    if (!told.isEmpty()) {
        const QString why = notice.at(0).at(0).toString();
        QVERIFY2(why.contains(told), qPrintable(why));
        QVERIFY2(why.contains(QStringLiteral("dudud-adadadiz --prompt")), qPrintable(why));

        // Nothing bound stops nothing: new hotkeys are asked for again, and what the desktop
        // grants then works; the user is not told twice.
        backend(QStringLiteral("Answer"), {QStringLiteral("all")});
        changed.clear();
        kb->setHotkeys({{QStringLiteral("n"), QStringLiteral("notes")}});
        QTRY_COMPARE(changed.size(), 1);
        QTRY_VERIFY(kb->report().contains(QStringLiteral("Open notes: granted CTRL+SHIFT+n")));
        backend(QStringLiteral("Activate"), {QStringLiteral("hotkey-n"), true});
        QTRY_COMPARE(loop.keys, QStringList{QStringLiteral("n")});
        QCOMPARE(notice.size(), 1);
    }
    QCOMPARE(failed.size(), 0);
    backend(QStringLiteral("Answer"), {QStringLiteral("all")});
}

void TstPortalKeyboard::aPortalStartedAgainGetsTheHotkeysAgain()
{
    auto kb = newKeyboard();
    QVERIFY(kb->acquire(nullptr));
    QSignalSpy changed(kb.get(), &platform::KeyboardDevice::reportChanged);
    kb->setHotkeys({{QStringLiteral("n"), QStringLiteral("notes")}});
    QTRY_COMPARE(changed.size(), 1);
    newCalls();
    stop(m_frontend);
    start(m_frontend, frontend, {});
    const QString bind = QStringLiteral("BindShortcuts: prompt=F7 (Open the keyword prompt), "
                                        "hotkey-n=CTRL+SHIFT+n (Open notes)");
    QStringList calls;
    QTRY_VERIFY_WITH_TIMEOUT((calls += newCalls()).contains(bind), 10000);
    QTRY_VERIFY(kb->report().contains(QStringLiteral("Open notes: granted CTRL+SHIFT+n")));
}

QTEST_GUILESS_MAIN(TstPortalKeyboard)
#include "tst_portalkeyboard.moc"
