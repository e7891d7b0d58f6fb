#include "entries/entryfilewatcher.h"

#include <QFileInfo>

EntryFileWatcher::EntryFileWatcher(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &EntryFileWatcher::changed);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &EntryFileWatcher::seen);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &EntryFileWatcher::seen);
}

bool EntryFileWatcher::watch(const QString &path)
{
    m_path = path;
    const bool folder = m_watcher.addPath(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path))
        m_watcher.addPath(path);
    return folder;
}

void EntryFileWatcher::seen()
{
    // A file replaced by a rename is a new file: the watch on the old one has ended with it.
    if (!m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    m_settle.start();
}
