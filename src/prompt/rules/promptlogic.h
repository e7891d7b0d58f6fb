#pragma once

#include <QString>
#include <QStringList>

/// What Enter in the keyword prompt leads to.
struct PromptDecision
{
    enum Kind
    {
        NoEntries, ///< the copies hold nothing: hide only, the text stays
        Open,      ///< open `action`, then clear the text
        NotFound,  ///< tell the user, then clear the text
    };
    Kind kind = NoEntries;
    /// The entry whose keyword matched, 1-based; 0 unless kind is Open.
    int entry = 0;
    QString action;
};

/// The key code the prompt reacts to (Enter and Return alike).
inline constexpr int PromptEnterKeyCode = 13;

/// Looks @p typed up in the prompt's copies: the first keyword equal to it with both sides
/// folded to upper case wins; nothing is trimmed, so an empty text finds an entry without a
/// keyword. @p keywords and @p actions are the 0-based copies; an index past the end of
/// @p actions reads as an empty action rather than failing, so tables of unequal length
/// (a hand-edited count) cannot crash the prompt.
PromptDecision decideEnter(const QString &typed, const QStringList &keywords,
                           const QStringList &actions, bool entries);

/// How long after a show the prompt waits for the window manager to activate it before the
/// timer treats "no active window" as the user having turned away.
inline constexpr int PromptActivationGraceMs = 1000;

/// The prompt timer's decision: hide when no window of the program is active, except while
/// a freshly shown prompt is still waiting for its activation (@p msSinceShown below the
/// grace; negative when unknown, which counts as waiting).
bool timerShouldHide(bool programHasActiveWindow, bool awaitingActivation, qint64 msSinceShown);
