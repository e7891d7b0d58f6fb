#include "platform/x11/x11keyboard.h"

#include "platform/x11/x11keycodes.h"

#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <cerrno>
#include <sys/socket.h>

namespace platform {

namespace {
// Protocol errors during acquire() are caught here instead of by the process-wide handler,
// whose default ends the program.
int g_trappedError = 0;

int trapError(Display *, XErrorEvent *e)
{
    g_trappedError = e->error_code;
    return 0;
}

QString displayLabel(const QByteArray &name)
{
    if (!name.isEmpty())
        return QString::fromLocal8Bit(name);
    const QByteArray env = qgetenv("DISPLAY");
    return env.isEmpty() ? QStringLiteral("(DISPLAY is not set)") : QString::fromLocal8Bit(env);
}

// Xlib's default I/O error handler ends the process before the per-connection exit handler
// gets a say. The handler installed here returns for the connections of this device, so that
// their exit handler runs instead, and hands every other connection (the toolkit's own) to the
// handler it replaced.
QList<Display *> g_ownDisplays;
XIOErrorHandler g_previousIOHandler = nullptr;

int onIOError(Display *dpy)
{
    if (g_ownDisplays.contains(dpy))
        return 0;
    return g_previousIOHandler ? g_previousIOHandler(dpy) : 0;
}

void watchIOErrors(Display *dpy)
{
    static bool installed = false;
    if (!installed) {
        g_previousIOHandler = XSetIOErrorHandler(onIOError);
        installed = true;
    }
    g_ownDisplays.append(dpy);
}

const QString evdevHint = QStringLiteral(
    "On a Wayland session or without X, start it with DUDUD_KEYBOARD=evdev to read the "
    "keyboard devices instead.");
} // namespace

X11Keyboard::X11Keyboard(const QByteArray &displayName, QObject *parent)
    : KeyboardDevice(parent), m_displayName(displayName)
{
}

X11Keyboard::~X11Keyboard()
{
    delete m_notifier;
    m_notifier = nullptr;
    // A lost connection is left alone: closing it would only run into the I/O error again.
    if (m_dpy && !m_lost)
        XCloseDisplay(m_dpy);
    g_ownDisplays.removeAll(m_dpy);
}

void X11Keyboard::onIOErrorExit(_XDisplay *, void *self)
{
    // Called by Xlib instead of exit(): only note it here, and report it once back in the
    // event loop, outside Xlib.
    static_cast<X11Keyboard *>(self)->lose();
}

bool X11Keyboard::acquire(QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        if (m_dpy) {
            XCloseDisplay(m_dpy);
            g_ownDisplays.removeAll(m_dpy);
            m_dpy = nullptr;
        }
        return false;
    };

    if (m_dpy)
        return true;
    m_dpy = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!m_dpy) {
        return fail(QStringLiteral("Cannot connect to the X server %1 to watch the keyboard for "
                                   "the hotkeys.\n\n%2")
                        .arg(displayLabel(m_displayName), evdevHint));
    }
    XSetIOErrorExitHandler(m_dpy, &X11Keyboard::onIOErrorExit, this);
    watchIOErrors(m_dpy);

    int event = 0, err = 0;
    if (!XQueryExtension(m_dpy, "XInputExtension", &m_xiOpcode, &event, &err)) {
        return fail(QStringLiteral("The X server %1 has no XInput extension, which the hotkeys "
                                   "need to see the keyboard whichever window has the focus.\n\n%2")
                        .arg(displayLabel(m_displayName), evdevHint));
    }
    // 2.1 delivers raw events to the root window even while another client holds a grab.
    int major = 2, minor = 2;
    if (XIQueryVersion(m_dpy, &major, &minor) != Success || major < 2 ||
        (major == 2 && minor < 1)) {
        return fail(QStringLiteral("The X server %1 has XInput %2.%3; the hotkeys need XInput 2.1 "
                                   "or later.\n\n%4")
                        .arg(displayLabel(m_displayName))
                        .arg(major)
                        .arg(minor)
                        .arg(evdevHint));
    }

    int xkbOpcode = 0, xkbEvent = 0, xkbError = 0, xkbMajor = XkbMajorVersion,
        xkbMinor = XkbMinorVersion;
    QByteArray keycodes;
    if (XkbQueryExtension(m_dpy, &xkbOpcode, &xkbEvent, &xkbError, &xkbMajor, &xkbMinor)) {
        if (XkbDescPtr xkb = XkbAllocKeyboard()) {
            if (XkbGetNames(m_dpy, XkbKeycodesNameMask, xkb) == Success && xkb->names &&
                xkb->names->keycodes != None) {
                if (char *n = XGetAtomName(m_dpy, xkb->names->keycodes)) {
                    keycodes = n;
                    XFree(n);
                }
            }
            XkbFreeKeyboard(xkb, 0, True);
        }
    }
    if (!isEvdevKeycodesName(keycodes)) {
        return fail(QStringLiteral("The X server %1 numbers its keys with the key codes \"%2\"; "
                                   "the hotkeys can only be told apart with the \"evdev\" key "
                                   "codes.\n\n%3")
                        .arg(displayLabel(m_displayName),
                             keycodes.isEmpty() ? QStringLiteral("(unknown)")
                                                : QString::fromLatin1(keycodes),
                             evdevHint));
    }

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    g_trappedError = 0;
    XErrorHandler previous = XSetErrorHandler(trapError);
    XISelectEvents(m_dpy, DefaultRootWindow(m_dpy), &mask, 1);
    XSync(m_dpy, False);
    XSetErrorHandler(previous);
    if (g_trappedError != 0) {
        return fail(QStringLiteral("The X server %1 refused to report key presses (X error %2).")
                        .arg(displayLabel(m_displayName))
                        .arg(g_trappedError));
    }

    // Keys already down at start-up are not presses.
    char keymap[32];
    XQueryKeymap(m_dpy, keymap);
    m_sinceQuery.start();
    KeyState down, unused;
    keyStateFromXKeymap(keymap, down);
    m_tracker.snapshot(down, unused);

    m_notifier = new QSocketNotifier(ConnectionNumber(m_dpy), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11Keyboard::onReadable);
    if (XPending(m_dpy) > 0)
        QMetaObject::invokeMethod(this, &X11Keyboard::onReadable, Qt::QueuedConnection);
    return true;
}

