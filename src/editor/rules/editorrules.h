#pragma once

// The entry editor's decisions, without widgets: the hotkey choices and the tests that OK
// makes before it asks the entry file for its writes.

#include "entries/entryfile.h"

#include <QList>
#include <QString>
#include <QStringList>

class EntryTables;

namespace editor {

/// The 49 texts of the hotkey list, in list order: "None", "1".."9", "0", "A".."Z",
/// "F1".."F12". An item's position is its index.
const QStringList &hotkeyChoices();

/// The index of the choice equal to @p stored, ignoring case; 0 ("None") when none is
/// (an empty or hand-edited value).
int hotkeyIndexOf(const QString &stored);

/// The text an entry stores for the choice @p index: the empty text for "None".
QString storedHotkey(int index);

/// The line that tells that Ctrl+Shift+@p key is also another program's shortcut.
QString sharedShortcutNote(const QString &key);

/// What the editor holds when OK is pressed.
struct EntryFields
{
    QString action;
    QString keyword;
    int hotkeyIndex = 0;
};

/// Why OK refuses, in the order the tests are made. None: accepted.
enum class Refusal
{
    None,
    NoAction,
    NoKeywordOrHotkey,
    ActionRepeat,
    KeywordRepeat,
    HotkeyRepeat,
    CountNotANumber, ///< add mode: the file's count is text a hand edit left there
    ListFull,        ///< add mode: the count is already the largest there can be
    EntryGone,       ///< modify mode: the entry being modified is no longer in the list
};

/// The message a refusal shows. @p s is the count text, named by CountNotANumber.
QString refusalMessage(Refusal r, const QString &s = QString());

/// OK's tests, in order: empty action, neither keyword nor hotkey, then in add mode a
/// repeated action, keyword or hotkey against @p tables (check_Action, check_keyword,
/// check_hotkey, which may turn an empty `s` into "0"), then the count's own sanity.
/// An empty keyword and "None" are never repeats. In modify mode @p editIndex must name
/// one of the entries.
Refusal validate(const EntryFields &f, bool addMode, EntryTables &tables, int editIndex = 0);

/// The entry the fields describe, as the file stores it.
entries::EntryValues storedValues(const EntryFields &f);

} // namespace editor
