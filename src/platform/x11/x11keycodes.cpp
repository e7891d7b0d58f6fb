#include "platform/x11/x11keycodes.h"

#include "platform/keyboard.h"

#include <linux/input-event-codes.h>

namespace platform {

int scanCodeFromXKeyCode(int xKeyCode)
{
    if (xKeyCode < 8 || xKeyCode > 255)
        return -1;
    return scanCodeFromLinuxKey(xKeyCode - 8);
}

int xKeyCodeOfHotkey(const QString &key)
{
    // X key code = Linux input code + 8 under the evdev key codes.
    static const int letters[26] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                    KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                    KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    static const int functions[12] = {KEY_F1, KEY_F2, KEY_F3, KEY_F4,  KEY_F5,  KEY_F6,
                                      KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12};
    const QString k = key.toUpper();
    if (k.size() == 1 && k.at(0) >= u'A' && k.at(0) <= u'Z')
        return letters[k.at(0).unicode() - u'A'] + 8;
    if (k.size() == 1 && k.at(0) >= u'1' && k.at(0) <= u'9')
        return KEY_1 + (k.at(0).unicode() - u'1') + 8;
    if (k == u'0')
        return KEY_0 + 8;
    bool ok = false;
    const int f = k.startsWith(u'F') ? k.mid(1).toInt(&ok) : 0;
    if (ok && f >= 1 && f <= 12 && k.mid(1) == QString::number(f))
        return functions[f - 1] + 8;
    return -1;
}

bool isEvdevKeycodesName(const QByteArray &name)
{
    return name.startsWith("evdev");
}

void keyStateFromXKeymap(const char keymap[32], KeyState &state)
{
    state.fill(0);
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (!(static_cast<unsigned char>(keymap[keycode / 8]) & (1u << (keycode % 8))))
            continue;
        const int sc = scanCodeFromXKeyCode(keycode);
        if (sc >= 0)
            state[sc] = keyDownNow;
    }
}

} // namespace platform
