#include "prompt/rules/promptfocus.h"

#include "prompt/rules/promptlogic.h"

using platform::FocusOwner;

PromptFocus::PromptFocus(platform::WindowFocus &focus, const QWidget *window)
    : m_focus(focus), m_window(window)
{
}

PromptFocus::ShowPlan PromptFocus::shown(qint64 nowMs, bool windowSystemActive, bool qtActive)
{
    m_awaitingActivation = true;
    m_shownAtMs = nowMs;
    // Hiding deactivates the prompt among the widgets at once, but the platform may still
    // count its window as focused (the offscreen platform always, X11 for a moment) and then
    // reports no new activation for this show: Qt's view is restored instead, which runs the
    // activation handler as any activation does.
    return {m_timerEnabled, windowSystemActive && !qtActive};
}

void PromptFocus::restored()
{
    m_awaitingActivation = true;
}

void PromptFocus::activated()
{
    m_awaitingActivation = false;
    m_timerEnabled = true;
}

bool PromptFocus::tickHides(qint64 nowMs, bool visible, bool qtActive)
{
    if (!visible)
        return false; // hiding again would change nothing; spare the question
    const FocusOwner owner = m_focus.focusOwner(m_window);
    const bool active =
        owner == FocusOwner::Unknown ? m_focus.programActive() : owner != FocusOwner::Foreign;
    if (owner == FocusOwner::Window || (owner == FocusOwner::Unknown && qtActive))
        m_awaitingActivation = false;
    const qint64 sinceShown = m_shownAtMs >= 0 ? nowMs - m_shownAtMs : -1;
    return timerShouldHide(active, m_awaitingActivation, sinceShown);
}

PromptFocusLoss PromptFocus::focusLost(Qt::FocusReason reason)
{
    if (reason == Qt::ActiveWindowFocusReason) {
        switch (m_focus.focusOwner(m_window)) {
        case FocusOwner::Unknown:
        case FocusOwner::OtherOfOurs:
            break;
        case FocusOwner::Window:
            // Qt reports late the loss from before the last hide, while the window system has
            // already given the keyboard back.
            return PromptFocusLoss::StaleRestore;
        case FocusOwner::Foreign:
            // Shown but not yet given the keyboard: it cannot have lost it. The timer hides
            // the prompt if the window manager never gives it.
            if (m_awaitingActivation)
                return PromptFocusLoss::Stale;
            break;
        }
    }
    return reason == Qt::PopupFocusReason ? PromptFocusLoss::KeepForPopup : PromptFocusLoss::Hide;
}

bool PromptFocus::recheckRestores(bool visible, bool qtActive)
{
    return visible && !qtActive && m_focus.focusOwner(m_window) == FocusOwner::Window;
}
