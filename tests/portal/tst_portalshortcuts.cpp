// The parts of the portal keyboard that need no bus: the triggers asked for, the request
// path known before the call, and activations turned into presses that the hotkey monitor
// fires on once each.

#include "launch/hotkeymonitor.h"
#include "platform/portal/portalshortcuts.h"

#include <QtTest>

using platform::HotkeyUse;
namespace portal = platform::portal;

class TstPortalShortcuts : public QObject
{
    Q_OBJECT
private slots:
    void trigger_data();
    void trigger();
    void settingsPlace_data();
    void settingsPlace();
    void shortcutsForTheEntries();
    void requestPath_data();
    void requestPath();
    void oncePerActivation_data();
    void oncePerActivation();
};

void TstPortalShortcuts::trigger_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("told"); // as messages name it
    QTest::newRow("letter") << "n"
                            << "CTRL+SHIFT+n"
                            << "Ctrl+Shift+N";
    QTest::newRow("capital letter") << "N"
                                    << "CTRL+SHIFT+n"
                                    << "Ctrl+Shift+N";
    QTest::newRow("digit") << "1"
                           << "CTRL+SHIFT+1"
                           << "Ctrl+Shift+1";
    QTest::newRow("zero") << "0"
                          << "CTRL+SHIFT+0"
                          << "Ctrl+Shift+0";
    QTest::newRow("function key") << "F5"
                                  << "CTRL+SHIFT+F5"
                                  << "Ctrl+Shift+F5";
    QTest::newRow("function key, lower case") << "f12"
                                              << "CTRL+SHIFT+F12"
                                              << "Ctrl+Shift+F12";
    QTest::newRow("F13 is no hotkey") << "F13"
                                      << ""
                                      << "";
    QTest::newRow("punctuation") << "%"
                                 << ""
                                 << "";
    QTest::newRow("two letters") << "ab"
                                 << ""
                                 << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TstPortalShortcuts::trigger()
{
    QFETCH(QString, key);
    QFETCH(QString, trigger);
    QFETCH(QString, told);
    QCOMPARE(portal::triggerOf(key), trigger);
    QCOMPARE(portal::keysOf(trigger), told);
}

void TstPortalShortcuts::settingsPlace_data()
{
    QTest::addColumn<QByteArray>("desktop");
    QTest::addColumn<bool>("gnome");
    QTest::addColumn<bool>("kde");
    QTest::newRow("GNOME") << QByteArray("GNOME") << true << false;
    QTest::newRow("Ubuntu's GNOME") << QByteArray("ubuntu:GNOME") << true << false;
    QTest::newRow("Plasma") << QByteArray("KDE") << false << true;
    QTest::newRow("another desktop") << QByteArray("sway") << true << true;
    QTest::newRow("none named") << QByteArray() << true << true;
}

void TstPortalShortcuts::settingsPlace()
{
    QFETCH(QByteArray, desktop);
    QFETCH(bool, gnome);
    QFETCH(bool, kde);
    const QString m = platform::waylandNoHotkeysMessage(QStringLiteral("why"), desktop);
    QCOMPARE(m.contains(QStringLiteral("Settings > Keyboard > Keyboard Shortcuts > Applications")),
             gnome);
    QCOMPARE(m.contains(QStringLiteral("System Settings > Shortcuts")), kde);
}

void TstPortalShortcuts::shortcutsForTheEntries()
{
    // F7 always, then one per key in use (case aside), naming every entry on it; the scan
    // codes are those the monitor watches.
    const QList<portal::Shortcut> got =
        portal::shortcutsFor({{QStringLiteral("f5"), QStringLiteral("web")},
                              {QStringLiteral("N"), QStringLiteral("notes")},
                              {QStringLiteral("x!"), QStringLiteral("odd")},
                              {QStringLiteral("n"), QStringLiteral("mail")},
                              {QStringLiteral("n"), QStringLiteral("mail")},
                              {QStringLiteral("1"), QStringLiteral("one")}});
    const QList<portal::Shortcut> want = {
        {QStringLiteral("prompt"),
         QStringLiteral("Open the keyword prompt"),
         QStringLiteral("F7"),
         {scancode::F7}},
        {QStringLiteral("hotkey-n"),
         QStringLiteral("Open notes, mail"),
         QStringLiteral("CTRL+SHIFT+n"),
         {scancode::LControl, scancode::LShift, 0x31}},
        {QStringLiteral("hotkey-1"),
         QStringLiteral("Open one"),
         QStringLiteral("CTRL+SHIFT+1"),
         {scancode::LControl, scancode::LShift, 0x02}},
        {QStringLiteral("hotkey-F5"),
         QStringLiteral("Open web"),
         QStringLiteral("CTRL+SHIFT+F5"),
         {scancode::LControl, scancode::LShift, 0x3F}},
    };
    QCOMPARE(got, want);
    QCOMPARE(portal::shortcutsFor({}).size(), 1);
}

