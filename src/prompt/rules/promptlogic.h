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

/// The key codes the prompt reacts to: Enter (and Return alike), and the keys of its
/// suggestions.
inline constexpr int PromptEnterKeyCode = 13;
inline constexpr int PromptTabKeyCode = 9;
inline constexpr int PromptEscapeKeyCode = 27;
inline constexpr int PromptUpKeyCode = 38;
inline constexpr int PromptDownKeyCode = 40;

/// Looks @p typed up in the prompt's copies: the first keyword equal to it with both sides
/// folded to upper case wins; nothing is trimmed, so an empty text finds an entry without a
/// keyword. Failing that, the first entry whose action takes a query and whose keyword
/// (not empty) followed by a space begins @p typed wins, with the rest as the query. The
/// action comes with `{query}` filled in (fillQuery(), empty for an exact keyword).
/// @p keywords and @p actions are the 0-based copies; an index past the end of
/// @p actions reads as an empty action rather than failing, so tables of unequal length
/// (a hand-edited count) cannot crash the prompt.
PromptDecision decideEnter(const QString &typed, const QStringList &keywords,
                           const QStringList &actions, bool entries);

/// What an action holds where the text typed after its keyword goes.
inline constexpr QLatin1StringView PromptQueryMark{"{query}"};

/// Whether @p action takes a query: it holds PromptQueryMark.
bool takesQuery(const QString &action);

/// @p action with every PromptQueryMark replaced by @p query: percent-encoded UTF-8 (space as
/// "%20", only letters, digits and "-._~" left as they are) in a web address (isWebAddress()
/// of the action), otherwise as one double-quoted word of a desktop entry's Exec line
/// (execQuoted()), so that the program gets the query as one argument. An action without
/// the mark comes back as it is.
QString fillQuery(const QString &action, const QString &query);

/// @p text as one double-quoted Exec word: within the quotes, '"', '`', '$' and '\\' are
/// preceded by a backslash.
QString execQuoted(const QString &text);

/// One row of the prompt's suggestions.
struct PromptSuggestion
{
    int index = -1;     ///< the entry's 0-based index in the copies
    QString action;     ///< its action, `{query}` filled in
    QString completion; ///< what Tab puts into the text box
};

/// The most rows the prompt suggests.
inline constexpr int PromptSuggestionRows = 8;

/// The keywords folded for suggest(), one after the other in one block of memory: a
/// keystroke then reads 32,767 keywords from a few hundred kilobytes in order instead of from
/// as many strings strewn over the heap (about a fifth of the time per keystroke).
class PromptKeywordIndex
{
public:
    /// Folds @p keywords, unless they are the very list (shared, unchanged) folded last.
    void update(const QStringList &keywords);
    qsizetype size() const { return m_starts.isEmpty() ? 0 : m_starts.size() - 1; }
    const char16_t *keyword(qsizetype i) const { return m_chars.constData() + m_starts[i]; }
    qsizetype keywordSize(qsizetype i) const { return m_starts[i + 1] - m_starts[i]; }

private:
    QStringList m_of; ///< held, so that its data cannot be freed and its address reused
    QList<char16_t> m_chars;
    QList<qsizetype> m_starts;
};

/// The entries that @p typed suggests, best first, at most @p limit: the keywords equal to
/// it ignoring letter case, together with the entries taking a query whose keyword and a
/// space begin it; then the keywords that begin with it; then those that hold its
/// characters in order ("nts" in "notes"); in entry order within each group. Nothing for
/// an empty text; entries without a keyword are never suggested. An entry's completion is
/// its keyword, followed by a space and the query typed so far when its action takes one.
QList<PromptSuggestion> suggest(const QString &typed, const QStringList &keywords,
                                const QStringList &actions, int limit = PromptSuggestionRows);
/// As above, with @p index holding @p keywords folded.
QList<PromptSuggestion> suggest(const QString &typed, const PromptKeywordIndex &index,
                                const QStringList &keywords, const QStringList &actions,
                                int limit = PromptSuggestionRows);

/// The highlighted row after moving @p step (+1 Down, -1 Up) from @p current among @p rows:
/// -1 means no row chosen. Down from none chooses the first row and stops at the last; Up
/// from the first gives the choice up, Up from none chooses the last.
int moveHighlight(int current, int rows, int step);

/// How long after a show the prompt waits for the window manager to activate it before the
/// timer treats "no active window" as the user having turned away.
inline constexpr int PromptActivationGraceMs = 1000;

/// The prompt timer's decision: hide when no window of the program is active, except while
/// a freshly shown prompt is still waiting for its activation (@p msSinceShown below the
/// grace; negative when unknown, which counts as waiting).
bool timerShouldHide(bool programHasActiveWindow, bool awaitingActivation, qint64 msSinceShown);
