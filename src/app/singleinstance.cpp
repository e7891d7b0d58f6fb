#include "app/singleinstance.h"

#include "platform/localchannel.h"
#include "platform/user.h"

#include <QCryptographicHash>
#include <QTimer>

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketName()
{
    // Per user and per display, so that test sessions on other displays stay apart.
    QByteArray display = qgetenv("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qgetenv("DISPLAY");
    const QByteArray key = QByteArray::number(platform::userId()) + '|' + display;
    return QStringLiteral("dudud-adadadiz-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

SingleInstance::Start SingleInstance::start(const commandline::Request &request)
{
    m_server = std::make_unique<platform::LocalChannelServer>([this](const QByteArray &line) {
        const std::optional<commandline::Request> r = commandline::Request::fromMessage(line);
        if (!r)
            return QByteArray();
        // Done from the event loop, after the answer: what it opens may wait for the user.
        QTimer::singleShot(0, this, [this, req = *r] { emit requested(req); });
        return QByteArray("ok");
    });
    QString error;
    switch (m_server->listen(socketName(), &error)) {
    case platform::LocalChannelServer::Listening:
        return First;
    case platform::LocalChannelServer::Failed:
        qWarning("dudud-adadadiz: later starts cannot reach this copy: %s", qPrintable(error));
        return First;
    case platform::LocalChannelServer::HeldByOther:
        break;
    }
    m_server.reset();
    // A copy busy with a modal message box still answers: its event loop runs.
    if (platform::askLocalChannel(socketName(), request.message(), 1000))
        return HandedOver;
    qWarning("dudud-adadadiz: the running copy does not answer (it may be stopped or hung); "
             "nothing was done. End that copy or try again.");
    return NoAnswer;
}
