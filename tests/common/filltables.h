#pragma once

#include "entries/entrytables.h"

#include <QStringList>

/// Sets the tables as getinfo would leave them: count text @p s, and @p entries as
/// "keyword|hotkey|action" texts, numbered from 1.
inline void fill(EntryTables &t, const QString &s, const QStringList &entries)
{
    t.s = s;
    for (const QString &e : entries) {
        const QStringList parts = e.split(QLatin1Char('|'));
        t.Keyword << parts.at(0);
        t.Hotkey << parts.at(1);
        t.Action << parts.at(2);
    }
}
