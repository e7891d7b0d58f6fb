// A backend of the global-shortcuts portal for tests (org.freedesktop.impl.portal.
// GlobalShortcuts, and Session.Close under it), on the session bus as
// org.freedesktop.impl.portal.desktop.dudtest. It grants every shortcut its preferred trigger
// and writes down what it was asked; the interface org.dududadadadiz.PortalTest on the same
// object hands the record to the test, emits Activated and Deactivated on request, and sets
// how BindShortcuts answers (Answer): "all", "first" (the first shortcut only), "none",
// "declined" (response 1), "gnome" (response 2 with all listed, as GNOME 48 answers), or
// "changed" (ShortcutsChanged with all, then response 2 listing none).

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

namespace {

using ShortcutList = QList<QPair<QString, QVariantMap>>;

const QString objectPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString implInterface = QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts");

QString describe(const ShortcutList &list)
{
    QStringList parts;
    for (const auto &[id, props] : list) {
        parts << QStringLiteral("%1=%2 (%3)")
                     .arg(id, props.value(QStringLiteral("preferred_trigger")).toString(),
                          props.value(QStringLiteral("description")).toString());
    }
    return parts.join(QStringLiteral(", "));
}

class Backend : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &m, const QDBusConnection &bus) override
    {
        const QList<QVariant> a = m.arguments();
        const QString member = m.member();
        if (m.interface() == implInterface && member == QLatin1String("CreateSession")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(a.value(3));
            m_session = a.value(1).value<QDBusObjectPath>().path();
            const ShortcutList given =
                qdbus_cast<ShortcutList>(options.value(QStringLiteral("shortcuts")));
            m_calls << QStringLiteral("CreateSession token=%1 shortcuts: %2")
                           .arg(options.value(QStringLiteral("session_handle_token")).toString(),
                                describe(given));
            reply(bus, m, {{QStringLiteral("shortcuts"), QVariant::fromValue(ShortcutList())}});
            return true;
        }
        if (m.interface() == implInterface && member == QLatin1String("BindShortcuts")) {
            const ShortcutList asked = qdbus_cast<ShortcutList>(a.value(2));
            m_calls << QStringLiteral("BindShortcuts: ") + describe(asked);
            ShortcutList granted;
            for (const auto &[id, props] : asked) {
                if (m_answer == QLatin1String("none") || m_answer == QLatin1String("declined") ||
                    (m_answer == QLatin1String("first") && !granted.isEmpty()))
                    break;
                QVariantMap p = props;
                p.insert(QStringLiteral("trigger_description"),
                         QStringLiteral("granted ") +
                             props.value(QStringLiteral("preferred_trigger")).toString());
                granted.append({id, p});
            }
            m_bound = granted;
            uint response = m_answer == QLatin1String("declined") ? 1 : 0;
            ShortcutList listed = granted;
            if (m_answer == QLatin1String("gnome")) {
                response = 2;
            } else if (m_answer == QLatin1String("changed")) {
                QDBusMessage changed = QDBusMessage::createSignal(
                    objectPath, implInterface, QStringLiteral("ShortcutsChanged"));
                changed << a.value(1) << QVariant::fromValue(granted);
                bus.send(changed);
                response = 2;
                listed.clear();
            }
            reply(bus, m, {{QStringLiteral("shortcuts"), QVariant::fromValue(listed)}}, response);
            return true;
        }
        if (m.interface() == implInterface && member == QLatin1String("ListShortcuts")) {
            reply(bus, m, {{QStringLiteral("shortcuts"), QVariant::fromValue(m_bound)}});
            return true;
        }
        if (m.interface() == QLatin1String("org.freedesktop.impl.portal.Session") &&
            member == QLatin1String("Close")) {
            m_calls << QStringLiteral("Close");
            bus.send(m.createReply());
            return true;
        }
        if (m.interface() == QLatin1String("org.dududadadadiz.PortalTest")) {
            if (member == QLatin1String("Calls")) {
                bus.send(m.createReply(QVariant(m_calls)));
            } else if (member == QLatin1String("Answer")) {
                m_answer = a.value(0).toString();
                bus.send(m.createReply());
            } else if (member == QLatin1String("Activate")) {
                // Activate(s id, b alsoDeactivated): on the latest session.
                for (const char *sig : {"Activated", "Deactivated"}) {
                    if (sig[0] == 'D' && !a.value(1).toBool())
                        break;
                    QDBusMessage s = QDBusMessage::createSignal(objectPath, implInterface,
                                                                QString::fromLatin1(sig));
                    s << QVariant::fromValue(QDBusObjectPath(m_session)) << a.value(0)
                      << QVariant::fromValue(qulonglong(0)) << QVariantMap();
                    bus.send(s);
                }
                bus.send(m.createReply());
            } else {
                return false;
            }
            return true;
        }
        return false;
    }

private:
    static void reply(const QDBusConnection &bus, const QDBusMessage &m, const QVariantMap &res,
                      uint response = 0)
    {
        bus.send(m.createReply(QList<QVariant>{QVariant(response), res}));
    }

    QStringList m_calls;
    QString m_session;
    ShortcutList m_bound;
    QString m_answer = QStringLiteral("all");
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<QPair<QString, QVariantMap>>();
    qDBusRegisterMetaType<ShortcutList>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    Backend backend;
    if (!bus.registerVirtualObject(objectPath, &backend, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.dudtest"))) {
        qCritical("portal test backend: cannot register on the session bus: %s",
                  qPrintable(bus.lastError().message()));
        return 1;
    }
    return app.exec();
}
