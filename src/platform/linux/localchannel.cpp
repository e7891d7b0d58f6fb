#include "platform/localchannel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QList>
#include <QSocketNotifier>
#include <QTimer>

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
/// Connections served at once; a copy is asked by a person's starts, one at a time.
constexpr int maxClients = 8;
/// How long a connection may take to send its line.
constexpr int lineMs = 1000;
/// How long the listener rests when the process is out of descriptors.
constexpr int restMs = 200;
/// Names tried in the temporary folder when the first is taken by someone else.
constexpr int tempFolders = 8;

/// Whether @p dir is a folder (not a link to one) of this user that nobody else may enter;
/// with @p fixMode, one of the user's own with wider rights is narrowed first.
bool privateFolder(const QByteArray &dir, bool fixMode)
{
    struct stat st;
    if (::lstat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 077) == 0)
        return true;
    return fixMode && ::chmod(dir.constData(), 0700) == 0;
}

/// The folders the channel may live in, the preferred first.
QList<QByteArray> folders()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700)
        return {runtime};
    const QByteArray base =
        QFile::encodeName(QDir::tempPath()) + "/dudud-adadadiz-" + QByteArray::number(::getuid());
    QList<QByteArray> out{base};
    for (int i = 1; i < tempFolders; ++i)
        out << base + '-' + QByteArray::number(i);
    return out;
}

/// Opens the lock file @p path (never through a link); -1 when it cannot.
int openLock(const QByteArray &path, bool create)
{
    return ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
}

/// The lock is an open file description's (not the process's, as a second server in one
/// process must be refused too), and can be looked at without taking it: a look that took
/// it for a moment would turn a copy starting at the same time away.
flock wholeFile()
{
    flock l{};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    return l;
}

bool heldElsewhere(int fd)
{
    flock l = wholeFile();
    return ::fcntl(fd, F_OFD_GETLK, &l) == 0 && l.l_type != F_UNLCK;
}

/// 0 once this holds the lock of @p fd; EAGAIN when another does; another errno.
int takeLock(int fd)
{
    flock l = wholeFile();
    if (::fcntl(fd, F_OFD_SETLK, &l) == 0)
        return 0;
    return errno == EACCES ? EAGAIN : errno;
}

/// The folder where a process holds the lock of @p name, or nothing.
QByteArray runningFolder(const QString &name)
{
    const QByteArray file = QFile::encodeName(name) + ".lock";
    for (const QByteArray &dir : folders()) {
        if (!privateFolder(dir, false))
            continue;
        const int fd = openLock(dir + '/' + file, false);
        if (fd < 0)
            continue;
        const bool held = heldElsewhere(fd);
        ::close(fd);
        if (held)
            return dir;
    }
    return {};
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

/// Waits until @p fd is ready for @p events, until @p deadline at most.
bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    pollfd p{fd, events, 0};
    int r;
    do
        r = ::poll(&p, 1, int(deadline.remainingTime()));
    while (r < 0 && errno == EINTR);
    return r > 0;
}

/// Connects to @p path without blocking; a listener that is not up yet, or whose queue is
/// full, is tried again until @p deadline.
int connectTo(const QByteArray &path, const QDeadlineTimer &deadline)
{
    sockaddr_un addr;
    if (!addressOf(path, addr))
        return -1;
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            if (sameUser(fd))
                return fd;
            ::close(fd);
            return -1;
        }
        const int err = errno;
        ::close(fd);
        if ((err != EAGAIN && err != ECONNREFUSED && err != ENOENT) || deadline.hasExpired())
            return -1;
        ::usleep(10000);
    }
}

} // namespace

struct LocalChannelServer::Private
{
    std::function<QByteArray(const QByteArray &)> answer;
    int fd = -1;
    int lockFd = -1;
    QByteArray path;
    std::unique_ptr<QSocketNotifier> listening;
    QTimer rest; ///< the listener's pause when the process is out of descriptors
    bool toldRest = false;

    struct Client
    {
        int fd;
        QByteArray pending;
        std::unique_ptr<QSocketNotifier> notifier;
        std::unique_ptr<QTimer> timeout;
    };
    QList<Client *> clients; ///< oldest first

    void drop(Client *c)
    {
        clients.removeOne(c);
        c->notifier->setEnabled(false);
        c->timeout->stop();
        ::close(c->fd);
        c->notifier.release()->deleteLater();
        c->timeout.release()->deleteLater();
        delete c;
    }

