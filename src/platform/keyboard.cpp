#include "platform/keyboard.h"

namespace platform {

int scanCodeFromLinuxKey(int code)
{
    if (code >= 1 && code <= 88)
        return code;
    // The keys that came with the extended keyboard: their set-1 codes carry the E0 prefix,
    // which a scan-code index stores as the high bit.
    switch (code) {
    case 89: // Ro
        return 0x73;
    case 92: // Henkan
        return 0x79;
    case 93: // Katakana/Hiragana
        return 0x70;
    case 94: // Muhenkan
        return 0x7B;
    case 96: // keypad Enter
        return 0x9C;
    case 97: // Right Ctrl
        return 0x9D;
    case 98: // keypad /
        return 0xB5;
    case 99: // SysRq / Print Screen
        return 0xB7;
    case 100: // Right Alt
        return 0xB8;
    case 102: // Home
        return 0xC7;
    case 103: // Up
        return 0xC8;
    case 104: // Page Up
        return 0xC9;
    case 105: // Left
        return 0xCB;
    case 106: // Right
        return 0xCD;
    case 107: // End
        return 0xCF;
    case 108: // Down
        return 0xD0;
    case 109: // Page Down
        return 0xD1;
    case 110: // Insert
        return 0xD2;
    case 111: // Delete
        return 0xD3;
    case 113: // Mute
        return 0xA0;
    case 114: // Volume Down
        return 0xAE;
    case 115: // Volume Up
        return 0xB0;
    case 116: // Power
        return 0xDE;
    case 117: // keypad =
        return 0x8D;
    case 119: // Pause
        return 0xC5;
    case 121: // keypad ,
        return 0xB3;
    case 124: // Yen
        return 0x7D;
    case 125: // Left Meta
        return 0xDB;
    case 126: // Right Meta
        return 0xDC;
    case 127: // Compose / Menu
        return 0xDD;
    case 142: // Sleep
        return 0xDF;
    case 143: // Wake Up
        return 0xE3;
    default:
        return -1;
    }
}

bool PressTracker::press(int scanCode)
{
    if (scanCode < 0 || scanCode > 255)
        return false;
    const bool wasDown = m_down.test(scanCode);
    m_down.set(scanCode);
    if (wasDown)
        return false;
    m_pressed.set(scanCode);
    return true;
}

void PressTracker::release(int scanCode)
{
    if (scanCode >= 0 && scanCode <= 255)
        m_down.reset(scanCode);
}

void PressTracker::snapshot(const KeyState &downNow, KeyState &out)
{
    for (size_t i = 0; i < out.size(); ++i) {
        std::uint8_t b = 0;
        if (downNow[i])
            b |= keyDownNow;
        if (m_pressed.test(i))
            b |= keyPressedSince;
        out[i] = b;
        m_down.set(i, downNow[i] != 0);
    }
    m_pressed.reset();
}

void PressTracker::reset()
{
    m_down.reset();
    m_pressed.reset();
}

void KeyboardDevice::tellFailureOnce(const QString &why)
{
    // Told once: by readState() if a tick comes first, else by the signal.
    QMetaObject::invokeMethod(
        this,
        [this, why] {
            if (!m_failureTold) {
                m_failureTold = true;
                emit failed(why);
            }
        },
        Qt::QueuedConnection);
}

KeyboardBackend chooseKeyboardBackend(const QByteArray &forced, const QByteArray &sessionType,
                                      const QByteArray &waylandDisplay, const QByteArray &display,
                                      const KeyboardProbes &probes)
{
    if (!forced.isEmpty()) {
        const QByteArray f = forced.trimmed().toLower();
        if (f == "x11")
            return KeyboardBackend::X11;
        if (f == "evdev")
            return KeyboardBackend::Evdev;
        if (f == "portal")
            return KeyboardBackend::Portal;
        return KeyboardBackend::Unknown;
    }
    const QByteArray type = sessionType.toLower();
    if (type == "wayland" || (!waylandDisplay.isEmpty() && type != "x11")) {
        if (probes.portalOffered && probes.portalOffered())
            return KeyboardBackend::Portal;
        if (probes.evdevReadable && probes.evdevReadable())
            return KeyboardBackend::Evdev;
        return KeyboardBackend::None;
    }
    if (type == "x11" || !display.isEmpty())
        return KeyboardBackend::X11;
    return KeyboardBackend::Evdev;
}

QString shortcutSettingsPlace(const QByteArray &currentDesktop)
{
    const QList<QByteArray> names = currentDesktop.toUpper().split(':');
    const QString gnome = QStringLiteral("GNOME: Settings > Keyboard > Keyboard Shortcuts > "
                                         "Applications, \"Dudud Adadadiz\"");
    const QString kde = QStringLiteral("KDE Plasma: System Settings > Shortcuts, \"Dudud "
                                       "Adadadiz\"");
    if (names.contains("GNOME"))
        return gnome;
    if (names.contains("KDE"))
        return kde;
    return gnome + QStringLiteral("; ") + kde;
}

QString waylandNoHotkeysMessage(const QString &why)
{
    return waylandNoHotkeysMessage(why, qgetenv("XDG_CURRENT_DESKTOP"));
}

QString waylandNoHotkeysMessage(const QString &why, const QByteArray &currentDesktop)
{
    return QStringLiteral(
               "Dudud Adadadiz cannot watch the keyboard for its hotkeys (Ctrl+Shift+key, and F7) "
               "on this Wayland session: %1\n\n"
               "It keeps running: the tray icon, the main window and the prompt still work. To "
               "get the hotkeys, do one of these:\n\n"
               "- Allow its request for global shortcuts when the desktop asks for it, or give "
               "its shortcuts keys in the desktop's shortcut settings (%2); the hotkeys then "
               "work at once.\n\n"
               "- In the desktop's keyboard settings, add custom shortcuts: the command\n"
               "    dudud-adadadiz --prompt\n"
               "on F7, and for each hotkey KEY that your entries use, the command\n"
               "    dudud-adadadiz --hotkey KEY\n"
               "on Ctrl+Shift+KEY.\n\n"
               "- Let your user read the keyboards: as root, create the file "
               "/etc/udev/rules.d/70-dudud-adadadiz.rules with this line:\n"
               "SUBSYSTEM==\"input\", KERNEL==\"event*\", ENV{ID_INPUT_KEYBOARD}==\"1\", "
               "TAG+=\"uaccess\"\n"
               "then run: udevadm control --reload && udevadm trigger --subsystem-match=input\n"
               "(joining the \"input\" group also works, but lets every program read every "
               "input device), and start Dudud Adadadiz again. Where the desktop offers the "
               "portal too, start it with DUDUD_KEYBOARD=evdev to use the keyboards instead.")
        .arg(why, shortcutSettingsPlace(currentDesktop));
}

} // namespace platform
