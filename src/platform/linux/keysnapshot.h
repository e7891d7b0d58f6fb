#pragma once

#include "platform/keyboard.h"

#include <bitset>

namespace platform {

/// Bits of a KeyState byte as the X11 and evdev devices fill it. Any non-zero byte counts as
/// down; the low bit lets the monitor tell a second press apart from a key held since the
/// previous snapshot (released and pressed again in between).
constexpr std::uint8_t keyDownNow = 0x80;
constexpr std::uint8_t keyPressedSince = 0x01;

/// The keyboard scan code (set 1, extended keys as 0x80 | code) of a Linux input key code,
/// or -1 for a key that has none. The codes 1 to 88 are the set-1 codes themselves.
int scanCodeFromLinuxKey(int code);

/// Keys down now, plus every press since the previous snapshot, so that a tap shorter than
/// the polling period is still seen once.
class PressTracker
{
public:
    /// A key went down (by its scan code). Returns true for a new press, false for a key
    /// already known to be down (auto-repeat, a second keyboard holding the same key).
    bool press(int scanCode);
    /// A key went up.
    void release(int scanCode);

    /// Fills @p out from @p downNow (non-zero bytes for the keys down at this moment): down
    /// keys get keyDownNow, keys pressed since the previous snapshot get keyPressedSince.
    /// Then forgets the presses and takes @p downNow as the keys known to be down.
    void snapshot(const KeyState &downNow, KeyState &out);

    /// No key known to be down and none pressed since the previous snapshot.
    bool quiet() const { return m_down.none() && m_pressed.none(); }

    /// Forgets everything (a device that re-reads its whole state after losing events).
    void reset();

private:
    std::bitset<256> m_down;
    std::bitset<256> m_pressed;
};

} // namespace platform
