#include "platform/qt/windowactivation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <memory>

// Xlib last: its macros (None, Bool, FocusOut ...) clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace platform {
namespace {

// How long a request keeps trying, and the pause between attempts. The window manager
// usually maps and focuses within a few milliseconds.
constexpr int AttemptIntervalMs = 10;
constexpr int GiveUpAfterMs = 500;
// Requests sent after the window is mapped, at most; one is normally enough.
constexpr int MaxRequests = 3;
constexpr int RequestSpacingMs = 60;

int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

/// Our own connection to the X server. Qt's connection is left alone: its event queue
/// belongs to Qt, and reading the timestamp's PropertyNotify there would steal events.
class X11Link
{
public:
    /// The link, opened on first use and closed with the application: the X server may be
    /// gone after that, and Xlib ends the process on a broken connection.
    static X11Link *instance()
    {
        if (!s_link && !s_failed && qGuiApp) {
            s_link = new X11Link;
            if (!s_link->m_dpy) {
                delete s_link;
                s_link = nullptr;
                s_failed = true;
                return nullptr;
            }
            qAddPostRoutine([] {
                delete s_link;
                s_link = nullptr;
            });
        }
        return s_link;
    }

    ~X11Link()
    {
        if (m_dpy)
            XCloseDisplay(m_dpy);
    }

    /// Whether @p w is mapped and viewable; false also when it no longer exists.
    bool isViewable(Window w)
    {
        XWindowAttributes attrs{};
        bool ok = false;
        guarded([&] { ok = XGetWindowAttributes(m_dpy, w, &attrs) != 0; });
        return ok && attrs.map_state == IsViewable;
    }

    /// A current server timestamp: the time of the PropertyNotify caused by a zero-length
    /// append to a property of our own unmapped window.
    Time serverTime()
    {
        XChangeProperty(m_dpy, m_probe, m_probeAtom, XA_STRING, 8, PropModeAppend, nullptr, 0);
        XEvent ev;
        XIfEvent(m_dpy, &ev, &X11Link::isProbeNotify, reinterpret_cast<XPointer>(this));
        return ev.xproperty.time;
    }

    /// Whether an EWMH window manager is running: the root names a check window that names
    /// itself.
    bool windowManagerRunning()
    {
        const Window root = DefaultRootWindow(m_dpy);
        const Window check = windowProperty(root, m_checkAtom);
        return check != 0 && windowProperty(check, m_checkAtom) == check;
    }

    /// The window with the input focus; 0 when none or the pointer root has it.
    Window focusWindow()
    {
        Window w = 0;
        int revert = 0;
        XGetInputFocus(m_dpy, &w, &revert);
        return w == PointerRoot ? 0 : w;
    }

    /// @p w and its ancestors below the root, nearest first (at most @p depth of them).
    QList<Window> selfAndAncestors(Window w, int depth)
    {
        QList<Window> chain;
        while (w != 0 && chain.size() < depth) {
            chain << w;
            Window root = 0, parent = 0;
            Window *children = nullptr;
            unsigned n = 0;
            bool ok = false;
            guarded([&] { ok = XQueryTree(m_dpy, w, &root, &parent, &children, &n) != 0; });
            if (children)
                XFree(children);
            if (!ok || parent == root)
                break;
            w = parent;
        }
        return chain;
    }

    void requestActivation(Window w)
    {
        const Time t = serverTime();
        if (windowManagerRunning()) {
            XEvent ev{};
            ev.xclient.type = ClientMessage;
            ev.xclient.display = m_dpy;
            ev.xclient.window = w;
            ev.xclient.message_type = m_activeAtom;
            ev.xclient.format = 32;
            ev.xclient.data.l[0] = 2; // source indication: pager, i.e. on the user's behalf
            ev.xclient.data.l[1] = long(t);
            ev.xclient.data.l[2] = 0;
            XSendEvent(m_dpy, DefaultRootWindow(m_dpy), False,
                       SubstructureRedirectMask | SubstructureNotifyMask, &ev);
            XFlush(m_dpy);
        } else {
            guarded([&] {
                XRaiseWindow(m_dpy, w);
                XSetInputFocus(m_dpy, w, RevertToParent, t);
            });
        }
    }

private:
    X11Link()
    {
        QByteArray name;
        if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            if (Display *qtDisplay = x11->display())
                name = XDisplayString(qtDisplay);
        }
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

