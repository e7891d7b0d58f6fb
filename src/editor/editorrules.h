#pragma once

// The entry editor's and the Remove command's decisions, without widgets: the hotkey
// choices, the tests that OK makes, and the writes that OK and Remove make.

#include "entries/ini.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

/// The entry count as a number: the empty text is 0; otherwise decimal digits with a value
/// up to 32767. Anything else is no number (nullopt).
std::optional<int> parseCount(const QString &s);

/// The largest number of entries the file can hold.
constexpr int maxEntries = 32767;

/// OK's tests, in order: empty action, neither keyword nor hotkey, then in add mode a
/// repeated action, keyword or hotkey against @p tables (check_Action, check_keyword,
/// check_hotkey, which may turn an empty `s` into "0"), then the count's own sanity.
/// An empty keyword and "None" are never repeats. In modify mode @p editIndex must name
/// one of the entries.
Refusal validate(const EntryFields &f, bool addMode, EntryTables &tables, int editIndex = 0);

/// One value to store.
struct Write
{
    QString section;
    QString key;
    QString value;
    bool operator==(const Write &) const = default;
};
using WritePlan = QList<Write>;

/// Add: "count"/"c" = @p newCount first, then section @p newCount's Action, Hotkey, Keyword.
WritePlan addPlan(int newCount, const EntryFields &f);
/// Modify: section @p editIndex's Action, Hotkey, Keyword.
WritePlan modifyPlan(int editIndex, const EntryFields &f);
/// Remove entry @p n of @p oldCount: "count"/"c" = oldCount - 1 first, then for i = n up to
/// oldCount - 1 section i takes entry i + 1's Action, Hotkey and Keyword from @p tables.
/// The old last section is left alone. Empty (nothing to do) when @p n is not one of the
/// entries or the tables do not hold them all.
WritePlan removePlan(int oldCount, int n, const EntryTables &tables);

/// Writes @p plan to @p path in order as one group of the process's profile: all of it
/// reaches the file, or none of it does and the result says why.
IniWriteResult applyPlan(const QString &path, const WritePlan &plan);

/// The message for a save or removal that did not reach @p path.
QString saveFailedMessage(const QString &path, const QString &reason);
QString removeFailedMessage(const QString &path, const QString &reason);

/// The row to select after entry @p n of @p oldCount was removed: the one that took its
/// place, or the new last one (1 when none is left: there is then nothing to select).
int rowAfterRemove(int oldCount, int n);

} // namespace editor
