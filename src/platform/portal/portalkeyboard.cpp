#include "platform/portal/portalkeyboard.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace platform {

namespace {
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString registryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");

// A portal that the bus starts on the first call needs a moment; one that does not answer
// within this is taken as missing.
constexpr int probeTimeoutMs = 5000;

// a(sa{sv}): shortcut id and its properties.
using ShortcutList = QList<QPair<QString, QVariantMap>>;

void registerTypes()
{
    static const bool done = [] {
        qDBusRegisterMetaType<QPair<QString, QVariantMap>>();
        qDBusRegisterMetaType<ShortcutList>();
        return true;
    }();
    Q_UNUSED(done);
}

QVariant toDBus(const QList<portal::Shortcut> &shortcuts)
{
    ShortcutList list;
    for (const portal::Shortcut &s : shortcuts) {
        list.append({s.id,
                     {{QStringLiteral("description"), s.description},
                      {QStringLiteral("preferred_trigger"), s.trigger}}});
    }
    return QVariant::fromValue(list);
}

// A session handle or object path, which portals send typed "s" or "o".
QString pathText(const QVariant &v)
{
    if (v.userType() == qMetaTypeId<QDBusObjectPath>())
        return v.value<QDBusObjectPath>().path();
    return v.toString();
}

bool isError(const QDBusMessage &m, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (m.errorName() == QLatin1String(n))
            return true;
    }
    return false;
}
} // namespace

PortalKeyboard::PortalKeyboard(const QDBusConnection &bus, QObject *parent) : m_bus(bus)
{
    setParent(parent);
    registerTypes();
}

PortalKeyboard::~PortalKeyboard()
{
    // The desktop forgets the session with the connection; closing says so at once.
    if (!m_session.isEmpty() && m_bus.isConnected()) {
        m_bus.call(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                  QStringLiteral("Close")),
                   QDBus::NoBlock);
    }
}

bool PortalKeyboard::probe(QString *why)
{
    m_probed = true;
    m_offered = false;
    m_probeWhy.clear();
    m_unregistered.clear();
    if (!m_bus.isConnected()) {
        m_probeWhy = QStringLiteral("there is no session bus (D-Bus) to reach the desktop's "
                                    "portal");
    } else {
        // A program outside a sandbox gives its application ID before any other portal call
        // (since portal 1.19; older ones have no registry, and 1.21 refuses programs without
        // an ID).
        QDBusMessage reg = QDBusMessage::createMethodCall(
            portalService, portalPath, registryInterface, QStringLiteral("Register"));
        reg << QString::fromLatin1(appId) << QVariantMap();
        const QDBusMessage r = m_bus.call(reg, QDBus::Block, probeTimeoutMs);
        if (isError(r, {"org.freedesktop.DBus.Error.ServiceUnknown",
                        "org.freedesktop.DBus.Error.NameHasNoOwner"})) {
            m_probeWhy = QStringLiteral("the desktop runs no portal (org.freedesktop.portal."
                                        "Desktop)");
        } else if (isError(r, {"org.freedesktop.DBus.Error.NoReply",
                               "org.freedesktop.DBus.Error.Timeout"})) {
            m_probeWhy = QStringLiteral("the desktop's portal did not answer within %1 seconds")
                             .arg(probeTimeoutMs / 1000);
        } else {
            if (r.type() == QDBusMessage::ErrorMessage &&
                !isError(r, {"org.freedesktop.DBus.Error.UnknownMethod",
                             "org.freedesktop.DBus.Error.UnknownInterface",
                             "org.freedesktop.DBus.Error.UnknownObject"})) {
                m_unregistered = r.errorMessage();
                qWarning("The portal did not register the application ID %s: %s", appId,
                         qPrintable(m_unregistered));
            }
            // Introspection is answered by the bus library itself: it fixes no ID.
            const QDBusMessage intro =
                m_bus.call(QDBusMessage::createMethodCall(
                               portalService, portalPath,
                               QStringLiteral("org.freedesktop.DBus.Introspectable"),
                               QStringLiteral("Introspect")),
                           QDBus::Block, probeTimeoutMs);
            const QString xml = intro.arguments().value(0).toString();
            if (intro.type() == QDBusMessage::ErrorMessage) {
                m_probeWhy = QStringLiteral("the desktop's portal did not answer: %1")
                                 .arg(intro.errorMessage());
            } else if (!xml.contains(QStringLiteral("name=\"%1\"").arg(shortcutsInterface))) {
                m_probeWhy = QStringLiteral("the desktop's portal offers no global shortcuts "
                                            "(%1)")
                                 .arg(shortcutsInterface);
            } else {
                m_offered = true;
            }
        }
    }
    if (why)
        *why = m_probeWhy;
    return m_offered;
}

