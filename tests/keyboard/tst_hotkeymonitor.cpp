#include "launch/hotkeymonitor.h"
#include "platform/fake/fakeplatform.h"
#include "platform/keyboard.h"

#include "keynames.h"

#include <QtTest>

// Scripts are ticks separated by " | ". A tick lists keys joined by '+'; a plain key is down
// (and held since an earlier snapshot), "name*" is down and newly pressed since the previous
// snapshot, "name~" was tapped (pressed and released between the snapshots). "@<count>" at the
// end of a tick sets the entry count text for that tick ("@" alone: empty).
// Expectations, one per tick: "!" for the prompt, then the names handed on, joined by ','.
namespace {
struct Tick
{
    platform::KeyState state{};
    QString count;
    bool ownCount = false;
};

Tick parseTick(const QString &text)
{
    Tick t;
    QString keys = text.trimmed();
    const int at = keys.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        t.count = keys.mid(at + 1);
        t.ownCount = true;
        keys = keys.left(at);
    }
    for (QString k : keys.split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
        std::uint8_t b = platform::keyDownNow;
        if (k.endsWith(QLatin1Char('*'))) {
            b = platform::keyDownNow | platform::keyPressedSince;
            k.chop(1);
        } else if (k.endsWith(QLatin1Char('~'))) {
            b = platform::keyPressedSince;
            k.chop(1);
        }
        const int sc = scanCodeByName(k);
        if (sc < 0)
            qFatal("unknown key name in script: %s", qPrintable(k));
        t.state[sc] = b;
    }
    return t;
}

QString describe(const HotkeyMonitor::Decision &d)
{
    return (d.openPrompt ? QStringLiteral("!") : QString()) + d.keys.join(QLatin1Char(','));
}
} // namespace

class TstHotkeyMonitor : public QObject
{
    Q_OBJECT
private slots:
    void watchedKeyTable();
    void ticks_data();
    void ticks();
    void allWatchedKeysInTableOrder();
    void scriptedTapIsSeenOnce();
    void rest_data();
    void rest();
};

void TstHotkeyMonitor::watchedKeyTable()
{
    // Names, codes and order as handed to check: the letters, the main-row digits 1..9 then 0,
    // the function keys.
    const WatchedKey *keys = watchedKeys();
    QStringList names;
    for (int i = 0; i < watchedKeyCount; ++i) {
        names << QString::fromLatin1(keys[i].name);
        QCOMPARE(keys[i].scanCode, scanCodeByName(names.last()));
    }
    QCOMPARE(names.join(QLatin1Char(' ')),
             QStringLiteral("a b c d e f g h i j k l m n o p q r s t u v w x y z "
                            "1 2 3 4 5 6 7 8 9 0 F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12"));
}

