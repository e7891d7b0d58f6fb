#pragma once

#include "launch/commandline.h"

#include <QObject>
#include <QString>

#include <memory>

namespace platform {
class LocalChannelServer;
}

/// One running copy per user and display: two would fire every hotkey twice. The first copy
/// listens on a local socket; a later start hands its request over (the main window, the
/// prompt, a hotkey) and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    /// True when another copy took @p request.
    bool handOver(const commandline::Request &request);
    /// Starts listening; requested() is emitted for each later start.
    bool listen();

    static QString socketName();

signals:
    void requested(const commandline::Request &request);

private:
    std::unique_ptr<platform::LocalChannelServer> m_server;
};
