#include "editor/editorrules.h"

#include "entries/entrytables.h"
#include "platform/profile.h"

#include <QDir>

namespace editor {

const QStringList &hotkeyChoices()
{
    static const QStringList choices = [] {
        QStringList l;
        l.reserve(49);
        l << QStringLiteral("None");
        for (char c = '1'; c <= '9'; ++c)
            l << QString(QLatin1Char(c));
        l << QStringLiteral("0");
        for (char c = 'A'; c <= 'Z'; ++c)
            l << QString(QLatin1Char(c));
        for (int i = 1; i <= 12; ++i)
            l << QStringLiteral("F%1").arg(i);
        return l;
    }();
    return choices;
}

int hotkeyIndexOf(const QString &stored)
{
    if (stored.isEmpty())
        return 0;
    const QStringList &choices = hotkeyChoices();
    // "None" is what the list shows, never a stored hotkey, so the scan starts after it.
    for (int i = 1; i < choices.size(); ++i) {
        if (choices.at(i).compare(stored, Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

QString storedHotkey(int index)
{
    if (index <= 0 || index >= hotkeyChoices().size())
        return QString();
    return hotkeyChoices().at(index);
}

QString refusalMessage(Refusal r, const QString &s)
{
    switch (r) {
    case Refusal::None:
        return QString();
    case Refusal::NoAction:
        return QStringLiteral("You should type an Action!");
    case Refusal::NoKeywordOrHotkey:
        return QStringLiteral("You should type at least a Keyword or a Hotkey!");
    case Refusal::ActionRepeat:
        return QStringLiteral("Action already exists");
    case Refusal::KeywordRepeat:
        return QStringLiteral("Keyword already exists");
    case Refusal::HotkeyRepeat:
        return QStringLiteral("Hotkey already exists");
    case Refusal::CountNotANumber:
        return QStringLiteral("The entry count in the entry file is \"%1\", which is not a number "
                              "of entries. Correct the value c in its section [count] before "
                              "adding an entry.")
            .arg(s);
    case Refusal::ListFull:
        return QStringLiteral("The list already holds %1 entries, the most it can hold.")
            .arg(maxEntries);
    case Refusal::EntryGone:
        return QStringLiteral("The entry being modified is no longer in the list.");
    }
    return QString();
}

std::optional<int> parseCount(const QString &s)
{
    if (s.isEmpty())
        return 0;
    if (s.size() > 5)
        return std::nullopt;
    int n = 0;
    for (QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    if (n > maxEntries)
        return std::nullopt;
    return n;
}

Refusal validate(const EntryFields &f, bool addMode, EntryTables &tables, int editIndex)
{
    if (f.action.isEmpty())
        return Refusal::NoAction;
    if (f.keyword.isEmpty() && f.hotkeyIndex == 0)
        return Refusal::NoKeywordOrHotkey;
    if (!addMode) {
        if (editIndex < 1 || editIndex > tables.count())
            return Refusal::EntryGone;
        return Refusal::None;
    }
    if (tables.check_Action(f.action))
        return Refusal::ActionRepeat;
    // Entries without a keyword all hold the empty text; that is no clash between them.
    if (!f.keyword.isEmpty() && tables.check_keyword(f.keyword))
        return Refusal::KeywordRepeat;
    if (f.hotkeyIndex != 0 && tables.check_hotkey(storedHotkey(f.hotkeyIndex)))
        return Refusal::HotkeyRepeat;
    const std::optional<int> n = parseCount(tables.s);
    // A count that is no number hides whatever entries the file holds: writing "1" over it
    // would put the new entry over the old entry 1.
    if (!n)
        return Refusal::CountNotANumber;
    if (*n >= maxEntries)
        return Refusal::ListFull;
    return Refusal::None;
}

static void appendEntry(WritePlan &plan, int section, const QString &action, const QString &hotkey,
                        const QString &keyword)
{
    const QString name = QString::number(section);
    plan.append({name, QStringLiteral("Action"), action});
    plan.append({name, QStringLiteral("Hotkey"), hotkey});
    plan.append({name, QStringLiteral("Keyword"), keyword});
}

WritePlan addPlan(int newCount, const EntryFields &f)
{
    WritePlan plan;
    plan.append({QStringLiteral("count"), QStringLiteral("c"), QString::number(newCount)});
    appendEntry(plan, newCount, f.action, storedHotkey(f.hotkeyIndex), f.keyword);
    return plan;
}

WritePlan modifyPlan(int editIndex, const EntryFields &f)
{
    WritePlan plan;
    appendEntry(plan, editIndex, f.action, storedHotkey(f.hotkeyIndex), f.keyword);
    return plan;
}

WritePlan removePlan(int oldCount, int n, const EntryTables &tables)
{
    WritePlan plan;
    if (oldCount < 1 || n < 1 || n > oldCount)
        return plan;
    // The moved values come from the tables: tables that do not cover the count (they were
    // not rebuilt for it) would move blanks over real entries, so nothing is planned.
    if (tables.Action.size() < oldCount || tables.Hotkey.size() < oldCount ||
        tables.Keyword.size() < oldCount)
        return plan;
    plan.reserve(1 + 3 * (oldCount - n));
    plan.append({QStringLiteral("count"), QStringLiteral("c"), QString::number(oldCount - 1)});
    for (int i = n; i <= oldCount - 1; ++i) {
        // Entry i + 1 sits at index i of the 0-based tables.
        appendEntry(plan, i, tables.Action.at(i), tables.Hotkey.at(i), tables.Keyword.at(i));
    }
    return plan;
}

IniWriteResult applyPlan(const QString &path, const WritePlan &plan)
{
    platform::ProfileGroup group(platform::profile());
    for (const Write &w : plan) {
        const IniWriteResult r = ini_write(path, w.section, w.key, w.value);
        if (!r.ok) {
            group.abort();
            return r;
        }
    }
    const platform::WriteResult r = group.commit();
    return {r.ok, r.error};
}

QString saveFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("The entry could not be saved to \"%1\": %2\n\nNothing was changed.")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString removeFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("The entry could not be removed from \"%1\": %2\n\nNothing was "
                          "changed.")
        .arg(QDir::toNativeSeparators(path), reason);
}

int rowAfterRemove(int oldCount, int n)
{
    return qMax(1, qMin(n, oldCount - 1));
}

} // namespace editor
