#include "platform/keyboard.h"

#include "platform/evdev/evdevkeyboard.h"
#include "platform/x11/x11keyboard.h"

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
                                      const QByteArray &waylandDisplay, const QByteArray &display)
{
    if (!forced.isEmpty()) {
        const QByteArray f = forced.trimmed().toLower();
        if (f == "x11")
            return KeyboardBackend::X11;
        if (f == "evdev")
            return KeyboardBackend::Evdev;
        return KeyboardBackend::Unknown;
    }
    const QByteArray type = sessionType.toLower();
    if (type == "wayland" || (!waylandDisplay.isEmpty() && type != "x11"))
        return KeyboardBackend::Evdev;
    if (type == "x11" || !display.isEmpty())
        return KeyboardBackend::X11;
    return KeyboardBackend::Evdev;
}

namespace {
// Stands in for a device that cannot be chosen, so that start-up reports why through the
// usual failure of acquire().
class UnavailableKeyboard : public KeyboardDevice
{
public:
    explicit UnavailableKeyboard(QString why) : m_why(std::move(why)) {}
    bool acquire(QString *error) override
    {
        if (error)
            *error = m_why;
        return false;
    }
    bool readState(KeyState &, QString *error) override { return acquire(error); }
    QString name() const override { return QStringLiteral("unavailable"); }

private:
    QString m_why;
};
} // namespace

std::unique_ptr<KeyboardDevice> createKeyboardDevice()
{
    const QByteArray forced = qgetenv("DUDUD_KEYBOARD");
    switch (chooseKeyboardBackend(forced, qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"),
                                  qgetenv("DISPLAY"))) {
    case KeyboardBackend::X11:
        return std::make_unique<X11Keyboard>();
    case KeyboardBackend::Evdev:
        return std::make_unique<EvdevKeyboard>();
    case KeyboardBackend::Unknown:
        break;
    }
    return std::make_unique<UnavailableKeyboard>(
        QStringLiteral("DUDUD_KEYBOARD is \"%1\": it must be \"x11\" or \"evdev\", or unset to "
                       "choose from the session.")
            .arg(QString::fromLocal8Bit(forced)));
}

} // namespace platform
