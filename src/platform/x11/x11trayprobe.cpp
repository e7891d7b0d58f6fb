#include "platform/x11/x11trayprobe.h"

#include <QByteArray>

#include <X11/Xlib.h>

namespace platform {

X11TrayProbe::X11TrayProbe()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(m_display));
    m_selection = XInternAtom(m_display, name.constData(), False);
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

} // namespace platform
