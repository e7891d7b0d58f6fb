#include "launch/hotkeymonitor.h"

#include "entries/entryfile.h"
#include "platform/keyboard.h"

const WatchedKey *watchedKeys()
{
    static const WatchedKey keys[watchedKeyCount] = {
        {0x1E, "a"},  {0x30, "b"},  {0x2E, "c"},  {0x20, "d"},   {0x12, "e"},   {0x21, "f"},
        {0x22, "g"},  {0x23, "h"},  {0x17, "i"},  {0x24, "j"},   {0x25, "k"},   {0x26, "l"},
        {0x32, "m"},  {0x31, "n"},  {0x18, "o"},  {0x19, "p"},   {0x10, "q"},   {0x13, "r"},
        {0x1F, "s"},  {0x14, "t"},  {0x16, "u"},  {0x2F, "v"},   {0x11, "w"},   {0x2D, "x"},
        {0x15, "y"},  {0x2C, "z"},  {0x02, "1"},  {0x03, "2"},   {0x04, "3"},   {0x05, "4"},
        {0x06, "5"},  {0x07, "6"},  {0x08, "7"},  {0x09, "8"},   {0x0A, "9"},   {0x0B, "0"},
        {0x3B, "F1"}, {0x3C, "F2"}, {0x3D, "F3"}, {0x3E, "F4"},  {0x3F, "F5"},  {0x40, "F6"},
        {0x41, "F7"}, {0x42, "F8"}, {0x43, "F9"}, {0x44, "F10"}, {0x57, "F11"}, {0x58, "F12"},
    };
    return keys;
}

namespace {
// A latched key fires again only for a press the device saw after the latching snapshot.
bool firesAgain(std::uint8_t b)
{
    return (b & platform::keyPressedSince) != 0;
}
} // namespace

HotkeyMonitor::Decision HotkeyMonitor::tick(const platform::KeyState &state, const QString &s)
{
    Decision d;
    const WatchedKey *keys = watchedKeys();

    // Seen up clears the latch whatever follows, so that no early stop below can leave a
    // released key unable to fire.
    bool anyDown = false;
    for (int i = 0; i < watchedKeyCount; ++i) {
        if (!state[keys[i].scanCode])
            m_fired.reset(i);
        else
            anyDown = true;
    }
    d.rest = !anyDown && !state[scancode::LControl] && !state[scancode::RControl] &&
             !state[scancode::LShift] && !state[scancode::RShift];

    const std::uint8_t f7 = state[scancode::F7];
    if (!f7) {
        m_f7Fired = false;
    } else if (!m_f7Fired || firesAgain(f7)) {
        d.openPrompt = true;
        m_f7Fired = true;
    }

    if (entries::parseCount(s).value_or(0) <= 0)
        return d;
    if (!state[scancode::LControl] && !state[scancode::RControl])
        return d;
    if (!state[scancode::LShift] && !state[scancode::RShift])
        return d;

    for (int i = 0; i < watchedKeyCount; ++i) {
        const std::uint8_t b = state[keys[i].scanCode];
        if (!b)
            continue;
        if (m_fired.test(i) && !firesAgain(b))
            continue;
        m_fired.set(i);
        d.keys << QString::fromLatin1(keys[i].name);
    }
    return d;
}
