// The tray icon used with the mouse, on both kinds of tray host: an XEmbed tray (trayer)
// clicked through the X server, and a StatusNotifierItem host faked on a private bus.

#include "harness.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QtTest>

namespace {

const QString mainTitle = QStringLiteral("ZIZI Dudud Adadadiz");
const QString promptTitle = QStringLiteral("Dudud Adadadiz");

/// The prompt's windows: titled like the tray icon, so the icon is left out.
QStringList promptWindows(const E2eSession &x)
{
    QStringList w = x.visibleWindows(promptTitle);
    for (const QString &icon : x.trayIconsOfApp())
        w.removeAll(QString::number(icon.toULongLong(nullptr, 16)));
    return w;
}

/// Whether a popup (an override-redirect window of the program) is on the screen.
bool popupVisible(const E2eSession &x)
{
    return x
        .run(QStringLiteral("sh"),
             {QStringLiteral("-c"),
              QStringLiteral("for w in $(xdotool search --onlyvisible --class dudud-adadadiz); "
                             "do xwininfo -id $w; done")})
        .contains(QLatin1String("Override Redirect State: yes"));
}

bool clickIcon(E2eSession &x, const QStringList &clickArgs)
{
    const QStringList icons = x.trayIconsOfApp();
    if (icons.size() != 1)
        return false;
    const QRect g = x.geometry(QString::number(icons.first().toULongLong(nullptr, 16)));
    x.xdotool({QStringLiteral("mousemove"), QString::number(g.center().x()),
               QString::number(g.center().y())});
    x.xdotool(QStringList{QStringLiteral("click")} + clickArgs);
    return true;
}

} // namespace

/// A StatusNotifierWatcher with a host registered (or one to come), as a panel of that kind
/// provides.
class FakeWatcher : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    explicit FakeWatcher(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return m_host; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
    QStringList m_items;
    QString m_lastSender;
    bool m_host = true;

public slots:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &msg)
    {
        // An item may name its object path instead of its service; the sender is the service.
        m_items << service;
        m_lastSender = msg.service();
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString &) {}

signals:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();
};

class TstTray : public QObject
{
    Q_OBJECT
private slots:
    void leftClickShowsThePromptWithTheFocus()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QVERIFY(clickIcon(x, {QStringLiteral("1")}));
        QTRY_COMPARE_WITH_TIMEOUT(promptWindows(x).size(), 1, 5000);
        const QString prompt = promptWindows(x).first();
        QTRY_COMPARE_WITH_TIMEOUT(x.focusedWindow(), prompt, 3000);
        x.screenshot(QStringLiteral("tray-left-click"));
    }

    void doubleClickShowsTheMainWindowCentred()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp({QStringLiteral("QT_LOGGING_RULES=dudud.tray.debug=true")}),
                 qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QVERIFY(
            clickIcon(x, {QStringLiteral("--repeat"), QStringLiteral("2"),
                          QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")}));
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(mainTitle).size(), 1, 5000);
        const QRect g = x.geometry(x.visibleWindows(mainTitle).first());
        QVERIFY2(qAbs(g.center().x() - 640) <= 20 && qAbs(g.center().y() - 400) <= 40,
                 qPrintable(QStringLiteral("%1,%2").arg(g.center().x()).arg(g.center().y())));
    }

    void rightClickMenuExitEndsAndRemovesTheIcon()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QVERIFY(clickIcon(x, {QStringLiteral("3")}));
        // The popup menu is a window of the program of type popup menu.
        QTRY_VERIFY_WITH_TIMEOUT(popupVisible(x), 5000);
        x.screenshot(QStringLiteral("tray-menu"));
        x.xdotool({QStringLiteral("key"), QStringLiteral("e")});
        QVERIFY(x.waitForAppExit(5000));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 0, 5000);
    }

    void statusNotifierHost()
    {
        E2eSession::Options o;
        o.tray = false;
        E2eSession x(o);
        QVERIFY2(x.ok(), qPrintable(x.error()));

        QDBusConnection bus = QDBusConnection::connectToBus(
            x.environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")),
            QStringLiteral("e2e"));
        QVERIFY(bus.isConnected());
        QObject root;
        auto *watcher = new FakeWatcher(&root);
        QVERIFY(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root));
        QVERIFY(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

        QVERIFY2(x.startApp({}, [&] { return !watcher->m_items.isEmpty(); }),
                 qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->m_items.size(), 1, 10000);
        QString service = watcher->m_items.first();
        if (service.startsWith(QLatin1Char('/')))
            service = watcher->m_lastSender;
        QDBusInterface item(service, QStringLiteral("/StatusNotifierItem"),
                            QStringLiteral("org.kde.StatusNotifierItem"), bus);
        QVERIFY(item.isValid());
        QCOMPARE(item.property("ToolTip").isValid() || item.property("Title").isValid(), true);
        // The menu is exported for the host to draw.
        QVERIFY(!item.property("Menu").value<QDBusObjectPath>().path().isEmpty());

        // Two activations within the double-click interval: the prompt, then the main window.
        item.call(QStringLiteral("Activate"), 0, 0);
        QTRY_COMPARE_WITH_TIMEOUT(promptWindows(x).size(), 1, 5000);
        item.call(QStringLiteral("Activate"), 0, 0);
        item.call(QStringLiteral("Activate"), 0, 0);
        QTRY_COMPARE_WITH_TIMEOUT(x.visibleWindows(mainTitle).size(), 1, 5000);

        // The host draws the menu: the program pops none up itself.
        item.call(QStringLiteral("ContextMenu"), 10, 10);
        QTest::qWait(500);
        QVERIFY(!popupVisible(x));
        QCOMPARE(x.app()->state(), QProcess::Running);
    }

    void statusNotifierHostRegisteringLater()
    {
        E2eSession::Options o;
        o.tray = false;
        E2eSession x(o);
        QVERIFY2(x.ok(), qPrintable(x.error()));
        QDBusConnection bus = QDBusConnection::connectToBus(
            x.environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")),
            QStringLiteral("e2e-later"));
        QVERIFY(bus.isConnected());
        QObject root;
        auto *watcher = new FakeWatcher(&root);
        watcher->m_host = false;
        QVERIFY(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root));
        QVERIFY(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

        QVERIFY2(x.startApp(), qPrintable(x.error()));
        QTest::qWait(1500);
        QVERIFY(watcher->m_items.isEmpty());
        // The panel's host comes up with the watcher already running.
        watcher->m_host = true;
        emit watcher->StatusNotifierHostRegistered();
        QTRY_COMPARE_WITH_TIMEOUT(watcher->m_items.size(), 1, 5000);
    }
};

QTEST_GUILESS_MAIN(TstTray)
#include "tst_tray.moc"
