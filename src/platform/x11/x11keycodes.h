#pragma once

#include "platform/keyboard.h"

#include <QByteArray>
#include <QString>

namespace platform {

/// The scan code of an X key code under the server's "evdev" key codes (X key code = Linux
/// input code + 8), or -1 for a key without one.
int scanCodeFromXKeyCode(int xKeyCode);

/// The X key code (under the "evdev" key codes) of the key a hotkey name stands for: the
/// letters by their place on a US keyboard, as the hotkeys are watched. -1 for no hotkey.
int xKeyCodeOfHotkey(const QString &key);

/// True for an XKB key-codes name from the "evdev" set ("evdev", "evdev+aliases(qwerty)").
/// Other sets (the old "xfree86" codes, a remote server's own) number the keys differently,
/// and the translation above would then watch the wrong keys.
bool isEvdevKeycodesName(const QByteArray &name);

/// Fills @p state (non-zero for down) from the 32-byte key-code bitmap of XQueryKeymap.
void keyStateFromXKeymap(const char keymap[32], KeyState &state);

} // namespace platform