bool PortalKeyboard::acquire(QString *error)
{
    if (m_acquired)
        return true;
    if (!m_probed)
        probe();
    if (!m_offered) {
        if (error)
            *error = waylandNoHotkeysMessage(m_probeWhy + QLatin1Char('.'));
        return false;
    }
    for (const char *sig : {"Activated", "Deactivated", "ShortcutsChanged"}) {
        const QByteArray slot = QByteArray("1on") + sig + "(QDBusMessage)";
        m_bus.connect(portalService, portalPath, shortcutsInterface, QString::fromLatin1(sig), this,
                      slot.constData());
    }
    // A portal that ends takes the session with it; one that starts again gets a new one.
    m_watcher = new QDBusServiceWatcher(portalService, m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                if (!oldOwner.isEmpty())
                    portalGone();
                if (!newOwner.isEmpty())
                    registerAgain();
            });
    m_acquired = true;
    // The entries' hotkeys normally follow at once: one session for both.
    syncSoon();
    return true;
}

bool PortalKeyboard::readState(KeyState &state, QString *)
{
    if (m_presses.snapshot(state))
        emit keyPressed();
    return true;
}

void PortalKeyboard::setHotkeys(const QList<HotkeyUse> &uses)
{
    m_wanted = portal::shortcutsFor(uses);
    if (m_acquired)
        syncSoon();
}

QString PortalKeyboard::report() const
{
    QString r = QStringLiteral("global-shortcuts portal (%1)").arg(shortcutsInterface);
    if (!m_answered)
        return r + QStringLiteral(": waiting for the desktop's answer");
    r += QStringLiteral(", the triggers the desktop granted:");
    for (const portal::Shortcut &s : m_bound) {
        const QString t = m_granted.value(s.id);
        r += QStringLiteral("\n  %1: %2")
                 .arg(s.description, t.isEmpty() ? QStringLiteral("none granted") : t);
    }
    return r;
}

void PortalKeyboard::syncSoon()
{
    if (m_syncQueued)
        return;
    m_syncQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_syncQueued = false;
        sync();
    });
}

void PortalKeyboard::sync()
{
    if (m_busy || !m_acquired)
        return;
    if (m_wanted.isEmpty())
        m_wanted = portal::shortcutsFor({});
    if (m_triedValid && m_tried == m_wanted)
        return;
    if (!m_session.isEmpty())
        closeSession();
    else
        createSession();
}

void PortalKeyboard::createSession()
{
    m_busy = true;
    m_tried = m_wanted;
    m_triedValid = true;
    const QList<portal::Shortcut> asked = m_wanted;
    // The shortcuts go in the options too: the KDE backend of Plasma 5.27 reads them there
    // (an earlier draft of the interface), and the portal hands the options on.
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), QString::fromLatin1(sessionToken)},
        {QStringLiteral("shortcuts"), toDBus(asked)},
    };
    request(QStringLiteral("CreateSession"), {options},
            [this, asked](uint response, const QVariantMap &results) {
                if (response != 0) {
                    m_busy = false;
                    requestFailed(QStringLiteral("open a session"),
                                  response == 1 ? QStringLiteral("the request was cancelled")
                                                : QStringLiteral("the desktop refused it"));
                    return;
                }
                m_session = pathText(results.value(QStringLiteral("session_handle")));
                bindShortcuts(asked);
            });
}

