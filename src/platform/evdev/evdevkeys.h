#pragma once

#include "platform/keyboard.h"

#include <QString>
#include <QStringList>

struct input_event;

namespace platform {

/// Bit @p n of a kernel bit array (as EVIOCGBIT and EVIOCGKEY fill them).
inline bool testLongBit(const unsigned long *bits, int n)
{
    constexpr int perLong = int(sizeof(unsigned long) * 8);
    return (bits[n / perLong] >> (n % perLong)) & 1ul;
}

/// True for a device whose EV_KEY capabilities (@p bits, @p longs long) include the 26 letter
/// keys: a keyboard, not a power button, a remote control or a mouse.
bool hasLetterKeys(const unsigned long *bits, int longs);

/// ORs the keys set in an EVIOCGKEY bit array into @p state as scan codes.
void addKeysDown(const unsigned long *bits, int longs, KeyState &state);

/// What to tell a user who may not read the keyboard devices @p denied.
QString evdevPermissionMessage(const QString &user, const QStringList &denied);
/// What to tell a user when @p dir holds no keyboard at all.
QString evdevNoKeyboardMessage(const QString &dir);

/// Follows the event stream of one keyboard. Presses and releases go to the tracker; after
/// SYN_DROPPED (the kernel's buffer overflowed) everything up to the next SYN_REPORT is
/// stale, and the caller must read the device's whole state again.
class EvdevStream
{
public:
    enum Result
    {
        Nothing = 0,
        NewPress = 1, ///< a key went down that was not down before
        Resync = 2,   ///< events were lost: re-read the keys down (resyncTracker)
    };
    int feed(const input_event &ev, PressTracker &tracker);

    /// After a Resync: takes the device's keys down now (@p downNow, non-zero bytes) as the
    /// truth. Returns true when that shows a key down that the tracker did not know of.
    static bool resyncTracker(const KeyState &downNow, PressTracker &tracker);

private:
    bool m_dropping = false;
};

} // namespace platform
