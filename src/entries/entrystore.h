#pragma once

#include "entries/entryfile.h"
#include "entries/entryfilewatcher.h"
#include "entries/entrytables.h"

#include <QObject>
#include <QString>

namespace platform {
class Profile;
}

/// The entries of the running program: the tables and their list, read from the entry file
/// by getinfo, kept in step with the file when another program changes it, and the one way
/// the windows read one entry or write a plan. Every read of the file is told to the
/// listeners by reloaded().
///
/// The entry file is worked out afresh for each use (entryFilePath of the program's folder):
/// a file or folder that comes or goes while the program runs moves it.
class EntryStore : public QObject
{
    Q_OBJECT
public:
    /// Reads and writes through @p profile, which must outlive the store; the entry file is
    /// the one of a program in @p programDir.
    EntryStore(platform::Profile &profile, QString programDir, QObject *parent = nullptr);

    EntryTables tables;
    QString &s = tables.s;

    QString programDir() const { return m_programDir; }
    QString path() const;
    platform::Profile &profile() { return m_profile; }

    /// Appends the entries of the entry file to the list (the list is not cleared), lets the
    /// profile forget the parsed file, and tells the listeners.
    void getinfo();
    /// Clears the list and reads it again.
    void reload();
    /// Reloads when the entry file holds other entries than the tables: another program or a
    /// text editor changed it. Returns whether it reloaded.
    bool reloadIfChanged();
    /// Follows the entry file from now on: a change by another program reloads.
    void watch();

    bool set_arrays(QStringList &hotkeys, QStringList &keywords, QStringList &actions) const;

    /// Entry @p index as the file holds it now.
    entries::EntryValues readEntry(int index);
    /// Writes @p plan as one group (see entries::applyPlan); the caller reloads.
    platform::WriteResult apply(const entries::WritePlan &plan);
    /// Removes what writes that died mid-way left beside the entry file.
    platform::SweepResult sweepLeftovers();

signals:
    /// The tables are about to be read again; they still hold what was read before.
    void aboutToReload();
    /// The tables and the list now hold what the entry file holds.
    void reloaded();

private:
    platform::Profile &m_profile;
    QString m_programDir;
    EntryFileWatcher m_watcher;
};
