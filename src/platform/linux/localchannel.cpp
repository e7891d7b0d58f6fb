#include "platform/localchannel.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int maxLine = 256;

/// The socket's file: in the user's runtime folder, which only the user can enter, or in
/// the temporary folder where there is none of the user's own (a variable inherited from
/// another user, say).
QByteArray socketPath(const QString &name)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st;
    const bool own = !runtime.isEmpty() && ::stat(runtime.constData(), &st) == 0 &&
                     S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
                     ::access(runtime.constData(), W_OK) == 0;
    const QByteArray dir = own ? runtime : QFile::encodeName(QDir::tempPath());
    return dir + '/' + QFile::encodeName(name);
}

bool addressOf(const QByteArray &path, sockaddr_un &addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= int(sizeof addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.constData(), path.size());
    return true;
}

/// Whether the process at the other end of @p fd runs as this user.
bool sameUser(int fd)
{
    ucred cred{};
    socklen_t len = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == getuid();
}

/// Waits until @p fd is ready for @p events, at most @p ms.
bool waitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    int r;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

int connectTo(const QByteArray &path)
{
    sockaddr_un addr;
    if (!addressOf(path, addr))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || !sameUser(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

struct LocalChannelServer::Private
{
    std::function<QByteArray(const QByteArray &)> answer;
    int fd = -1;
    QByteArray path;
    std::unique_ptr<QSocketNotifier> listening;

    struct Client
    {
        int fd;
        QByteArray pending;
        std::unique_ptr<QSocketNotifier> notifier;
    };
    QHash<int, Client *> clients;

    void drop(Client *c)
    {
        clients.remove(c->fd);
        c->notifier->setEnabled(false);
        ::close(c->fd);
        c->notifier.release()->deleteLater();
        delete c;
    }
};

LocalChannelServer::LocalChannelServer(std::function<QByteArray(const QByteArray &)> answer,
                                       QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->answer = std::move(answer);
}

LocalChannelServer::~LocalChannelServer()
{
    for (Private::Client *c : d->clients.values())
        d->drop(c);
    if (d->fd >= 0) {
        ::close(d->fd);
        ::unlink(d->path.constData());
    }
}

bool LocalChannelServer::listen(const QString &name, QString *error)
{
    d->path = socketPath(name);
    sockaddr_un addr;
    if (!addressOf(d->path, addr)) {
        *error = QStringLiteral("%1: the name is too long for a socket.")
                     .arg(QFile::decodeName(d->path));
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Only the user may connect: the file is made without rights for others.
    const mode_t old = ::umask(0077);
    int r = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    if (r != 0 && errno == EADDRINUSE) {
        const int other = connectTo(d->path);
        if (other >= 0) {
            ::close(other);
        } else {
            ::unlink(d->path.constData());
            r = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        }
    }
    ::umask(old);
    if (r != 0 || ::listen(fd, 8) != 0) {
        *error = QStringLiteral("%1: %2").arg(QFile::decodeName(d->path),
                                              QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    d->fd = fd;
    d->listening = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(d->listening.get(), &QSocketNotifier::activated, this, [this] {
        int cfd;
        while ((cfd = ::accept4(d->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
            if (!sameUser(cfd)) {
                ::close(cfd);
                continue;
            }
            auto *c = new Private::Client{cfd, {}, {}};
            c->notifier = std::make_unique<QSocketNotifier>(cfd, QSocketNotifier::Read);
            d->clients.insert(cfd, c);
            connect(c->notifier.get(), &QSocketNotifier::activated, this, [this, cfd] {
                Private::Client *c = d->clients.value(cfd);
                if (!c)
                    return;
                char buf[maxLine + 1];
                const ssize_t n = ::read(cfd, buf, sizeof buf);
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    return;
                if (n > 0)
                    c->pending.append(buf, n);
                const int eol = c->pending.indexOf('\n');
                if (eol < 0 && n > 0 && c->pending.size() <= maxLine)
                    return; // the rest of the line is still to come
                c->notifier->setEnabled(false);
                if (eol >= 0) {
                    const QByteArray reply = d->answer(c->pending.left(eol));
                    if (!reply.isEmpty()) {
                        const QByteArray out = reply + '\n';
                        // A short reply to a waiting peer: it fits the socket's buffer.
                        [[maybe_unused]] ssize_t w = ::write(cfd, out.constData(), out.size());
                    }
                }
                d->drop(c);
            });
        }
    });
    return true;
}

bool askLocalChannel(const QString &name, const QByteArray &line, int ms, QByteArray *answer)
{
    const int fd = connectTo(socketPath(name));
    if (fd < 0)
        return false;
    const QByteArray out = line + '\n';
    const bool sent = ::send(fd, out.constData(), out.size(), MSG_NOSIGNAL) == out.size();
    QByteArray in;
    if (sent && waitFor(fd, POLLIN, ms)) {
        char buf[maxLine];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            in = QByteArray(buf, n).split('\n').first();
    }
    ::close(fd);
    if (answer)
        *answer = in;
    return sent;
}

} // namespace platform