void TstHotkeyMonitor::ticks_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");

    // The plain rules.
    QTest::newRow("F7 alone, no entries") << ""
                                          << "F7" << QStringList{"!"};
    QTest::newRow("F7 alone, count 0") << "0"
                                       << "F7" << QStringList{"!"};
    QTest::newRow("F7 alone, entries") << "3"
                                       << "F7" << QStringList{"!"};
    QTest::newRow("Ctrl+Shift+F7: prompt and F7") << "3"
                                                  << "LCtrl+LShift+F7" << QStringList{"!F7"};
    QTest::newRow("Ctrl+Shift+F7, no entries: prompt only")
        << "0"
        << "LCtrl+LShift+F7" << QStringList{"!"};
    QTest::newRow("LCtrl+LShift+a") << "1"
                                    << "LCtrl+LShift+a" << QStringList{"a"};
    QTest::newRow("RCtrl+LShift+a") << "1"
                                    << "RCtrl+LShift+a" << QStringList{"a"};
    QTest::newRow("LCtrl+RShift+a") << "1"
                                    << "LCtrl+RShift+a" << QStringList{"a"};
    QTest::newRow("RCtrl+RShift+a") << "1"
                                    << "RCtrl+RShift+a" << QStringList{"a"};
    QTest::newRow("both Ctrl, both Shift") << "1"
                                           << "LCtrl+RCtrl+LShift+RShift+m" << QStringList{"m"};
    QTest::newRow("Ctrl+a alone") << "1"
                                  << "LCtrl+a" << QStringList{""};
    QTest::newRow("RCtrl+a alone") << "1"
                                   << "RCtrl+a" << QStringList{""};
    QTest::newRow("Shift+a alone") << "1"
                                   << "RShift+a" << QStringList{""};
    QTest::newRow("a alone") << "1"
                             << "a" << QStringList{""};
    QTest::newRow("Ctrl+Alt+Shift+a") << "1"
                                      << "LCtrl+LAlt+LShift+a" << QStringList{"a"};
    QTest::newRow("Ctrl+AltGr+Win+Shift+a") << "1"
                                            << "RCtrl+RAlt+LWin+RWin+RShift+a" << QStringList{"a"};
    QTest::newRow("Ctrl+Alt+a, no Shift") << "1"
                                          << "LCtrl+LAlt+a" << QStringList{""};
    QTest::newRow("Ctrl+Win+a, no Shift") << "1"
                                          << "LCtrl+LWin+a" << QStringList{""};
    QTest::newRow("keypad digits never fire")
        << "5"
        << "LCtrl+LShift+KP1+KP2+KP3+KP4+KP5+KP6+KP7+KP8+KP9+KP0" << QStringList{""};
    QTest::newRow("main-row digit 1") << "5"
                                      << "LCtrl+LShift+1" << QStringList{"1"};
    QTest::newRow("main-row digit 0") << "5"
                                      << "LCtrl+LShift+0" << QStringList{"0"};
    QTest::newRow("F5") << "5"
                        << "LCtrl+LShift+F5" << QStringList{"F5"};
    QTest::newRow("F11 and F12") << "5"
                                 << "LCtrl+LShift+F12+F11" << QStringList{"F11,F12"};
    QTest::newRow("unwatched keys") << "5"
                                    << "LCtrl+LShift+Space+Enter" << QStringList{""};
    QTest::newRow("count 0") << "0"
                             << "LCtrl+LShift+a" << QStringList{""};
    QTest::newRow("count empty") << ""
                                 << "LCtrl+LShift+a" << QStringList{""};
    QTest::newRow("count not a number") << "x"
                                        << "LCtrl+LShift+a" << QStringList{""};
    QTest::newRow("count negative") << "-2"
                                    << "LCtrl+LShift+a" << QStringList{""};
    QTest::newRow("a and b together") << "2"
                                      << "LCtrl+LShift+b+a" << QStringList{"a,b"};
    QTest::newRow("table order across groups")
        << "2"
        << "LCtrl+LShift+F12+1+0+z+a" << QStringList{"a,z,1,0,F12"};

    // One press fires once.
    QTest::newRow("held combination fires once")
        << "1"
        << "LCtrl+LShift+n | LCtrl+LShift+n | LCtrl+LShift+n" << QStringList{"n", "", ""};
    QTest::newRow("released and pressed again fires again")
        << "1"
        << "LCtrl+LShift+n | LCtrl+LShift | LCtrl+LShift+n" << QStringList{"n", "", "n"};
    QTest::newRow("pressed again between two ticks fires again")
        << "1"
        << "LCtrl+LShift+n* | LCtrl+LShift+n* | LCtrl+LShift+n" << QStringList{"n", "n", ""};
    QTest::newRow("tapped again between two ticks fires again")
        << "1"
        << "LCtrl+LShift+n | LCtrl+LShift+n~" << QStringList{"n", "n"};
    QTest::newRow("held F7 opens the prompt once") << ""
                                                   << "F7 | F7 | F7" << QStringList{"!", "", ""};
    QTest::newRow("F7 again after release") << ""
                                            << "F7 | | F7" << QStringList{"!", "", "!"};
    QTest::newRow("F7 pressed again between ticks") << ""
                                                    << "F7 | F7*" << QStringList{"!", "!"};
    QTest::newRow("held Ctrl+Shift+F7 once each")
        << "1"
        << "LCtrl+LShift+F7 | LCtrl+LShift+F7" << QStringList{"!F7", ""};
    QTest::newRow("second key joins a held one")
        << "1"
        << "LCtrl+LShift+a | LCtrl+LShift+a+b | LCtrl+LShift+b" << QStringList{"a", "b", ""};
    QTest::newRow("modifiers released and pressed while the key is held")
        << "1"
        << "LCtrl+LShift+n | n | LCtrl+LShift+n" << QStringList{"n", "", ""};

    // A press shorter than a tick, modifiers included.
    QTest::newRow("tapped combination") << "1"
                                        << "LCtrl~+LShift~+n~" << QStringList{"n"};
    QTest::newRow("tapped key, held modifiers")
        << "1"
        << "RCtrl+RShift+n~ | RCtrl+RShift" << QStringList{"n", ""};
    QTest::newRow("tapped F7") << ""
                               << "F7~" << QStringList{"!"};

    // Latches and early stops.
    QTest::newRow("key held before the modifiers fires when they come")
        << "1"
        << "n | LCtrl+n | LCtrl+LShift+n" << QStringList{"", "", "n"};
    QTest::newRow("key seen up during a stop at the modifiers clears its latch")
        << "1"
        << "LCtrl+LShift+n | LCtrl | LCtrl+LShift+n" << QStringList{"n", "", "n"};
    QTest::newRow("key seen up during a stop at the count clears its latch")
        << "1"
        << "LCtrl+LShift+n | LCtrl+LShift@0 | LCtrl+LShift+n" << QStringList{"n", "", "n"};
    QTest::newRow("key held through a count of 0 stays latched")
        << "1"
        << "LCtrl+LShift+n | LCtrl+LShift+n@0 | LCtrl+LShift+n" << QStringList{"n", "", ""};
    QTest::newRow("key held while the count was 0 fires when entries come")
        << "1"
        << "LCtrl+LShift+n@0 | LCtrl+LShift+n@ | LCtrl+LShift+n" << QStringList{"", "", "n"};
    QTest::newRow("F7 latch is independent of the count and modifiers")
        << "0"
        << "F7 | LCtrl+F7@ | LCtrl | F7" << QStringList{"!", "", "", "!"};
}

