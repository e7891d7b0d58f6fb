#include "platform/x11/x11trayprobe.h"

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdlib>

namespace platform {

X11TrayProbe::X11TrayProbe()
{
    int screenNumber = 0;
    m_conn = xcb_connect(nullptr, &screenNumber);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_conn));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (xcb_connection_has_error(m_conn) || screens.rem == 0) {
        xcb_disconnect(m_conn);
        m_conn = nullptr;
        return;
    }
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        m_conn, xcb_intern_atom(m_conn, 0, quint16(name.size()), name.constData()), nullptr);
    if (atom) {
        m_selection = atom->atom;
        std::free(atom);
    }
    // A tray that takes the selection tells the root window's structure listeners.
    const uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_conn, screens.data->root, XCB_CW_EVENT_MASK, &events);
    xcb_flush(m_conn);
}

X11TrayProbe::~X11TrayProbe()
{
    if (m_conn)
        xcb_disconnect(m_conn);
}

bool X11TrayProbe::present() const
{
    if (!m_conn || m_lost || m_selection == 0)
        return false;
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        m_conn, xcb_get_selection_owner(m_conn, m_selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

int X11TrayProbe::descriptor() const
{
    return m_conn ? xcb_get_file_descriptor(m_conn) : -1;
}

bool X11TrayProbe::readEvents()
{
    if (!m_conn || m_lost)
        return false;
    bool any = false;
    // Also the events read along with a reply; a server gone marks the connection, and the
    // toolkit's own connection reports the loss.
    while (xcb_generic_event_t *ev = xcb_poll_for_event(m_conn)) {
        std::free(ev);
        any = true;
    }
    if (xcb_connection_has_error(m_conn))
        m_lost = true;
    return any;
}

} // namespace platform
