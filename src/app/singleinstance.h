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

    enum Start
    {
        First,      ///< this is the running copy: it listens, requested() tells of later starts
        HandedOver, ///< the running copy took the request
        NoAnswer,   ///< a running copy holds the place but did not answer in time (said so)
    };
    /// Becomes the running copy, or hands @p request to the one that is, waiting a second at
    /// most for it. Never First while another copy holds the place.
    Start start(const commandline::Request &request);

    static QString socketName();

signals:
    void requested(const commandline::Request &request);

private:
    std::unique_ptr<platform::LocalChannelServer> m_server;
};
