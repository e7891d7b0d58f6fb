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

bool SingleInstance::handOver(const commandline::Request &request)
{
    // A copy that is busy (a modal message box) still takes the request once it is free.
    return platform::askLocalChannel(socketName(), request.message(), 500);
}

bool SingleInstance::listen()
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
    if (!m_server->listen(socketName(), &error)) {
        qWarning("dudud-adadadiz: later starts cannot reach this copy: %s", qPrintable(error));
        return false;
    }
    return true;
}