void PortalKeyboard::bindShortcuts(const QList<portal::Shortcut> &asked)
{
    // Activations may come before the answer (the user pressed a key while the desktop's
    // dialog was open): they count from the call on.
    m_bound = asked;
    request(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), toDBus(asked), QString(), QVariantMap()},
        [this](uint response, const QVariantMap &results) {
            m_busy = false;
            m_answered = true;
            // What the results list is bound, whatever the response code: GNOME 48 answers 2
            // for shortcuts it bound. Without a list, a ShortcutsChanged that came first says.
            const ShortcutList listed =
                qdbus_cast<ShortcutList>(results.value(QStringLiteral("shortcuts")));
            if (!listed.isEmpty())
                takeGranted(listed);
            emit reportChanged();
            qInfo("Hotkeys: %s", qPrintable(report()));
            if (!m_granted.isEmpty()) {
                tellUnbound();
            } else if (response == 1) {
                tellNothingBound(QStringLiteral("the request for global shortcuts was declined."));
            } else if (response == 0) {
                tellNothingBound(QStringLiteral("the desktop granted none of the global shortcuts "
                                                "it was asked for."));
            } else {
                tellNothingBound(
                    QStringLiteral("the desktop refused the request for global shortcuts."));
            }
            sync();
        });
}

void PortalKeyboard::closeSession()
{
    m_busy = true;
    const QDBusMessage close = QDBusMessage::createMethodCall(
        portalService, m_session, sessionInterface, QStringLiteral("Close"));
    auto *w = new QDBusPendingCallWatcher(m_bus.asyncCall(close), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, w] {
        w->deleteLater();
        if (w->isError())
            qWarning("Closing the global-shortcuts session: %s", qPrintable(w->error().message()));
        // A new session under the same token, after the portal has let go of this one.
        m_session.clear();
        m_bound.clear();
        m_granted.clear();
        m_answered = false;
        m_presses.reset();
        m_busy = false;
        sync();
    });
}

void PortalKeyboard::request(const QString &method, QList<QVariant> args, Answer answer)
{
    const QString token = QStringLiteral("dudud_%1").arg(++m_requests);
    // Listening before the call: the answer may come before the call's reply.
    const QString path = portal::requestPath(m_bus.baseService(), token);
    m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this,
                  SLOT(onResponse(QDBusMessage)));
    m_pending.insert(path, answer);

    QVariantMap options = args.last().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.last() = options;
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(args);
    auto *w = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, path, method] {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            m_pending.remove(path);
            m_bus.disconnect(portalService, path, requestInterface, QStringLiteral("Response"),
                             this, SLOT(onResponse(QDBusMessage)));
            m_busy = false;
            requestFailed(method, reply.error().message());
            return;
        }
        // Portals older than the predicted paths answer on a path of their own.
        const QString actual = reply.value().path();
        if (actual != path && m_pending.contains(path)) {
            m_pending.insert(actual, m_pending.take(path));
            m_bus.connect(portalService, actual, requestInterface, QStringLiteral("Response"), this,
                          SLOT(onResponse(QDBusMessage)));
        }
    });
}

void PortalKeyboard::onResponse(const QDBusMessage &message)
{
    const Answer answer = m_pending.take(message.path());
    m_bus.disconnect(portalService, message.path(), requestInterface, QStringLiteral("Response"),
                     this, SLOT(onResponse(QDBusMessage)));
    if (!answer)
        return;
    const QList<QVariant> args = message.arguments();
    answer(args.value(0).toUInt(), qdbus_cast<QVariantMap>(args.value(1)));
}

void PortalKeyboard::requestFailed(const QString &what, const QString &why)
{
    tellNothingBound(
        QStringLiteral("the desktop's global-shortcuts portal could not %1: %2.").arg(what, why));
}

void PortalKeyboard::tellNothingBound(const QString &why)
{
    QString text = why;
    if (!m_unregistered.isEmpty()) {
        // The portal knows programs outside a sandbox by an installed desktop file named after
        // the application ID; GNOME's drops the requests of programs it does not know.
        text += QStringLiteral(
                    "\n\nThe portal does not know this copy of Dudud Adadadiz: it found no "
                    "installed desktop file %1.desktop (it said: %2). Install Dudud Adadadiz "
                    "(its package, or \"cmake --install\"), which puts that file in place, "
                    "and start it again; or bind its commands in the desktop's keyboard "
                    "settings as below.")
                    .arg(QString::fromLatin1(appId), m_unregistered);
    }
    if (m_toldNothing)
        return;
    m_toldNothing = true;
    const QString message = waylandNoHotkeysMessage(text);
    // From the event loop: the owner may show a modal box.
    QTimer::singleShot(0, this, [this, message] { emit notice(message); });
}

