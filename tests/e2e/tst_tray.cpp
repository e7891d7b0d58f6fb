// The tray icon used with the mouse, on both kinds of tray host: an XEmbed tray (trayer)
// clicked through the X server, and a StatusNotifierItem host faked on a private bus.

#include "harness.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QImage>
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

/// The popup of the program on the screen (an override-redirect window), or none.
QString popupWindow(const E2eSession &x)
{
    for (const QString &w : x.xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--class"), QStringLiteral("dudud-adadadiz")})
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (x.run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), w})
                .contains(QLatin1String("Override Redirect State: yes")))
            return w;
    }
    return {};
}

/// The widest run of background between the first and the last ink of @p band of @p shot:
/// the space between a menu item's label and its shortcut.
int widestGap(const QImage &shot, const QRect &band)
{
    const QColor background = shot.pixelColor(band.left() + 2, band.center().y());
    int first = -1, last = -1, gap = 0, run = 0;
    for (int x = band.left(); x <= band.right(); ++x) {
        bool ink = false;
        for (int y = band.top(); y <= band.bottom() && !ink; ++y) {
            const QColor c = shot.pixelColor(x, y);
            ink = qAbs(qGray(c.rgb()) - qGray(background.rgb())) > 80;
        }
        if (!ink) {
            ++run;
            continue;
        }
        if (first >= 0)
            gap = qMax(gap, run);
        else
            first = x;
        last = x;
        run = 0;
    }
    return last > first ? gap : -1;
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

    // At 20 pt the menu's labels and shortcuts stay apart: "Dudud Adadadiz" and "F7" are
    // further apart than the words of the label.
    void trayMenuKeepsShortcutsApartAtLargeFonts()
    {
        E2eSession x;
        QVERIFY2(x.ok(), qPrintable(x.error()));
        x.writeEntryFile("[count]\nc=0\n");
        QVERIFY2(x.startApp(E2eSession::lookEnvironment(QStringLiteral("font20"))),
                 qPrintable(x.error()));
        QTRY_COMPARE_WITH_TIMEOUT(x.trayIconsOfApp().size(), 1, 10000);
        QVERIFY(clickIcon(x, {QStringLiteral("3")}));
        QTRY_VERIFY_WITH_TIMEOUT(!popupWindow(x).isEmpty(), 5000);
        QTest::qWait(300); // painted
        const QRect menu = x.geometry(popupWindow(x));
        const QImage shot(x.screenshot(QStringLiteral("tray-menu-20pt")));
        QVERIFY(!shot.isNull());
        // Three items of one height: the prompt's is the middle one. Its label's words are
        // a space apart, about a fifth of the line; its shortcut sits further off.
        const int item = menu.height() / 3;
        const QRect band(menu.left() + 4, menu.top() + item + item / 4, menu.width() - 8, item / 2);
        const int gap = widestGap(shot, band);
        QVERIFY2(gap > item / 2, qPrintable(QStringLiteral("label and shortcut %1 px apart in "
                                                           "an item %2 px high")
                                                .arg(gap)
                                                .arg(item)));
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
