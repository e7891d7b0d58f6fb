// The headless KDE Wayland session itself, without the launcher: a global shortcut bound through
// the desktop portal fires once per real key press, a Qt program's tray icon registers, and what
// a window shown while another program has the focus gets from KWin (position, activation, the
// keyboard), natively and through Xwayland.

#include "kwinsession.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QtTest>

#include <ctime>

namespace {

struct Shortcut
{
    QString id;
    QVariantMap properties;
};
using Shortcuts = QList<Shortcut>;

QDBusArgument &operator<<(QDBusArgument &arg, const Shortcut &s)
{
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, Shortcut &s)
{
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

qint64 monotonicUs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

/// A minimal client of the GlobalShortcuts portal, as a program would use it.
class PortalClient : public QObject
{
    Q_OBJECT
public:
    explicit PortalClient(const QDBusConnection &bus) : m_bus(bus)
    {
        for (const char *signal : {"Activated", "Deactivated"})
            m_bus.connect(portalService, portalPath, shortcutsInterface,
                          QString::fromLatin1(signal), this, SLOT(onSignal(QDBusMessage)));
    }

    struct Activation
    {
        QString id;
        qint64 atUs;
    };
    QList<Activation> activated;
    QStringList deactivated;
    QString session;

    /// Creates a session and binds @p shortcuts; the shortcuts the desktop granted.
    Shortcuts bind(const Shortcuts &shortcuts)
    {
        // Debian 12's KDE backend takes the shortcuts from the session's options, current ones
        // from BindShortcuts: both get them.
        QVariantMap options = {{QStringLiteral("session_handle_token"), QStringLiteral("dudud")},
                               {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}};
        const QVariantMap created = request(QStringLiteral("CreateSession"), {}, options);
        session = created.value(QStringLiteral("session_handle")).toString();
        if (session.isEmpty())
            return {};
        const QVariantMap bound = request(QStringLiteral("BindShortcuts"),
                                          {QVariant::fromValue(QDBusObjectPath(session)),
                                           QVariant::fromValue(shortcuts), QString()},
                                          {});
        Shortcuts granted;
        const QVariant list = bound.value(QStringLiteral("shortcuts"));
        if (list.canConvert<QDBusArgument>())
            list.value<QDBusArgument>() >> granted;
        return granted;
    }

private slots:
    // Activated and Deactivated (o session, s id, t timestamp, a{sv} options).
    void onSignal(const QDBusMessage &message)
    {
        const QString id = message.arguments().value(1).toString();
        if (message.member() == QLatin1String("Activated"))
            activated << Activation{id, monotonicUs()};
        else
            deactivated << id;
    }
    void onResponse(uint response, const QVariantMap &results)
    {
        m_response = response;
        m_results = results;
        m_answered = true;
    }

private:
    // Calls a portal method that answers through a Request object, and waits for its answer.
    QVariantMap request(const QString &method, QVariantList args, QVariantMap options)
    {
        const QString token = QStringLiteral("dudud%1").arg(++m_requests);
        QString sender = m_bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString requestPath =
            portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
        // Subscribed before the call, so that no answer is missed.
        m_bus.connect(portalService, requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                      QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        m_answered = false;
        options.insert(QStringLiteral("handle_token"), token);
        QDBusMessage call =
            QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
        call.setArguments(args << options);
        const QDBusMessage reply = m_bus.call(call, QDBus::Block, 10000);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            qWarning("%s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
            return {};
        }
        KWinSession::waitFor([&] { return m_answered; }, 10000);
        m_bus.disconnect(portalService, requestPath,
                         QStringLiteral("org.freedesktop.portal.Request"),
                         QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        if (!m_answered || m_response != 0) {
            qWarning("%s: no answer or refused (%u)", qPrintable(method), m_response);
            return {};
        }
        return m_results;
    }

    QDBusConnection m_bus;
    int m_requests = 0;
    bool m_answered = false;
    uint m_response = 0;
    QVariantMap m_results;
};

} // namespace

class TstKWinSession : public QObject
{
    Q_OBJECT
    std::unique_ptr<KWinSession> m_session;
    std::unique_ptr<PortalClient> m_portal;

    void printLogs() const
    {
        for (const char *c : {"kwin", "portal", "portal-kde", "fakekey", "monitor"})
            qInfo("%s:\n%s", c, m_session->log(QString::fromLatin1(c)).right(4000).data());
    }

private slots:
    void initTestCase()
    {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<Shortcuts>();
        QElapsedTimer t;
        t.start();
        KWinSession::Options options;
        options.xwayland = true;
        m_session = std::make_unique<KWinSession>(options);
        if (!m_session->ok())
            printLogs();
        QVERIFY2(m_session->ok(), qPrintable(m_session->error()));
        qInfo("session up in %lld ms (Xwayland on %s)", t.elapsed(),
              qPrintable(m_session->x11Display()));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            printLogs();
    }

    void cleanupTestCase()
    {
        m_portal.reset();
        m_session.reset();
    }

    void bindShortcuts()
    {
        m_portal = std::make_unique<PortalClient>(m_session->bus());
        const Shortcuts granted = m_portal->bind(
            {{QStringLiteral("hotkey-n"),
              {{QStringLiteral("description"), QStringLiteral("Open the notes entry")},
               {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+SHIFT+n")}}},
             {QStringLiteral("prompt"),
              {{QStringLiteral("description"), QStringLiteral("Open the prompt")},
               {QStringLiteral("preferred_trigger"), QStringLiteral("F7")}}}});
        QStringList ids;
        for (const Shortcut &s : granted) {
            ids << s.id;
            qInfo("granted %s: %s", qPrintable(s.id),
                  qPrintable(s.properties.value(QStringLiteral("trigger_description")).toString()));
        }
        ids.sort();
        QCOMPARE(ids, QStringList({QStringLiteral("hotkey-n"), QStringLiteral("prompt")}));
    }

    // Real presses: each bound chord fires its shortcut once (Activated, then Deactivated on
    // release), other chords nothing. KDE matches the modifiers exactly: Ctrl+Shift+F7 is not F7.
    void press_data()
    {
        QTest::addColumn<QStringList>("chords");
        QTest::addColumn<QStringList>("fired");
        QTest::newRow("ctrl+shift+n") << QStringList{"ctrl+shift+n"} << QStringList{"hotkey-n"};
        QTest::newRow("right-hand modifiers")
            << QStringList{"rctrl+rshift+n"} << QStringList{"hotkey-n"};
        QTest::newRow("F7") << QStringList{"F7"} << QStringList{"prompt"};
        QTest::newRow("five presses in a row")
            << QStringList{"ctrl+shift+n", "F7", "ctrl+shift+n", "ctrl+shift+n", "F7"}
            << QStringList{"hotkey-n", "prompt", "hotkey-n", "hotkey-n", "prompt"};
        QTest::newRow("ctrl+shift+F7") << QStringList{"ctrl+shift+F7"} << QStringList{};
        QTest::newRow("ctrl+n") << QStringList{"ctrl+n"} << QStringList{};
        QTest::newRow("unbound ctrl+shift+m") << QStringList{"ctrl+shift+m"} << QStringList{};
    }

    void press()
    {
        QFETCH(QStringList, chords);
        QFETCH(QStringList, fired);
        QVERIFY(m_portal && !m_portal->session.isEmpty());
        m_portal->activated.clear();
        m_portal->deactivated.clear();
        QList<qint64> pressed;
        QVERIFY(m_session->keys(chords, &pressed));
        QCOMPARE(pressed.size(), chords.size());
        // A late or second signal would arrive within this time.
        KWinSession::waitFor([&] { return m_portal->deactivated.size() >= fired.size(); }, 3000);
        QTest::qWait(300);
        QStringList ids;
        for (const auto &a : m_portal->activated)
            ids << a.id;
        QCOMPARE(ids, fired);
        QCOMPARE(m_portal->deactivated, fired);
        if (fired.size() == chords.size()) {
            QStringList latencies;
            for (qsizetype i = 0; i < fired.size(); ++i)
                latencies << QString::number(
                    (m_portal->activated.at(i).atUs - pressed.at(i)) / 1000.0, 'f', 1);
            qInfo("key press -> Activated: %s ms", qPrintable(latencies.join(QLatin1String(", "))));
        }
    }

    // A native Qt program finds the session's tray and registers its icon there.
    void trayIcon()
    {
        QVERIFY(m_session->trayItems().isEmpty());
        {
            TestWindow traying(*m_session, QStringLiteral("Tray"), QStringLiteral("wayland"), true,
                               true);
            QVERIFY(KWinSession::waitFor([&] { return !m_session->trayItems().isEmpty(); }, 5000));
            QVERIFY2(
                KWinSession::waitFor([&] { return traying.has(QStringLiteral("tray 1")); }, 3000),
                qPrintable(traying.reports.join(QLatin1Char(','))));
            const QString service =
                m_session->trayItems().constFirst().section(QLatin1Char('/'), 0, 0);
            QCOMPARE(qint64(m_session->bus().interface()->servicePid(service).value()),
                     traying.process.processId());
        }
        QVERIFY(KWinSession::waitFor([&] { return m_session->trayItems().isEmpty(); }, 5000));
    }

    // Without the portal a program asking for it learns so at once: nothing starts it.
    void withoutPortal()
    {
        KWinSession::Options options;
        options.portal = false;
        KWinSession bare(options);
        QVERIFY2(bare.ok(), qPrintable(bare.error()));
        const QDBusMessage reply = bare.bus().call(
            QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface,
                                           QStringLiteral("CreateSession"))
                << QVariantMap(),
            QDBus::Block, 10000);
        QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"));
        // The rest of the session is there.
        QVERIFY(
            bare.bus().interface()->isServiceRegistered(QStringLiteral("org.kde.kglobalaccel")));
        QVERIFY(bare.keys({QStringLiteral("F7")}));
    }

    // What a window of a running program gets when it is shown while another program's window
    // has the focus, as the launcher's prompt is: KWin 5.27 with its default placement
    // (centred) and focus stealing prevention (low).
    void newWindow_data()
    {
        QTest::addColumn<QString>("platform");
        // 0: never shown before; 1: shown and hidden again; 2: shown, and behind the other.
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("focused");
        // KWin centres a native window; an X11 window centres itself.
        for (const char *platform : {"wayland", "xcb"}) {
            QTest::addRow("%s, first show", platform) << platform << 0 << true;
            QTest::addRow("%s, hidden and shown again", platform) << platform << 1 << true;
            // A native window that is still mapped cannot take the focus without an activation
            // token: hiding it first makes a new window, which can.
            QTest::addRow("%s, raised from behind", platform)
                << platform << 2 << (QByteArray(platform) == "xcb");
        }
    }

    void newWindow()
    {
        QFETCH(QString, platform);
        QFETCH(int, before);
        QFETCH(bool, focused);
        // Of another size: KWin moves a new window that would cover another one exactly.
        TestWindow other(*m_session, QStringLiteral("Other"), QStringLiteral("wayland"), false,
                         false, QStringLiteral("700x400"));
        TestWindow prompt(*m_session, QStringLiteral("Prompt"), platform, true);
        QVERIFY(KWinSession::waitFor([&] { return other.has(QStringLiteral("active 1")); }, 10000));
        if (before > 0) {
            prompt.command("show");
            QVERIFY(
                KWinSession::waitFor([&] { return prompt.has(QStringLiteral("active 1")); }, 5000));
            QVERIFY(m_session->activate(QStringLiteral("Other")));
            if (before == 1)
                prompt.command("hide");
            QTest::qWait(300);
        }
        QVERIFY(m_session->activate(QStringLiteral("Other")));
        prompt.reports.clear();
        other.reports.clear();

        const qint64 shown = monotonicUs();
        prompt.command("show");
        KWinSession::Window w;
        const bool active = KWinSession::waitFor(
            [&] {
                w = m_session->window(QStringLiteral("Prompt"));
                return w.active;
            },
            focused ? 5000 : 1500);
        qInfo("%s window at %d,%d %dx%d, %s after %.0f ms", w.x11 ? "X11" : "Wayland",
              w.geometry.x(), w.geometry.y(), w.geometry.width(), w.geometry.height(),
              active ? "active" : "not active", (monotonicUs() - shown) / 1000.0);
        QCOMPARE(w.x11, platform == QLatin1String("xcb"));
        QCOMPARE(active, focused);
        const QPoint offset = w.geometry.center() - m_session->screen().center();
        QVERIFY2(
            qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
            qPrintable(
                QStringLiteral("%1 px, %2 px from the centre").arg(offset.x()).arg(offset.y())));

        // The keyboard goes where the activation went.
        QVERIFY(m_session->keys({QStringLiteral("type:abc")}));
        const TestWindow &typedInto = focused ? prompt : other;
        const TestWindow &untouched = focused ? other : prompt;
        QVERIFY2(
            KWinSession::waitFor([&] { return typedInto.has(QStringLiteral("text abc")); }, 3000),
            qPrintable(typedInto.reports.join(QLatin1Char(','))));
        QVERIFY(!untouched.reports.join(QLatin1Char(',')).contains(QLatin1String("text")));
    }
};

QTEST_GUILESS_MAIN(TstKWinSession)
#include "tst_kwinsession.moc"