    /// Takes what @p c sent; answers and closes once its line is complete or too long.
    void read(Client *c)
    {
        char buf[maxLine + 1];
        const ssize_t n = ::read(c->fd, buf, sizeof buf);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n > 0)
            c->pending.append(buf, n);
        const int eol = c->pending.indexOf('\n');
        if (eol < 0 && n > 0 && c->pending.size() <= maxLine)
            return; // the rest of the line is still to come
        if (eol >= 0) {
            const QByteArray reply = answer(c->pending.left(eol));
            if (!reply.isEmpty()) {
                const QByteArray out = reply + '\n';
                // A short reply to a waiting peer: it fits the socket's buffer.
                [[maybe_unused]] ssize_t w =
                    ::send(c->fd, out.constData(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            }
        }
        drop(c);
    }

    void accept(QObject *owner)
    {
        for (;;) {
            const int cfd = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (cfd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    // The oldest waiting connection gives way; with none, the listener
                    // rests, or it would be woken for the same connection again and again.
                    if (!clients.isEmpty()) {
                        drop(clients.first());
                        continue;
                    }
                    listening->setEnabled(false);
                    rest.start();
                    if (!toldRest) {
                        toldRest = true;
                        qWarning("dudud-adadadiz: out of file descriptors (%s); later starts "
                                 "wait until some are free",
                                 std::strerror(errno));
                    }
                    return;
                }
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                return;
            }
            if (!sameUser(cfd)) {
                ::close(cfd);
                continue;
            }
            if (clients.size() >= maxClients)
                drop(clients.first());
            auto *c = new Client{cfd, {}, {}, std::make_unique<QTimer>()};
            c->notifier = std::make_unique<QSocketNotifier>(cfd, QSocketNotifier::Read);
            c->timeout->setSingleShot(true);
            clients.append(c);
            QObject::connect(c->notifier.get(), &QSocketNotifier::activated, owner,
                             [this, c] { read(c); });
            QObject::connect(c->timeout.get(), &QTimer::timeout, owner, [this, c] { drop(c); });
            c->timeout->start(lineMs);
            // A caller sends its line as it connects: it is often here already.
            read(c);
        }
    }
};

LocalChannelServer::LocalChannelServer(std::function<QByteArray(const QByteArray &)> answer,
                                       QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->answer = std::move(answer);
    d->rest.setSingleShot(true);
    d->rest.setInterval(restMs);
    connect(&d->rest, &QTimer::timeout, this, [this] {
        d->listening->setEnabled(true);
        d->accept(this);
    });
}

LocalChannelServer::~LocalChannelServer()
{
    while (!d->clients.isEmpty())
        d->drop(d->clients.first());
    if (d->fd >= 0) {
        ::close(d->fd);
        ::unlink(d->path.constData());
    }
    if (d->lockFd >= 0)
        ::close(d->lockFd);
}

LocalChannelServer::Listen LocalChannelServer::listen(const QString &name, QString *error)
{
    const QByteArray file = QFile::encodeName(name);
    QByteArray dir;
    // A copy already running in any of the folders is the running one, also when the folder
    // it took first is free again.
    if (!runningFolder(name).isEmpty())
        return HeldByOther;
    for (const QByteArray &candidate : folders()) {
        if (::mkdir(candidate.constData(), 0700) != 0 && errno != EEXIST)
            continue;
        if (!privateFolder(candidate, true))
            continue;
        const int fd = openLock(candidate + '/' + file + ".lock", true);
        if (fd < 0)
            continue;
        if (const int err = takeLock(fd)) {
            ::close(fd);
            if (err == EAGAIN)
                return HeldByOther;
            continue;
        }
        d->lockFd = fd;
        dir = candidate;
        break;
    }
    if (dir.isEmpty()) {
        *error = QStringLiteral("no folder of this user's own to listen in (tried %1)")
                     .arg(QFile::decodeName(folders().join(", ")));
        return Failed;
    }

    d->path = dir + '/' + file;
    sockaddr_un addr;
    if (!addressOf(d->path, addr)) {
        *error = QStringLiteral("%1: the name is too long for a socket.")
                     .arg(QFile::decodeName(d->path));
        return Failed;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return Failed;
    }
    // Whatever has the name is left by a copy that died: the lock is this copy's.
    ::unlink(d->path.constData());
    const mode_t old = ::umask(0077);
    const int r = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::umask(old);
    if (r != 0 || ::listen(fd, 64) != 0) {
        *error = QStringLiteral("%1: %2").arg(QFile::decodeName(d->path),
                                              QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return Failed;
    }
    d->fd = fd;
    d->listening = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(d->listening.get(), &QSocketNotifier::activated, this, [this] { d->accept(this); });
    return Listening;
}

bool askLocalChannel(const QString &name, const QByteArray &line, int ms, QByteArray *answer)
{
    const QDeadlineTimer deadline(ms);
    const QByteArray dir = runningFolder(name);
    if (dir.isEmpty())
        return false;
    const int fd = connectTo(dir + '/' + QFile::encodeName(name), deadline);
    if (fd < 0)
        return false;
    const QByteArray out = line + '\n';
    bool answered = false;
    QByteArray in;
    if (::send(fd, out.constData(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT) == out.size()) {
        char buf[maxLine];
        while (!in.contains('\n') && waitFor(fd, POLLIN, deadline)) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0) {
                // Closed: with a complete line or with none, as for a line it does not take.
                answered = n == 0;
                break;
            }
            in.append(buf, n);
        }
        answered = answered || in.contains('\n');
    }
    ::close(fd);
    if (answer)
        *answer = in.left(in.indexOf('\n'));
    return answered;
}

} // namespace platform
