#pragma once

class QWidget;

namespace platform {

/// Who holds the keyboard focus, in the window system's own word: Qt learns that another
/// application took it only some tenths of a second later, and until then may also still
/// count a window as focused that was hidden and shown again meanwhile.
enum class FocusOwner
{
    Unknown,     ///< the window system cannot be asked
    Window,      ///< the window of the widget asked about
    OtherOfOurs, ///< another window of this program
    Foreign,     ///< another application, or nobody
};

/// The window system's keyboard focus, for a window that must take it while another
/// application holds it (the keyword prompt opened by a global hotkey).
class WindowFocus
{
public:
    virtual ~WindowFocus() = default;

    /// Asks the desktop to make @p window (a shown top-level widget of ours) the active window
    /// with the keyboard focus, even while another application holds the focus. The request
    /// is carried out from the event loop and retried for a short while until the window has
    /// the keyboard, or is hidden or gone. Returns false, doing nothing, where the window
    /// system offers no such request.
    virtual bool activate(QWidget *window) = 0;

    /// Who holds the keyboard focus now, relative to @p window (may be null); Unknown where
    /// the window system cannot be asked.
    virtual FocusOwner focusOwner(const QWidget *window) = 0;

    /// Whether one of the program's windows is the active window, as Qt sees it.
    virtual bool programActive() const = 0;
};

} // namespace platform
