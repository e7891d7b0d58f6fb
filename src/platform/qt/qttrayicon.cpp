#include "platform/qt/qtbackends.h"
#include "platform/qt/trayeventtranslator.h"
#include "platform/trayicon.h"
#include "platform/x11/x11trayprobe.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace platform {
namespace {

const char watcherService[] = "org.kde.StatusNotifierWatcher";

bool statusNotifierHostPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (!bus.interface()->isServiceRegistered(QString::fromLatin1(watcherService)))
        return false;
    QDBusInterface watcher(QString::fromLatin1(watcherService),
                           QStringLiteral("/StatusNotifierWatcher"),
                           QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

/// The icon through QSystemTrayIcon. Qt settles once per process, when the first icon is
/// made, on a StatusNotifierItem host or an XEmbed tray; so the QSystemTrayIcon is made only
/// once a tray of either kind is present, and until then the desktop is watched for one: the
/// root window for an XEmbed tray, the bus for a StatusNotifierItem host. Nothing is polled,
/// so a program waiting for a tray sleeps until one comes.
class QtTrayIcon : public TrayIcon
{
    Q_OBJECT
public:
    QtTrayIcon()
    {
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            m_xembed = std::make_unique<X11TrayProbe>();
            if (m_xembed->descriptor() >= 0) {
                m_trayEvents =
                    new QSocketNotifier(m_xembed->descriptor(), QSocketNotifier::Read, this);
                // Left on for good: what the root window reports is read as it comes, and
                // nothing piles up unread on the connection.
                connect(m_trayEvents, &QSocketNotifier::activated, this,
                        &QtTrayIcon::readTrayEvents);
            }
        }
    }

    void show(const QIcon &icon, const QString &toolTip) override
    {
        m_iconImage = icon;
        m_toolTip = toolTip;
        m_wanted = true;
        tryCreate();
        if (!m_icon) {
            watchDBus();
            if (m_trayEvents)
                readTrayEvents();
        }
    }

    void hide() override
    {
        m_wanted = false;
        if (m_icon) {
            m_icon->hide();
            delete m_icon;
        }
    }

    bool trayAvailable() const override
    {
        if (m_icon && m_translator.host() == TrayEventTranslator::Host::StatusNotifier)
            return statusNotifierHostPresent();
        return xembedPresent() || statusNotifierHostPresent();
    }

    void setContextMenu(QMenu *menu) override { m_menu = menu; }

    bool supportsMessages() const override
    {
        // Asked before the icon is made, Qt would settle on the kind of tray then present
        // (see above). Both kinds it uses show messages: a balloon by an XEmbed icon, a
        // desktop notification for a StatusNotifierItem.
        return !m_icon || QSystemTrayIcon::supportsMessages();
    }

    void showMessage(const QString &title, const QString &text) override
    {
        m_message = {title, text};
        if (m_icon)
            showPendingMessage();
    }

private:
    bool xembedPresent() const { return m_xembed && m_xembed->present(); }

    void showPendingMessage()
    {
        if (m_message.first.isEmpty() || !QSystemTrayIcon::supportsMessages())
            return;
        m_icon->showMessage(m_message.first, m_message.second, QSystemTrayIcon::Information, 15000);
        m_message = {};
    }

    void readTrayEvents()
    {
        // Asking for the selection's owner may read further events along with the reply;
        // the notifier would not report those, so they are looked at here.
        while (m_xembed->readEvents())
            tryCreate();
        if (m_xembed->lost())
            m_trayEvents->setEnabled(false);
    }

    void watchDBus()
    {
        if (m_dbusWatcher)
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        m_dbusWatcher = new QDBusServiceWatcher(QString::fromLatin1(watcherService), bus,
                                                QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_dbusWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            // The host registers with the watcher just after the watcher appears.
            QTimer::singleShot(200, this, &QtTrayIcon::tryCreate);
        });
        // A host that registers with a watcher already running.
        bus.connect(QString::fromLatin1(watcherService), QStringLiteral("/StatusNotifierWatcher"),
                    QStringLiteral("org.kde.StatusNotifierWatcher"),
                    QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(tryCreate()));
    }

private slots:
    void tryCreate()
    {
        if (!m_wanted || m_icon)
            return;
        const bool sni = statusNotifierHostPresent();
        if (!sni && !xembedPresent())
            return;
        m_translator = TrayEventTranslator(sni ? TrayEventTranslator::Host::StatusNotifier
                                               : TrayEventTranslator::Host::XEmbed,
                                           QApplication::doubleClickInterval());
        m_icon = new QSystemTrayIcon(m_iconImage, this);
        m_icon->setObjectName(QStringLiteral("trayIcon"));
        m_icon->setToolTip(m_toolTip);
        // A StatusNotifierItem host draws the exported menu itself; an XEmbed tray reports
        // the right click and the program pops the menu up.
        if (sni && m_menu)
            m_icon->setContextMenu(m_menu);
        connect(m_icon, &QSystemTrayIcon::activated, this, &QtTrayIcon::onActivated);
        m_icon->show();
        // The embedded icon window is named by the tip too, so that a tray that lists its
        // icons by name (and assistive tools) shows "Dudud Adadadiz" and not the binary's name.
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->inherits("QSystemTrayIconSys"))
                w->setWindowTitle(m_toolTip);
        }
        // The balloon points at the icon: it waits until the tray has placed it.
        QTimer::singleShot(500, this, [this] {
            if (m_icon)
                showPendingMessage();
        });
    }

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason)
    {
        using A = TrayEventTranslator::Activation;
        A a;
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            a = A::Trigger;
            break;
        case QSystemTrayIcon::DoubleClick:
            a = A::DoubleClick;
            break;
        case QSystemTrayIcon::Context:
            if (m_translator.host() == TrayEventTranslator::Host::StatusNotifier)
                return; // the host shows the exported menu
            a = A::Context;
            break;
        case QSystemTrayIcon::MiddleClick:
            a = A::Middle;
            break;
        default:
            return;
        }
        if (const auto what = m_translator.translate(a, m_clock.elapsed()))
            emit activated(*what);
    }

    QIcon m_iconImage;
    QString m_toolTip;
    QPair<QString, QString> m_message; ///< title and text of a message not shown yet
    bool m_wanted = false;
    QPointer<QSystemTrayIcon> m_icon;
    QPointer<QMenu> m_menu;
    QSocketNotifier *m_trayEvents = nullptr; ///< only on X11
    QDBusServiceWatcher *m_dbusWatcher = nullptr;
    std::unique_ptr<X11TrayProbe> m_xembed; ///< only on X11
    TrayEventTranslator m_translator;
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

} // namespace

std::unique_ptr<TrayIcon> makeQtTrayIcon()
{
    return std::make_unique<QtTrayIcon>();
}

} // namespace platform

#include "qttrayicon.moc"
