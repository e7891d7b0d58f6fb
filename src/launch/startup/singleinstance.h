#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

/// One running copy per user and display: two would fire every hotkey twice. The first copy
/// listens on a local socket; a later start asks it to show its main window and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);

    /// True when another copy answered (and was asked to show its main window).
    bool otherCopyRunning();
    /// Starts listening; showRequested() is emitted for each later start.
    bool listen();

    static QString socketName();

signals:
    void showRequested();

private:
    QLocalServer *m_server = nullptr;
};
