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
    return follow();
}

bool EntryFileWatcher::follow()
{
    // The file's own watch sees it written, replaced by a rename and removed. Only while it
    // is missing is the folder watched, for its creation: other files come and go there, and
    // each would wake the program for nothing.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (QFileInfo::exists(m_path)) {
        if (!m_watcher.files().contains(m_path) && m_watcher.addPath(m_path)) {
            if (m_watcher.directories().contains(folder))
                m_watcher.removePath(folder);
            return true;
        }
        if (m_watcher.files().contains(m_path))
            return true;
    }
    if (!m_watcher.directories().contains(folder) && !m_watcher.addPath(folder))
        return false;
    // Created between the look above and the folder's watch: take the file's own now.
    if (QFileInfo::exists(m_path) && m_watcher.addPath(m_path))
        m_watcher.removePath(folder);
    return true;
}

void EntryFileWatcher::seen()
{
    // A file replaced by a rename is a new file: the watch on the old one has ended with it.
    follow();
    m_settle.start();
}
