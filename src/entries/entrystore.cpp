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
    tables.getinfo(m_profile, path());
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
    m_watcher.watch(path());
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
    return entries::applyPlan(m_profile, path(), plan);
}

platform::SweepResult EntryStore::sweepLeftovers()
{
    return m_profile.sweepLeftovers(path());
}
