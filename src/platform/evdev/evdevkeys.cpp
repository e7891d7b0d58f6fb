#include "platform/evdev/evdevkeys.h"

#include <linux/input.h>

namespace platform {

bool hasLetterKeys(const unsigned long *bits, int longs)
{
    static const int letters[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                  KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                  KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    const int available = longs * int(sizeof(unsigned long) * 8);
    for (int k : letters) {
        if (k >= available || !testLongBit(bits, k))
            return false;
    }
    return true;
}

void addKeysDown(const unsigned long *bits, int longs, KeyState &state)
{
    const int available = longs * int(sizeof(unsigned long) * 8);
    for (int code = 0; code < available; ++code) {
        if (!testLongBit(bits, code))
            continue;
        const int sc = scanCodeFromLinuxKey(code);
        if (sc >= 0)
            state[sc] = keyDownNow;
    }
}

QString evdevPermissionMessage(const QString &user, const QStringList &denied)
{
    const QString who = user.isEmpty() ? QStringLiteral("your user") : user;
    return QStringLiteral(
               "Dudud Adadadiz cannot read the keyboard: %1 may not read %2.\n\n"
               "It watches the keyboard devices for its hotkeys (Ctrl+Shift+key, and F7) because "
               "on this session nothing else shows it those keys while another program has the "
               "focus. It only reads them: it never grabs a key, and every key still reaches the "
               "program you type in.\n\n"
               "Recommended: let the user logged in at this seat read the keyboards, only while "
               "logged in. As root, create the file /etc/udev/rules.d/70-dudud-adadadiz.rules "
               "(the number must stay below 73) with this line:\n"
               "SUBSYSTEM==\"input\", KERNEL==\"event*\", ENV{ID_INPUT_KEYBOARD}==\"1\", "
               "TAG+=\"uaccess\"\n"
               "then run: udevadm control --reload && udevadm trigger --subsystem-match=input\n"
               "and start Dudud Adadadiz again.\n\n"
               "Joining the \"input\" group (usermod -aG input %3, then log in again) also works "
               "but is not advised: every program of %1 could then read every input device at "
               "all times, also while another user is at the seat and from remote logins.")
        .arg(who, denied.join(QStringLiteral(", ")),
             user.isEmpty() ? QStringLiteral("$USER") : user);
}

QString evdevNoKeyboardMessage(const QString &dir)
{
    return QStringLiteral("Dudud Adadadiz found no keyboard in %1 to watch for its hotkeys.\n\n"
                          "On an X11 session, start it with DUDUD_KEYBOARD=x11 to read the "
                          "keyboard through the X server instead.")
        .arg(dir);
}

int EvdevStream::feed(const input_event &ev, PressTracker &tracker)
{
    if (ev.type == EV_SYN) {
        if (ev.code == SYN_DROPPED) {
            m_dropping = true;
            return Nothing;
        }
        if (ev.code == SYN_REPORT && m_dropping) {
            m_dropping = false;
            return Resync;
        }
        return Nothing;
    }
    if (m_dropping || ev.type != EV_KEY)
        return Nothing;
    const int sc = scanCodeFromLinuxKey(ev.code);
    if (sc < 0)
        return Nothing;
    switch (ev.value) {
    case 0:
        tracker.release(sc);
        return Nothing;
    case 1:
        return tracker.press(sc) ? NewPress : Nothing;
    default: // 2: auto-repeat of a key already down
        return Nothing;
    }
}

bool EvdevStream::resyncTracker(const KeyState &downNow, PressTracker &tracker)
{
    bool newPress = false;
    for (int sc = 0; sc < int(downNow.size()); ++sc) {
        if (downNow[sc])
            newPress = tracker.press(sc) || newPress;
        else
            tracker.release(sc);
    }
    return newPress;
}

} // namespace platform
