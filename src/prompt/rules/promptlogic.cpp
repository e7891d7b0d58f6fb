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

// Case folding per UTF-16 unit: what case-insensitive comparison of QString does as well.
bool holdsInOrder(const QString &keyword, const QString &typed)
{
    if (typed.size() > keyword.size())
        return false;
    qsizetype k = 0;
    for (const QChar c : typed) {
        const QChar wanted = c.toCaseFolded();
        while (k < keyword.size() && keyword.at(k).toCaseFolded() != wanted)
            ++k;
        if (k == keyword.size())
            return false;
        ++k;
    }
    return true;
}

} // namespace

QList<PromptSuggestion> suggest(const QString &typed, const QStringList &keywords,
                                const QStringList &actions, int limit)
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
    for (qsizetype i = 0; i < keywords.size() && hits[Exact].size() < limit; ++i) {
        const QString &k = keywords.at(i);
        if (k.isEmpty())
            continue;
        if (k.size() == typed.size()) {
            if (k.compare(typed, Qt::CaseInsensitive) == 0) {
                hits[Exact].append({int(i), -1});
                continue;
            }
        } else if (k.size() > typed.size()) {
            if (k.startsWith(typed, Qt::CaseInsensitive)) {
                if (hits[Prefix].size() < limit)
                    hits[Prefix].append({int(i), -1});
                continue;
            }
        } else if (mayHoldQuery && typed.at(k.size()) == u' ' &&
                   typed.startsWith(k, Qt::CaseInsensitive) && takesQuery(actions.value(i))) {
            hits[Exact].append({int(i), k.size() + 1});
            continue;
        }
        if (hits[InOrder].size() < limit && holdsInOrder(k, typed))
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
