#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

/// Tells when another program (or a text editor) may have changed the entry file. Watches
/// the file, and its folder while the file is missing, so that a file replaced by a rename,
/// removed or created is seen too; a burst of changes is told once, shortly after it ends. The
/// system tells of changes itself: nothing is polled.
class EntryFileWatcher : public QObject
{
    Q_OBJECT
public:
    explicit EntryFileWatcher(QObject *parent = nullptr);

    /// Starts watching @p path (which need not exist yet). Returns false when the folder
    /// cannot be watched.
    bool watch(const QString &path);

    /// How long the file must stay quiet before changed() is emitted.
    static constexpr int settleMs = 150;

signals:
    void changed();

private:
    void seen();
    bool follow();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_path;
};
