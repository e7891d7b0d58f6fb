#pragma once

#include "platform/keyboard.h"

#include <QString>
#include <QStringList>
#include <bitset>

/// Scan codes the monitor looks at.
namespace scancode {
constexpr int LControl = 0x1D;
constexpr int RControl = 0x9D;
constexpr int LShift = 0x2A;
constexpr int RShift = 0x36;
constexpr int F7 = 0x41;
} // namespace scancode

/// One watched key: its scan code and the name handed to check.
struct WatchedKey
{
    int scanCode;
    const char *name;
};

/// The 48 watched keys in test order: "a".."z", "1".."9", "0", "F1".."F12".
const WatchedKey *watchedKeys();
constexpr int watchedKeyCount = 48;

/// The decision of one tick, from one snapshot. Widget-free: Launcher::Timer1_Timer reads the
/// device, asks tick() and makes the calls it returns, in order.
///
/// Beyond the plain rules, a key fires once per press: a watched key (and F7) fires at the
/// first tick that sees it down with the combination held, and again only after a tick has
/// seen it up, or after the device reports a new press of it (a byte with
/// platform::keyPressedSince set: released and pressed again between two snapshots).
///
/// Latches and early stops: every tick first clears the latch of each key it sees up, even
/// when it then stops at the count or the modifiers. A tick that stops early sets no latch,
/// so a key held while the combination is incomplete fires as soon as it is complete.
///
/// Resting: a tick that sees no watched key and no Ctrl or Shift down or pressed since says
/// so in Decision::rest. Every latch is clear then, so no tick is needed until the device
/// reports the next press; a caller that stops ticking there misses nothing.
class HotkeyMonitor
{
public:
    struct Decision
    {
        bool openPrompt = false; ///< call qlauncher_Click first
        QStringList keys;        ///< then check() with each name, in this order
        bool rest = false;       ///< nothing watched is down: no tick until the next press
    };

    /// @p s is the entry count text; "0", "" or anything that is not a count stops before
    /// the modifiers are looked at.
    Decision tick(const platform::KeyState &state, const QString &s);

private:
    bool m_f7Fired = false;
    std::bitset<watchedKeyCount> m_fired;
};