bool X11Keyboard::peerClosed() const
{
    char c;
    const ssize_t n = ::recv(ConnectionNumber(m_dpy), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
        return false;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return false;
    return true;
}

bool X11Keyboard::drainEvents(bool signalPresses)
{
    bool newPress = false;
    // Look at the socket before Xlib reads it: a read that finds the server gone goes
    // through Xlib's I/O error path, which the exit handler survives but which is noisy.
    if (XEventsQueued(m_dpy, QueuedAlready) == 0) {
        if (peerClosed()) {
            lose();
            return false;
        }
        XEventsQueued(m_dpy, QueuedAfterReading);
    }
    while (!m_lost && XEventsQueued(m_dpy, QueuedAlready) > 0) {
        XEvent ev;
        XNextEvent(m_dpy, &ev);
        XGenericEventCookie *cookie = &ev.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_xiOpcode)
            continue;
        if (!XGetEventData(m_dpy, cookie))
            continue;
        const auto *raw = static_cast<const XIRawEvent *>(cookie->data);
        const int sc = scanCodeFromXKeyCode(raw->detail);
        if (cookie->evtype == XI_RawKeyPress)
            newPress = m_tracker.press(sc) || newPress;
        else if (cookie->evtype == XI_RawKeyRelease)
            m_tracker.release(sc);
        XFreeEventData(m_dpy, cookie);
    }
    if (newPress && signalPresses)
        emit keyPressed();
    return !m_lost;
}

void X11Keyboard::onReadable()
{
    if (!m_dpy || m_lost)
        return;
    drainEvents(true);
}

bool X11Keyboard::readState(KeyState &state, QString *error)
{
    // The presses drained here are in this very snapshot: no need to ask for another.
    if (!m_dpy || m_lost || !drainEvents(false)) {
        failureTold();
        if (error)
            *error = m_dpy ? lostMessage() : QStringLiteral("The keyboard was not acquired.");
        return false;
    }
    // The raw events tell every press and release, so with nothing down and nothing pressed
    // the round trip for the keymap can wait; it still runs now and then, as the authority.
    if (m_tracker.quiet() && m_sinceQuery.isValid() && m_sinceQuery.elapsed() < 1000) {
        state.fill(0);
        return true;
    }
    char keymap[32];
    XQueryKeymap(m_dpy, keymap);
    m_sinceQuery.start();
    if (m_lost) {
        failureTold();
        if (error)
            *error = lostMessage();
        return false;
    }
    KeyState down;
    keyStateFromXKeymap(keymap, down);
    m_tracker.snapshot(down, state);
    // Events read along with the reply belong to the next snapshot; the notifier will not
    // fire for them since they have left the socket already.
    if (XEventsQueued(m_dpy, QueuedAlready) > 0)
        QMetaObject::invokeMethod(this, &X11Keyboard::onReadable, Qt::QueuedConnection);
    return true;
}

void X11Keyboard::lose()
{
    if (m_lost)
        return;
    m_lost = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    tellFailureOnce(lostMessage());
}

QString X11Keyboard::lostMessage() const
{
    return QStringLiteral("The connection to the X server %1 was lost: the hotkeys no longer work.")
        .arg(displayLabel(m_displayName));
}

} // namespace platform
