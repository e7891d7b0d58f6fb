#pragma once

#include "platform/windowfocus.h"

class QWidget;

namespace platform {

/// Whether requestKeyboardFocus() can act here: true on X11 only.
bool windowActivationSupported();

/// Asks the desktop to make @p window (a shown top-level widget of ours) the active window
/// with the keyboard focus, even while another application holds the focus.
///
/// On X11 the request goes to the window manager as coming from a pager, with a fresh server
/// timestamp, which window managers with focus-stealing prevention honour; without a window
/// manager the input focus is set directly. The window must be mapped first, so the request
/// is made from the event loop and repeated for a short while until the server gives the
/// window the keyboard, or it is hidden or gone. Returns false, doing nothing, on any other
/// platform (offscreen, Wayland).
bool requestKeyboardFocus(QWidget *window);

/// Who holds the keyboard focus, as the X server says now.
FocusOwner keyboardFocusOwner(const QWidget *window = nullptr);

} // namespace platform
