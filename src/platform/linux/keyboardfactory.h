#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

enum class KeyboardBackend
{
    X11,
    Evdev,
    Unknown
};

/// The keyboard device for a session described by its environment: @p forced is
/// DUDUD_KEYBOARD ("x11" or "evdev", any case; anything else is Unknown), then Wayland
/// (XDG_SESSION_TYPE "wayland" or WAYLAND_DISPLAY set) gets evdev, since an X connection there
/// only sees keys while an X window has the focus; an X11 session (XDG_SESSION_TYPE "x11" or
/// DISPLAY set) gets X11; the console gets evdev.
KeyboardBackend chooseKeyboardBackend(const QByteArray &forced, const QByteArray &sessionType,
                                      const QByteArray &waylandDisplay, const QByteArray &display);

} // namespace platform
