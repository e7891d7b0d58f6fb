#include "platform/x11/x11trayprobe.h"

#include <QByteArray>

#include <X11/Xlib.h>

#include <cerrno>
#include <sys/socket.h>

namespace platform {

X11TrayProbe::X11TrayProbe()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(m_display));
    m_selection = XInternAtom(m_display, name.constData(), False);
    // A tray that takes the selection tells the root window's structure listeners.
    XSelectInput(m_display, DefaultRootWindow(m_display), StructureNotifyMask);
    XFlush(m_display);
}

X11TrayProbe::~X11TrayProbe()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool X11TrayProbe::present() const
{
    return m_display && XGetSelectionOwner(m_display, Atom(m_selection)) != 0;
}

int X11TrayProbe::descriptor() const
{
    return m_display ? ConnectionNumber(m_display) : -1;
}

bool X11TrayProbe::readEvents()
{
    if (!m_display || m_lost)
        return false;
    bool any = false;
    for (;;) {
        while (XEventsQueued(m_display, QueuedAlready) > 0) {
            XEvent ev;
            XNextEvent(m_display, &ev);
            any = true;
        }
        // A server that went away must not reach Xlib's read, whose error handler ends the
        // process; the toolkit's own connection reports the loss.
        char c;
        const ssize_t n = ::recv(ConnectionNumber(m_display), &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            m_lost = true;
            return any;
        }
        if (n < 0 || XEventsQueued(m_display, QueuedAfterReading) == 0)
            return any;
    }
}

} // namespace platform
