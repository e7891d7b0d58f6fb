#pragma once

struct _XDisplay;

namespace platform {

/// Whether an XEmbed tray owns the tray selection of the default screen of $DISPLAY. Uses a
/// connection of its own: asking the toolkit would make it settle on a tray kind before a
/// tray exists. Without a server to talk to, no tray is present.
class X11TrayProbe
{
public:
    X11TrayProbe();
    ~X11TrayProbe();
    X11TrayProbe(const X11TrayProbe &) = delete;
    X11TrayProbe &operator=(const X11TrayProbe &) = delete;

    bool present() const;

private:
    _XDisplay *m_display = nullptr;
    unsigned long m_selection = 0;
};

} // namespace platform
