#include "platform/x11/x11focuslink.h"

#include <QByteArray>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace platform {
namespace {

int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

/// Runs @p f with X errors ignored instead of ending the process: a window may vanish
/// between two requests, and the callers' checks of the results cover that.
template <typename F> void guarded(Display *dpy, F f)
{
    XSync(dpy, False);
    auto *previous = XSetErrorHandler(ignoreXError);
    f();
    XSync(dpy, False);
    XSetErrorHandler(previous);
}

struct ProbeMatch
{
    Window window;
    Atom atom;
};

Bool isProbeNotify(Display *, XEvent *ev, XPointer arg)
{
    const auto *m = reinterpret_cast<const ProbeMatch *>(arg);
    return ev->type == PropertyNotify && ev->xproperty.window == m->window &&
           ev->xproperty.atom == m->atom;
}

} // namespace

X11FocusLink::X11FocusLink(_XDisplay *sameServerAs)
{
    const QByteArray name = sameServerAs ? QByteArray(XDisplayString(sameServerAs)) : QByteArray();
    m_dpy = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (!m_dpy)
        return;
    const Window root = DefaultRootWindow(m_dpy);
    XSetWindowAttributes attrs{};
    attrs.event_mask = PropertyChangeMask;
    m_probe = XCreateWindow(m_dpy, root, -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                            CopyFromParent, CWEventMask, &attrs);
    m_probeAtom = XInternAtom(m_dpy, "_DUDUD_TIME_PROBE", False);
    m_activeAtom = XInternAtom(m_dpy, "_NET_ACTIVE_WINDOW", False);
    m_checkAtom = XInternAtom(m_dpy, "_NET_SUPPORTING_WM_CHECK", False);
}

X11FocusLink::~X11FocusLink()
{
    if (m_dpy)
        XCloseDisplay(m_dpy);
}

bool X11FocusLink::isViewable(WindowId w)
{
    XWindowAttributes attrs{};
    bool ok = false;
    guarded(m_dpy, [&] { ok = XGetWindowAttributes(m_dpy, Window(w), &attrs) != 0; });
    return ok && attrs.map_state == IsViewable;
}

unsigned long X11FocusLink::serverTime()
{
    XChangeProperty(m_dpy, Window(m_probe), m_probeAtom, XA_STRING, 8, PropModeAppend, nullptr, 0);
    ProbeMatch match{Window(m_probe), m_probeAtom};
    XEvent ev;
    XIfEvent(m_dpy, &ev, &isProbeNotify, reinterpret_cast<XPointer>(&match));
    return ev.xproperty.time;
}

bool X11FocusLink::windowManagerRunning()
{
    const Window root = DefaultRootWindow(m_dpy);
    const WindowId check = windowProperty(root, m_checkAtom);
    return check != 0 && windowProperty(check, m_checkAtom) == check;
}

X11FocusLink::WindowId X11FocusLink::focusWindow()
{
    Window w = 0;
    int revert = 0;
    XGetInputFocus(m_dpy, &w, &revert);
    return w == PointerRoot ? 0 : w;
}

QList<X11FocusLink::WindowId> X11FocusLink::selfAndAncestors(WindowId w, int depth)
{
    QList<WindowId> chain;
    while (w != 0 && chain.size() < depth) {
        chain << w;
        Window root = 0, parent = 0;
        Window *children = nullptr;
        unsigned n = 0;
        bool ok = false;
        guarded(m_dpy,
                [&] { ok = XQueryTree(m_dpy, Window(w), &root, &parent, &children, &n) != 0; });
        if (children)
            XFree(children);
        if (!ok || parent == root)
            break;
        w = parent;
    }
    return chain;
}

FocusOwner X11FocusLink::focusOwner(WindowId mine, const QSet<WindowId> &ours)
{
    const WindowId focus = focusWindow();
    if (focus == 0)
        return FocusOwner::Foreign;
    // A few levels are plenty.
    const QList<WindowId> chain =
        ours.contains(focus) ? QList<WindowId>{focus} : selfAndAncestors(focus, 4);
    for (WindowId w : chain) {
        if (mine != 0 && w == mine)
            return FocusOwner::Window;
        if (ours.contains(w))
            return FocusOwner::OtherOfOurs;
    }
    return FocusOwner::Foreign;
}

void X11FocusLink::requestActivation(WindowId w)
{
    const Time t = serverTime();
    if (windowManagerRunning()) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.display = m_dpy;
        ev.xclient.window = Window(w);
        ev.xclient.message_type = m_activeAtom;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = 2; // source indication: pager, i.e. on the user's behalf
        ev.xclient.data.l[1] = long(t);
        ev.xclient.data.l[2] = 0;
        XSendEvent(m_dpy, DefaultRootWindow(m_dpy), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &ev);
        XFlush(m_dpy);
    } else {
        guarded(m_dpy, [&] {
            XRaiseWindow(m_dpy, Window(w));
            XSetInputFocus(m_dpy, Window(w), RevertToParent, t);
        });
    }
}

X11FocusLink::WindowId X11FocusLink::windowProperty(WindowId w, unsigned long prop)
{
    WindowId result = 0;
    guarded(m_dpy, [&] {
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(m_dpy, Window(w), Atom(prop), 0, 1, False, XA_WINDOW, &type, &format,
                               &n, &after, &data) == Success &&
            type == XA_WINDOW && format == 32 && n == 1 && data)
            result = WindowId(*reinterpret_cast<unsigned long *>(data));
        if (data)
            XFree(data);
    });
    return result;
}

} // namespace platform
