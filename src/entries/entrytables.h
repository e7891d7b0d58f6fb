#pragma once

#include "entries/entryfile.h"
#include "entries/entrylistmodel.h"

#include <QStringList>

namespace platform {
class Profile;
}

/// The entry count text `s`, the Hotkey, Keyword and Action tables and the list model,
/// rebuilt from the entry file by getinfo(). The tables are 0-based: element i - 1 is
/// entry number i. Only getinfo() and the check procedures change anything here.
class EntryTables
{
public:
    /// The entry count exactly as read (section "count", key "c"); "" and "0" mean none.
    QString s;
    QStringList Hotkey;
    QStringList Keyword;
    QStringList Action;

    /// The list that getinfo() appends to (ListView1's model).
    EntryListModel *list() { return &m_list; }

    /// Reads the count from the entry file at @p path and, unless it means no entries,
    /// recreates the tables and appends one row per entry to the list. A reload is:
    /// list()->clear(), then getinfo().
    void getinfo(platform::Profile &profile, const QString &path);
    /// As getinfo(), without touching the list.
    void readTables(platform::Profile &profile, const QString &path);

    /// Entry @p n (1-based, one of the entries) as the tables hold it.
    entries::EntryValues entry(int n) const;
    /// The entry equal to @p e in all three values, 1-based: @p near itself when it is one,
    /// else the first; 0 when none is. Finds an entry again after the file changed.
    int find(const entries::EntryValues &e, int near = 0) const;
    /// Whether both hold the same entries (the count text aside, which the check procedures
    /// may have turned from "" into "0").
    bool sameEntries(const EntryTables &other) const;

    /// Each turns an empty `s` into "0", then tells whether one of the entries 1..count holds
    /// exactly @p value (case-sensitive, nothing trimmed).
    bool check_hotkey(const QString &key);
    bool check_keyword(const QString &Keyword);
    bool check_Action(const QString &key);

    /// Copies the tables into the caller's, unless `s` means no entries: then returns false
    /// and leaves the caller's tables alone.
    bool set_arrays(QStringList &hotkeys, QStringList &keywords, QStringList &actions) const;

    /// `s` as a number of entries (entries::parseCount); text that is no number counts as
    /// no entries.
    int count() const;

private:
    bool checkTable(const QStringList &table, const QString &value);
    EntryListModel m_list;
};
