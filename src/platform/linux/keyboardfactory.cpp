#include "platform/linux/keyboardfactory.h"

#include "platform/evdev/evdevkeyboard.h"
#include "platform/keyboard.h"
#include "platform/x11/x11keyboard.h"

namespace platform {

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
