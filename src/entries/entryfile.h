#pragma once

// The entry file outside getinfo: one entry read for the editor, and every write, as the
// plans of Add, Modify and Remove and the one way they reach the file. The windows decide
// whether to write; these decide what.

#include "platform/profile.h"

#include <QList>
#include <QString>

#include <optional>

class EntryTables;

namespace entries {

/// The largest number of entries the file can hold.
constexpr int maxEntries = 32767;

/// The entry count text as a number: the empty text is 0; otherwise decimal digits with a
/// value up to maxEntries. Anything else (a hand-edited "abc", "-3", "99999", " 4x") is no
/// number (nullopt).
std::optional<int> parseCount(const QString &s);

/// One entry as the file stores it: the hotkey is the stored name, empty for none.
struct EntryValues
{
    QString action;
    QString hotkey;
    QString keyword;
    bool operator==(const EntryValues &) const = default;
};

/// Entry @p index (its section) as the file at @p path holds it now.
EntryValues readEntry(platform::Profile &profile, const QString &path, int index);

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
WritePlan addPlan(int newCount, const EntryValues &e);
/// Modify: section @p index's Action, Hotkey, Keyword.
WritePlan modifyPlan(int index, const EntryValues &e);
/// Remove entry @p n of @p oldCount: "count"/"c" = oldCount - 1 first, then for i = n up to
/// oldCount - 1 section i takes entry i + 1's Action, Hotkey and Keyword from @p tables.
/// The old last section is left alone. Empty (nothing to do) when @p n is not one of the
/// entries or the tables do not hold them all.
WritePlan removePlan(int oldCount, int n, const EntryTables &tables);

/// Writes @p plan to @p path in order through ini_write, as one group of the profile: all of
/// it reaches the file, or none of it does and the result says why. An empty plan writes
/// nothing and succeeds.
platform::WriteResult applyPlan(platform::Profile &profile, const QString &path,
                                const WritePlan &plan);

/// The message for a save or a removal that did not reach @p path.
QString saveFailedMessage(const QString &path, const QString &reason);
QString removeFailedMessage(const QString &path, const QString &reason);
/// The message for an entry that another program changed or removed from @p path while the
/// user was working on it.
QString entryGoneMessage(const QString &path);

/// The row to select after entry @p n of @p oldCount was removed: the one that took its
/// place, or the new last one (1 when none is left: there is then nothing to select).
int rowAfterRemove(int oldCount, int n);

} // namespace entries
