#include "platform/factory/backends.h"

#include "platform/dialogs.h"
#include "platform/evdev/evdevkeyboard.h"
#include "platform/linux/linuxshell.h"
#include "platform/portal/portalkeyboard.h"
#include "platform/qt/qtbackends.h"
#include "platform/trayicon.h"
#include "platform/windowfocus.h"
#include "platform/x11/x11keyboard.h"

namespace platform {

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
    QString name() const override { return QStringLiteral("none"); }
    QString report() const override { return QStringLiteral("none: ") + m_why; }

private:
    QString m_why;
};
} // namespace

std::unique_ptr<KeyboardDevice> createKeyboardDevice()
{
    const QByteArray forced = qgetenv("DUDUD_KEYBOARD");
    // The probes keep the device they made, so that it is not opened twice.
    std::unique_ptr<PortalKeyboard> portal;
    std::unique_ptr<EvdevKeyboard> evdev;
    QString portalWhy, evdevWhy;
    KeyboardProbes probes;
    probes.portalOffered = [&] {
        portal = std::make_unique<PortalKeyboard>();
        return portal->probe(&portalWhy);
    };
    probes.evdevReadable = [&] {
        evdev = std::make_unique<EvdevKeyboard>();
        return evdev->acquire(&evdevWhy);
    };
    switch (chooseKeyboardBackend(forced, qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"),
                                  qgetenv("DISPLAY"), probes)) {
    case KeyboardBackend::X11:
        return std::make_unique<X11Keyboard>();
    case KeyboardBackend::Evdev:
        return evdev ? std::move(evdev) : std::make_unique<EvdevKeyboard>();
    case KeyboardBackend::Portal:
        return portal ? std::move(portal) : std::make_unique<PortalKeyboard>();
    case KeyboardBackend::None:
        return std::make_unique<UnavailableKeyboard>(waylandNoHotkeysMessage(
            QStringLiteral("%1, and it cannot read any keyboard under /dev/input.")
                .arg(portalWhy)));
    case KeyboardBackend::Unknown:
        break;
    }
    return std::make_unique<UnavailableKeyboard>(
        QStringLiteral("DUDUD_KEYBOARD is \"%1\": it must be \"x11\", \"evdev\" or \"portal\", or "
                       "unset to choose from the session.")
            .arg(QString::fromLocal8Bit(forced)));
}

std::unique_ptr<Shell> createShell()
{
    return std::make_unique<LinuxShell>();
}

std::unique_ptr<TrayIcon> createTrayIcon()
{
    return makeQtTrayIcon();
}

std::unique_ptr<Dialogs> createDialogs(const QIcon &windowIcon)
{
    return makeQtDialogs(windowIcon);
}

std::unique_ptr<WindowFocus> createWindowFocus()
{
    return makeQtWindowFocus();
}

} // namespace platform
