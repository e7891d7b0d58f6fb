#include "editor/rules/editorrules.h"

#include "entries/entrytables.h"

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
            .arg(entries::maxEntries);
    case Refusal::EntryGone:
        return QStringLiteral("The entry being modified is no longer in the list.");
    }
    return QString();
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
    const std::optional<int> n = entries::parseCount(tables.s);
    // A count that is no number hides whatever entries the file holds: writing "1" over it
    // would put the new entry over the old entry 1.
    if (!n)
        return Refusal::CountNotANumber;
    if (*n >= entries::maxEntries)
        return Refusal::ListFull;
    return Refusal::None;
}

entries::EntryValues storedValues(const EntryFields &f)
{
    return {f.action, storedHotkey(f.hotkeyIndex), f.keyword};
}

QString sharedShortcutNote(const QString &key)
{
    return QStringLiteral("Ctrl+Shift+%1 is also another program's shortcut: a press of it "
                          "reaches both.")
        .arg(key.toUpper());
}

} // namespace editor
