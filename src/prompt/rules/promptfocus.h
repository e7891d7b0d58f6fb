#pragma once

#include "platform/windowfocus.h"

#include <QtCore/qnamespace.h>
#include <QtGlobal>

class QWidget;

/// What the prompt does when its line edit loses the keyboard focus.
enum class PromptFocusLoss
{
    Hide,         ///< the user turned away
    KeepForPopup, ///< a context menu took the focus for a moment: a pasted keyword can still
                  ///< be confirmed
    Stale,        ///< Qt reports a loss that the window system says did not happen: ignore it
    StaleRestore, ///< as Stale, and ask recheckRestores() once this deactivation is through
};

/// The keyword prompt's keyboard focus rules: when the prompt hides because the user turned
/// to another window, and when a report of Qt's is out of date by the window system's word.
/// Qt learns that another application took the keyboard only after a delay, and may still
/// count a window as focused that was hidden and shown again meanwhile; the window system
/// knows at once, where it can be asked.
///
/// The prompt window carries the decisions out. Times are milliseconds on one monotonic
/// clock of the caller's. @p focus and @p window must outlive the rules; @p window is only
/// handed to @p focus.
class PromptFocus
{
public:
    PromptFocus(platform::WindowFocus &focus, const QWidget *window);

    struct ShowPlan
    {
        bool startTimer = false;    ///< the first activation has switched the timer on
        bool restoreActive = false; ///< make the prompt Qt's active window, then restored()
    };

    /// The prompt was shown at @p nowMs. @p windowSystemActive: the platform still counts its
    /// window as focused; @p qtActive: Qt's widgets count it as the active window. From now
    /// on the prompt waits for its activation by the window manager.
    ShowPlan shown(qint64 nowMs, bool windowSystemActive, bool qtActive);

    /// Qt's view of the active window was restored on a show: that activation came from us,
    /// the window manager has yet to give the keyboard.
    void restored();

    /// The prompt was activated (Qt's WindowActivate).
    void activated();

    /// The timer's tick at @p nowMs: whether to hide the prompt. Asks the window system only
    /// while @p visible; @p qtActive is whether Qt counts the prompt as the active window.
    bool tickHides(qint64 nowMs, bool visible, bool qtActive);

    /// The line edit lost the focus for @p reason.
    PromptFocusLoss focusLost(Qt::FocusReason reason);

    /// After a StaleRestore: whether to make the prompt Qt's active window now.
    bool recheckRestores(bool visible, bool qtActive);

private:
    platform::WindowFocus &m_focus;
    const QWidget *m_window;
    // Set from a show until the window manager activates the window: on X11 that takes a
    // few milliseconds, and the running timer must not hide the prompt in between.
    bool m_awaitingActivation = false;
    bool m_timerEnabled = false;
    qint64 m_shownAtMs = -1; ///< negative until the first show
};
