#pragma once

#include "platform/keyboard.h"

#include <QByteArray>

namespace platform {

/// The scan code of an X key code under the server's "evdev" key codes (X key code = Linux
/// input code + 8), or -1 for a key without one.
int scanCodeFromXKeyCode(int xKeyCode);

/// True for an XKB key-codes name from the "evdev" set ("evdev", "evdev+aliases(qwerty)").
/// Other sets (the old "xfree86" codes, a remote server's own) number the keys differently,
/// and the translation above would then watch the wrong keys.
bool isEvdevKeycodesName(const QByteArray &name);

/// Fills @p state (non-zero for down) from the 32-byte key-code bitmap of XQueryKeymap.
void keyStateFromXKeymap(const char keymap[32], KeyState &state);

} // namespace platform
