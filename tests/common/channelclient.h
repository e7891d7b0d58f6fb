#pragma once

// A client of the single-copy channel that connects and then sends little or nothing, as a
// careless or hostile program of the same user might.

#include <QByteArray>
#include <QtGlobal>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

/// A non-blocking connection to the socket @p path that has sent @p bytes; -1 when the
/// connection is refused (a full queue among the reasons).
inline int idleClient(const QByteArray &path, const QByteArray &bytes = {})
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    [[maybe_unused]] ssize_t n = ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
    return fd;
}