void TstPortalShortcuts::requestPath_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("path");
    QTest::newRow("unique name") << ":1.42"
                                 << "/org/freedesktop/portal/desktop/request/1_42/t1";
    QTest::newRow("long unique name") << ":1.1234"
                                      << "/org/freedesktop/portal/desktop/request/1_1234/t1";
}

void TstPortalShortcuts::requestPath()
{
    QFETCH(QString, sender);
    QFETCH(QString, path);
    QCOMPARE(portal::requestPath(sender, QStringLiteral("t1")), path);
}

void TstPortalShortcuts::oncePerActivation_data()
{
    // A script of desktop signals and hotkey ticks: "A:id" Activated, "D:id" Deactivated,
    // "T" a tick; and what the ticks fire: "prompt" and the keys, in order.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("fired");
    const QStringList n{QStringLiteral("n")};
    QTest::newRow("released after two ticks") << "A:n T T D:n T T" << n;
    QTest::newRow("release never told") << "A:n T T T T" << n;
    QTest::newRow("released before the tick") << "A:n D:n T T" << n;
    QTest::newRow("two presses between ticks") << "A:n A:n T T T" << (n + n);
    QTest::newRow("two presses, releases told") << "A:n D:n A:n D:n T T T" << (n + n);
    QTest::newRow("pressed again while held") << "A:n T A:n T D:n T" << (n + n);
    QTest::newRow("two hotkeys between ticks") << "A:n A:1 T T" << QStringList{"n", "1"};
    QTest::newRow("F7") << "A:prompt T D:prompt T" << QStringList{"prompt"};
    QTest::newRow("Ctrl+Shift+F7 does both") << "A:F7 T T" << QStringList{"prompt", "F7"};
    QTest::newRow("F7 while a hotkey is held")
        << "A:n T A:prompt T T" << QStringList{"n", "prompt"};
}

void TstPortalShortcuts::oncePerActivation()
{
    QFETCH(QString, script);
    QFETCH(QStringList, fired);
    const QList<portal::Shortcut> shortcuts =
        portal::shortcutsFor({{QStringLiteral("n"), QStringLiteral("notes")},
                              {QStringLiteral("1"), QStringLiteral("one")},
                              {QStringLiteral("F7"), QStringLiteral("seven")}});
    auto keysOf = [&](const QString &name) {
        const QString id =
            name == QLatin1String("prompt") ? name : QStringLiteral("hotkey-") + name;
        for (const portal::Shortcut &s : shortcuts) {
            if (s.id == id)
                return std::make_pair(id, s.scanCodes);
        }
        return std::make_pair(id, QVector<int>());
    };

    portal::ShortcutPresses presses;
    HotkeyMonitor monitor;
    QStringList got;
    HotkeyMonitor::Decision last;
    for (const QString &step : script.split(QLatin1Char(' '))) {
        if (step == QLatin1String("T")) {
            platform::KeyState state{};
            presses.snapshot(state);
            last = monitor.tick(state, QStringLiteral("3"));
            if (last.openPrompt)
                got << QStringLiteral("prompt");
            got += last.keys;
            continue;
        }
        const auto [id, keys] = keysOf(step.mid(2));
        QVERIFY(!keys.isEmpty());
        if (step.startsWith(QLatin1String("A:")))
            presses.activated(id, keys);
        else
            presses.deactivated(id);
    }
    QCOMPARE(got, fired);
    // Every script ends with its keys up: the tick may rest.
    QVERIFY(last.rest);
}

QTEST_GUILESS_MAIN(TstPortalShortcuts)
#include "tst_portalshortcuts.moc"
