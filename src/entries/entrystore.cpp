#include "entries/entrystore.h"

#include "entries/ini.h"
#include "platform/profile.h"

EntryStore::EntryStore(platform::Profile &profile, QString programDir, QObject *parent)
    : QObject(parent), m_profile(profile), m_programDir(std::move(programDir))
{
    connect(&m_watcher, &EntryFileWatcher::changed, this, &EntryStore::reloadIfChanged);
}

QString EntryStore::path() const
{
    return entryFilePath(m_programDir);
}

void EntryStore::getinfo()
{
    // Without a configuration folder there is no file to read: the list stays empty.
    if (const QString file = path(); !file.isEmpty())
        tables.getinfo(m_profile, file);
    // The tables hold what the program needs at rest; the parsed file, as large as the file
    // again, is read anew by the next command that needs it.
    m_profile.releaseCache();
    emit reloaded();
}

void EntryStore::reload()
{
    emit aboutToReload();
    tables.list()->clear();
    getinfo();
}

bool EntryStore::reloadIfChanged()
{
    EntryTables now;
    now.readTables(m_profile, path());
    if (now.sameEntries(tables))
        return false;
    reload();
    return true;
}

void EntryStore::watch()
{
    if (const QString file = path(); !file.isEmpty())
        m_watcher.watch(file);
}

bool EntryStore::set_arrays(QStringList &hotkeys, QStringList &keywords, QStringList &actions) const
{
    return tables.set_arrays(hotkeys, keywords, actions);
}

entries::EntryValues EntryStore::readEntry(int index)
{
    return entries::readEntry(m_profile, path(), index);
}

platform::WriteResult EntryStore::apply(const entries::WritePlan &plan)
{
    const QString file = path();
    if (file.isEmpty())
        return platform::WriteResult::failure(noConfigFolderText());
    return entries::applyPlan(m_profile, file, plan);
}

platform::SweepResult EntryStore::sweepLeftovers()
{
    const QString file = path();
    return file.isEmpty() ? platform::SweepResult{} : m_profile.sweepLeftovers(file);
}