void TstHotkeyMonitor::ticks()
{
    QFETCH(QString, count);
    QFETCH(QString, script);
    QFETCH(QStringList, expected);

    const QStringList ticks = script.split(QLatin1Char('|'));
    QCOMPARE(ticks.size(), expected.size());
    HotkeyMonitor monitor;
    QStringList got;
    for (const QString &text : ticks) {
        const Tick t = parseTick(text);
        got << describe(monitor.tick(t.state, t.ownCount ? t.count : count));
    }
    QCOMPARE(got, expected);
}

void TstHotkeyMonitor::allWatchedKeysInTableOrder()
{
    platform::KeyState state{};
    state[scancode::RControl] = platform::keyDownNow;
    state[scancode::LShift] = platform::keyDownNow;
    QStringList names;
    for (int i = 0; i < watchedKeyCount; ++i) {
        state[watchedKeys()[i].scanCode] = platform::keyDownNow;
        names << QString::fromLatin1(watchedKeys()[i].name);
    }
    HotkeyMonitor monitor;
    const HotkeyMonitor::Decision d = monitor.tick(state, QStringLiteral("12"));
    QVERIFY(d.openPrompt);
    QCOMPARE(d.keys, names);
}

void TstHotkeyMonitor::scriptedTapIsSeenOnce()
{
    // Through a device: Ctrl and Shift held, N tapped between two snapshots.
    fake::ScriptedKeyboard kb;
    HotkeyMonitor monitor;
    platform::KeyState state{};
    QString error;
    QVERIFY(kb.acquire(&error));
    kb.press(scancode::LControl);
    kb.tap(scancode::RShift);
    kb.tap(scanCodeByName("n"));
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(monitor.tick(state, "1").keys, QStringList{"n"});

    // Shift is gone now: N tapped again does not fire.
    kb.tap(scanCodeByName("n"));
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(monitor.tick(state, "1").keys, QStringList{});

    // With Shift held, a new tap fires: the previous tick saw N up.
    kb.press(scancode::LShift);
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(monitor.tick(state, "1").keys, QStringList{});
    kb.tap(scanCodeByName("n"));
    QVERIFY(kb.readState(state, &error));
    QCOMPARE(monitor.tick(state, "1").keys, QStringList{"n"});
}

void TstHotkeyMonitor::rest_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("rest");

    QTest::newRow("nothing down") << "1"
                                  << "" << true;
    QTest::newRow("only unwatched keys down") << "1"
                                              << "LAlt+RWin+KP1+Space+Enter" << true;
    QTest::newRow("LCtrl held") << "1"
                                << "LCtrl" << false;
    QTest::newRow("RCtrl held") << "1"
                                << "RCtrl" << false;
    QTest::newRow("LShift held") << "1"
                                 << "LShift" << false;
    QTest::newRow("RShift held") << "1"
                                 << "RShift" << false;
    QTest::newRow("modifier tapped") << "1"
                                     << "RShift~" << false;
    QTest::newRow("first watched key held") << "1"
                                            << "a" << false;
    QTest::newRow("last watched key held") << "1"
                                           << "F12" << false;
    QTest::newRow("F7 held, no entries") << ""
                                         << "F7" << false;
    QTest::newRow("watched key tapped, count 0") << "0"
                                                 << "n~" << false;
}

void TstHotkeyMonitor::rest()
{
    QFETCH(QString, count);
    QFETCH(QString, keys);
    QFETCH(bool, rest);
    HotkeyMonitor monitor;
    QCOMPARE(monitor.tick(parseTick(keys).state, count).rest, rest);
}

QTEST_GUILESS_MAIN(TstHotkeyMonitor)
#include "tst_hotkeymonitor.moc"