    static Bool isProbeNotify(Display *, XEvent *ev, XPointer arg)
    {
        const auto *self = reinterpret_cast<const X11Link *>(arg);
        return ev->type == PropertyNotify && ev->xproperty.window == self->m_probe &&
               ev->xproperty.atom == self->m_probeAtom;
    }

    Window windowProperty(Window w, Atom prop)
    {
        Window result = 0;
        guarded([&] {
            Atom type = 0;
            int format = 0;
            unsigned long n = 0, after = 0;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(m_dpy, w, prop, 0, 1, False, XA_WINDOW, &type, &format, &n,
                                   &after, &data) == Success &&
                type == XA_WINDOW && format == 32 && n == 1 && data)
                result = Window(*reinterpret_cast<unsigned long *>(data));
            if (data)
                XFree(data);
        });
        return result;
    }

    /// Runs @p f with X errors ignored instead of ending the process: a window may vanish
    /// between two requests, and the callers' checks of the results cover that.
    template <typename F> void guarded(F f)
    {
        XSync(m_dpy, False);
        auto *previous = XSetErrorHandler(ignoreXError);
        f();
        XSync(m_dpy, False);
        XSetErrorHandler(previous);
    }

    static inline X11Link *s_link = nullptr;
    static inline bool s_failed = false;

    Display *m_dpy = nullptr;
    Window m_probe = 0;
    Atom m_probeAtom = 0;
    Atom m_activeAtom = 0;
    Atom m_checkAtom = 0;
};

struct Attempt
{
    QPointer<QWidget> window;
    QElapsedTimer started;
    QElapsedTimer sinceRequest;
    int requests = 0;
};

void attempt(std::shared_ptr<Attempt> a)
{
    QWidget *w = a->window;
    if (!w || !w->isVisible() || a->requests >= MaxRequests || a->started.elapsed() > GiveUpAfterMs)
        return;
    X11Link *link = X11Link::instance();
    if (!link)
        return;
    const Window id = Window(w->winId());
    // Only the server's word counts: shown again soon after a hide, the window may still be
    // active in Qt's eyes while another application has the keyboard.
    if (link->focusWindow() == id)
        return;
    const bool due = a->requests == 0 || a->sinceRequest.elapsed() >= RequestSpacingMs;
    if (due && link->isViewable(id)) {
        link->requestActivation(id);
        ++a->requests;
        a->sinceRequest.start();
    }
    QTimer::singleShot(AttemptIntervalMs, w, [a] { attempt(a); });
}

} // namespace

bool windowActivationSupported()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->display();
}

FocusOwner keyboardFocusOwner(const QWidget *window)
{
    if (!windowActivationSupported())
        return FocusOwner::Unknown;
    X11Link *link = X11Link::instance();
    if (!link)
        return FocusOwner::Unknown;
    const Window focus = link->focusWindow();
    if (focus == 0)
        return FocusOwner::Foreign;
    const QWindow *mine =
        window && window->window()->windowHandle() ? window->window()->windowHandle() : nullptr;
    const Window mineId = mine && mine->handle() ? Window(mine->winId()) : 0;
    QSet<Window> ours;
    for (QWindow *w : QGuiApplication::allWindows()) {
        if (w->handle())
            ours.insert(Window(w->winId()));
    }
    // The focus may sit in a window below one of ours; a few levels are plenty.
    const QList<Window> chain =
        ours.contains(focus) ? QList<Window>{focus} : link->selfAndAncestors(focus, 4);
    for (Window w : chain) {
        if (mineId != 0 && w == mineId)
            return FocusOwner::Window;
        if (ours.contains(w))
            return FocusOwner::OtherOfOurs;
    }
    return FocusOwner::Foreign;
}

bool requestKeyboardFocus(QWidget *window)
{
    if (!window || !windowActivationSupported())
        return false;
    auto a = std::make_shared<Attempt>();
    a->window = window->window();
    a->started.start();
    QTimer::singleShot(0, a->window, [a] { attempt(a); });
    return true;
}

} // namespace platform