void PortalKeyboard::tellUnbound()
{
    QStringList missing;
    for (const portal::Shortcut &s : std::as_const(m_bound)) {
        if (!m_granted.contains(s.id))
            missing << QStringLiteral("%1 (%2)").arg(portal::keysOf(s.trigger), s.description);
    }
    if (missing.isEmpty() || missing == m_toldUnbound)
        return;
    m_toldUnbound = missing;
    qWarning("The desktop bound %lld of the %lld hotkeys asked for; these keys do nothing until "
             "they are given keys in its shortcut settings (%s): %s",
             qlonglong(m_bound.size() - missing.size()), qlonglong(m_bound.size()),
             qPrintable(shortcutSettingsPlace(qgetenv("XDG_CURRENT_DESKTOP"))),
             qPrintable(missing.join(QStringLiteral(", "))));
}

void PortalKeyboard::takeGranted(const QList<QPair<QString, QVariantMap>> &list)
{
    // Each list is the whole set the desktop holds for the session.
    m_granted.clear();
    for (const auto &[id, props] : list) {
        const QString t = props.value(QStringLiteral("trigger_description")).toString();
        m_granted.insert(
            id, t.isEmpty() ? props.value(QStringLiteral("preferred_trigger")).toString() : t);
    }
}

bool PortalKeyboard::fromOurSession(const QDBusMessage &message) const
{
    // Portals before 1.17 send every session's signals to every client.
    return !m_session.isEmpty() && pathText(message.arguments().value(0)) == m_session;
}

const portal::Shortcut *PortalKeyboard::shortcut(const QString &id) const
{
    // Only what the desktop says it bound.
    if (!m_granted.contains(id))
        return nullptr;
    for (const portal::Shortcut &s : m_bound) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

void PortalKeyboard::onActivated(const QDBusMessage &message)
{
    if (!fromOurSession(message))
        return;
    const portal::Shortcut *s = shortcut(message.arguments().value(1).toString());
    if (s && m_presses.activated(s->id, s->scanCodes))
        emit keyPressed();
}

void PortalKeyboard::onDeactivated(const QDBusMessage &message)
{
    if (fromOurSession(message))
        m_presses.deactivated(message.arguments().value(1).toString());
}

void PortalKeyboard::onShortcutsChanged(const QDBusMessage &message)
{
    if (!fromOurSession(message))
        return;
    // The user gave (or took) keys in the desktop's settings, or the desktop bound the
    // shortcuts before it answered: what it lists now is bound.
    takeGranted(qdbus_cast<ShortcutList>(message.arguments().value(1)));
    emit reportChanged();
    qInfo("Hotkeys changed: %s", qPrintable(report()));
    if (!m_granted.isEmpty() && m_answered)
        tellUnbound();
}

void PortalKeyboard::registerAgain()
{
    // A new portal knows nothing of this connection: the ID first, then the session.
    m_busy = true;
    QDBusMessage reg = QDBusMessage::createMethodCall(portalService, portalPath, registryInterface,
                                                      QStringLiteral("Register"));
    reg << QString::fromLatin1(appId) << QVariantMap();
    auto *w = new QDBusPendingCallWatcher(m_bus.asyncCall(reg), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, w] {
        w->deleteLater();
        m_unregistered.clear();
        if (w->isError() && w->error().type() != QDBusError::UnknownMethod &&
            w->error().type() != QDBusError::UnknownInterface &&
            w->error().type() != QDBusError::UnknownObject)
            m_unregistered = w->error().message();
        m_busy = false;
        syncSoon();
    });
}

void PortalKeyboard::portalGone()
{
    m_session.clear();
    m_bound.clear();
    m_granted.clear();
    m_answered = false;
    m_triedValid = false;
    m_busy = false;
    m_pending.clear();
    m_presses.reset();
    emit reportChanged();
}

} // namespace platform
