#include "platform/x11/x11keycodes.h"

#include "platform/keyboard.h"

namespace platform {

int scanCodeFromXKeyCode(int xKeyCode)
{
    if (xKeyCode < 8 || xKeyCode > 255)
        return -1;
    return scanCodeFromLinuxKey(xKeyCode - 8);
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
