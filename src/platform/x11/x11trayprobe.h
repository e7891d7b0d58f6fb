#pragma once

struct xcb_connection_t;

namespace platform {

/// Whether an XEmbed tray owns the tray selection of the default screen of $DISPLAY. Uses a
/// connection of its own: asking the toolkit would make it settle on a tray kind before a
/// tray exists. Without a server to talk to, no tray is present.
///
/// The connection also hears about the root window, where a tray announces that it took the
/// selection: a caller waiting for a tray watches descriptor() and calls readEvents() when it
/// is readable, instead of asking present() again and again.
class X11TrayProbe
{
public:
    X11TrayProbe();
    ~X11TrayProbe();
    X11TrayProbe(const X11TrayProbe &) = delete;
    X11TrayProbe &operator=(const X11TrayProbe &) = delete;

    bool present() const;

    /// The connection's descriptor, or -1 without a server.
    int descriptor() const;
    /// Reads and drops every event received so far, also those already read along with a
    /// reply. Returns whether there was any: the tray selection may have changed hands.
    bool readEvents();
    /// The server closed the connection: the descriptor stays readable and is not to be
    /// watched any longer.
    bool lost() const { return m_lost; }

private:
    xcb_connection_t *m_conn = nullptr;
    unsigned m_selection = 0;
    bool m_lost = false;
};

} // namespace platform
