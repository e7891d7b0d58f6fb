#include "launch/hotkeymonitor.h"

// Placeholder: the tick is built with the keyboard device.
const WatchedKey *watchedKeys()
{
    static const WatchedKey keys[watchedKeyCount] = {};
    return keys;
}

HotkeyMonitor::Decision HotkeyMonitor::tick(const platform::KeyState &, const QString &)
{
    return {};
}
