#include "prompt/rules/promptlogic.h"

#include "launch/actionlauncher.h"

#include <QUrl>
#include <QVarLengthArray>

PromptDecision decideEnter(const QString &typed, const QStringList &keywords,
                           const QStringList &actions, bool entries)
{
    PromptDecision d;
    if (!entries)
        return d;
    const QString wanted = typed.toUpper();
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        if (keywords.at(i).toUpper() == wanted) {
            d.kind = PromptDecision::Open;
            d.entry = int(i) + 1;
            d.action = fillQuery(actions.value(i), QString());
            return d;
        }
    }
    // A keyword and a space begin the text: the rest is the query of an entry taking one.
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        const QString &k = keywords.at(i);
        if (k.isEmpty() || typed.size() <= k.size() || typed.at(k.size()) != u' ' ||
            !takesQuery(actions.value(i)) || typed.left(k.size()).toUpper() != k.toUpper())
            continue;
        d.kind = PromptDecision::Open;
        d.entry = int(i) + 1;
        d.action = fillQuery(actions.at(i), typed.mid(k.size() + 1));
        return d;
    }
    d.kind = PromptDecision::NotFound;
    return d;
}

bool timerShouldHide(bool programHasActiveWindow, bool awaitingActivation, qint64 msSinceShown)
{
    if (programHasActiveWindow)
        return false;
    if (awaitingActivation && msSinceShown < PromptActivationGraceMs)
        return false;
    return true;
}

bool takesQuery(const QString &action)
{
    return action.contains(PromptQueryMark);
}

QString execQuoted(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

QString fillQuery(const QString &action, const QString &query)
{
    if (!takesQuery(action))
        return action;
    const QString filled = isWebAddress(action)
                               ? QString::fromLatin1(QUrl::toPercentEncoding(query))
                               : execQuoted(query);
    QString out = action;
    return out.replace(PromptQueryMark, filled);
}

namespace {

// Case folding per UTF-16 unit, as case-insensitive comparison of QString does; ASCII
// without the table lookup, as this runs for every keyword on every keystroke.
inline char16_t folded(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    return c.toCaseFolded().unicode();
}

using Folded = QVarLengthArray<char16_t, 64>;

bool sameUnits(const char16_t *a, const char16_t *b, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

bool holdsInOrder(const char16_t *keyword, qsizetype size, const Folded &typed)
{
    if (typed.size() > size)
        return false;
    qsizetype k = 0;
    for (const char16_t wanted : typed) {
        while (k < size && keyword[k] != wanted)
            ++k;
        if (k == size)
            return false;
        ++k;
    }
    return true;
}

} // namespace

void PromptKeywordIndex::update(const QStringList &keywords)
{
    // The same shared list: the prompt took its copies again without the tables changing.
    if (m_of.constData() == keywords.constData() && m_of.size() == keywords.size() &&
        !m_starts.isEmpty())
        return;
    m_of = keywords;
    // Sizes first (they sit in the list itself), so that both blocks are allocated once.
    m_starts.resize(keywords.size() + 1);
    qsizetype total = 0;
    for (qsizetype i = 0; i < keywords.size(); ++i) {
        m_starts[i] = total;
        total += keywords.at(i).size();
    }
    m_starts[keywords.size()] = total;
    m_chars.resize(total);
    char16_t *out = m_chars.data();
    for (const QString &k : keywords) {
        for (const QChar c : k)
            *out++ = folded(c);
    }
}

QList<PromptSuggestion> suggest(const QString &typed, const QStringList &keywords,
                                const QStringList &actions, int limit)
{
    PromptKeywordIndex index;
    index.update(keywords);
    return suggest(typed, index, keywords, actions, limit);
}

QList<PromptSuggestion> suggest(const QString &typed, const PromptKeywordIndex &index,
                                const QStringList &keywords, const QStringList &actions, int limit)
{
    QList<PromptSuggestion> rows;
    if (typed.isEmpty() || limit <= 0)
        return rows;
    // Only the first `limit` of each group can be shown; the first group needs no others.
    enum Group
    {
        Exact,
        Prefix,
        InOrder,
        Groups
    };
    struct Hit
    {
        int index;
        qsizetype queryAt; // where the query starts in the text; -1 without one
    };
    QVarLengthArray<Hit, PromptSuggestionRows> hits[Groups];
    // A query needs a space after a keyword of at least one character.
    const bool mayHoldQuery = typed.indexOf(u' ', 1) > 0;
    Folded wanted;
    for (const QChar c : typed)
        wanted.append(folded(c));
    const qsizetype n = qMin(index.size(), keywords.size());
    for (qsizetype i = 0; i < n && hits[Exact].size() < limit; ++i) {
        const char16_t *k = index.keyword(i);
        const qsizetype size = index.keywordSize(i);
        if (size == 0)
            continue;
        if (size >= wanted.size()) {
            if (sameUnits(k, wanted.constData(), wanted.size())) {
                if (size == wanted.size())
                    hits[Exact].append({int(i), -1});
                else if (hits[Prefix].size() < limit)
                    hits[Prefix].append({int(i), -1});
                continue;
            }
        } else if (mayHoldQuery && wanted[size] == u' ' && sameUnits(k, wanted.constData(), size) &&
                   takesQuery(actions.value(i))) {
            hits[Exact].append({int(i), size + 1});
            continue;
        }
        if (hits[InOrder].size() < limit && holdsInOrder(k, size, wanted))
            hits[InOrder].append({int(i), -1});
    }
    for (const auto &group : hits) {
        for (const Hit &h : group) {
            if (rows.size() == limit)
                return rows;
            const QString query = h.queryAt < 0 ? QString() : typed.mid(h.queryAt);
            const QString &action = actions.value(h.index);
            PromptSuggestion s;
            s.index = h.index;
            s.action = fillQuery(action, query);
            s.completion = keywords.at(h.index);
            if (takesQuery(action))
                s.completion += u' ' + query;
            rows.append(s);
        }
    }
    return rows;
}

int moveHighlight(int current, int rows, int step)
{
    if (rows <= 0)
        return -1;
    if (step > 0)
        return current < 0 ? 0 : qMin(current + 1, rows - 1);
    if (step < 0)
        return current < 0 ? rows - 1 : current - 1;
    return qBound(-1, current, rows - 1);
}
