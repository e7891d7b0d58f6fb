#include "launch/startup/singleinstance.h"

#include "platform/process.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

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
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(500))
        return false;
    socket.write(request.message() + '\n');
    socket.waitForBytesWritten(500);
    // A copy that is busy (a modal message box) still takes the request once it is free.
    socket.waitForReadyRead(500);
    return true;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketName())) {
        // A socket left by a copy that died: nobody answered on it, so take it over.
        QLocalServer::removeServer(socketName());
        if (!m_server->listen(socketName()))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *c = m_server->nextPendingConnection()) {
            connect(c, &QLocalSocket::readyRead, this, [this, c] {
                // One line per connection; a line cut short waits for the rest.
                if (!c->canReadLine()) {
                    if (c->bytesAvailable() > 256)
                        c->disconnectFromServer();
                    return;
                }
                const std::optional<commandline::Request> r =
                    commandline::Request::fromMessage(c->readLine(256));
                if (r) {
                    c->write("ok\n");
                    c->flush();
                    emit requested(*r);
                }
                c->disconnectFromServer();
            });
            connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
        }
    });
    return true;
}
