#pragma once

#include "platform/windowfocus.h"

#include <QList>
#include <QSet>
#include <QtGlobal>

struct _XDisplay;

namespace platform {

/// A connection of our own to the X server for the keyboard focus: who has it, and a request
/// that gives it to one of our windows. Windows are X window ids.
///
/// The toolkit's connection is left alone: its event queue belongs to the toolkit, and reading
/// the timestamp's PropertyNotify there would steal events. X errors caused by windows that
/// vanish between two requests are ignored; the results say so instead (false, 0, a shorter
/// chain).
class X11FocusLink
{
public:
    using WindowId = quint64;

    /// Connects to the server that @p sameServerAs (someone else's connection, may be null)
    /// talks to; null means $DISPLAY. isOpen() tells whether that worked.
    explicit X11FocusLink(_XDisplay *sameServerAs);
    ~X11FocusLink();
    X11FocusLink(const X11FocusLink &) = delete;
    X11FocusLink &operator=(const X11FocusLink &) = delete;

    bool isOpen() const { return m_dpy != nullptr; }

    /// Whether @p w is mapped and viewable; false also when it no longer exists.
    bool isViewable(WindowId w);

    /// The window with the input focus; 0 when none or the pointer root has it.
    WindowId focusWindow();

    /// Who has the focus now, relative to @p mine (0: none asked about) among @p ours, every
    /// window of the program. The focus may sit in a window below one of ours.
    FocusOwner focusOwner(WindowId mine, const QSet<WindowId> &ours);

    /// Asks for the keyboard focus for @p w with a fresh server timestamp: from the window
    /// manager as a pager would, which window managers with focus-stealing prevention honour;
    /// without a window manager the input focus is set directly.
    void requestActivation(WindowId w);

private:
    /// @p w and its ancestors below the root, nearest first (at most @p depth of them).
    QList<WindowId> selfAndAncestors(WindowId w, int depth);
    /// Whether an EWMH window manager is running: the root names a check window that names
    /// itself.
    bool windowManagerRunning();
    /// A current server timestamp: the time of the PropertyNotify caused by a zero-length
    /// append to a property of our own unmapped window.
    unsigned long serverTime();
    WindowId windowProperty(WindowId w, unsigned long prop);

    _XDisplay *m_dpy = nullptr;
    WindowId m_probe = 0;
    unsigned long m_probeAtom = 0;
    unsigned long m_activeAtom = 0;
    unsigned long m_checkAtom = 0;
};

} // namespace platform
