#include "socketstream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// How long one read or write may wait for the peer before the connection is
// given up.
constexpr int IoTimeoutMs = 5000;
// How long finish() waits for the peer to close its side.
constexpr int LingerMs = 2000;

bool waitFor(socket_t socket, short events, int ms)
{
    pollfd entry{socket, events, 0};
    int ready;
    do
        ready = ::poll(&entry, 1, ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void addressOf(socket_t socket, bool peer, std::string &ip, int &port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    auto *raw = reinterpret_cast<sockaddr *>(&address);
    if ((peer ? ::getpeername(socket, raw, &length) : ::getsockname(socket, raw, &length)) != 0)
        return;
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    const int flags = NI_NUMERICHOST | NI_NUMERICSERV;
    if (::getnameinfo(raw, length, host, sizeof(host), service, sizeof(service), flags) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

QString explain(int error, const QHostAddress &address, quint16 port)
{
    QString why;
    switch (error) {
    case EACCES:
        why = QStringLiteral("ports below 1024 need root or the CAP_NET_BIND_SERVICE capability");
        break;
    case EADDRNOTAVAIL:
        why = QStringLiteral("no network interface of this machine has that address");
        break;
    case EADDRINUSE:
        why = QStringLiteral("another program already listens there");
        break;
    default:
        why = QString::fromLocal8Bit(std::strerror(error));
    }
    return QStringLiteral("cannot listen on address %1 port %2: %3").arg(address.toString()).arg(port).arg(why);
}

} // namespace

socket_t SocketStream::listen(const QHostAddress &address, quint16 port, quint16 *boundPort, QString *error)
{
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(address.toString().toLatin1(), QByteArray::number(port), &hints, &found) != 0) {
        *error = QStringLiteral("'%1' is not an IP address").arg(address.toString());
        return INVALID_SOCKET;
    }
    const socket_t socket = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    // A server started again at once must not wait for the old connections'
    // TIME_WAIT to pass.
    const bool listening = socket != INVALID_SOCKET
        && ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) == 0
        && ::bind(socket, found->ai_addr, found->ai_addrlen) == 0 && ::listen(socket, SOMAXCONN) == 0;
    const int failure = errno;
    ::freeaddrinfo(found);
    if (!listening) {
        *error = explain(failure, address, port);
        if (socket != INVALID_SOCKET)
            ::close(socket);
        return INVALID_SOCKET;
    }
    std::string ip;
    int bound = 0;
    addressOf(socket, false, ip, bound);
    *boundPort = quint16(bound);
    return socket;
}

void SocketStream::shutdown(socket_t socket)
{
    ::shutdown(socket, SHUT_RDWR);
}

void SocketStream::close(socket_t socket)
{
    shutdown(socket);
    ::close(socket);
}

SocketStream::SocketStream(socket_t socket)
    : m_socket(socket)
{
    // The library accepts without SOCK_CLOEXEC; a program that a test starts
    // meanwhile may still inherit it, which shutdown() makes harmless.
    ::fcntl(m_socket, F_SETFD, FD_CLOEXEC);
}

SocketStream::~SocketStream()
{
    if (m_socket != INVALID_SOCKET)
        close(m_socket);
}

bool SocketStream::waitReadable(int ms) const
{
    return waitFor(m_socket, POLLIN, ms);
}

void SocketStream::finish()
{
    ::shutdown(m_socket, SHUT_WR);
    char sink[4096];
    while (waitFor(m_socket, POLLIN, LingerMs) && ::recv(m_socket, sink, sizeof(sink), 0) > 0) {
    }
}

socket_t SocketStream::release()
{
    const socket_t socket = m_socket;
    m_socket = INVALID_SOCKET;
    return socket;
}

bool SocketStream::is_readable() const
{
    return waitFor(m_socket, POLLIN, IoTimeoutMs);
}

bool SocketStream::is_writable() const
{
    return waitFor(m_socket, POLLOUT, IoTimeoutMs);
}

ssize_t SocketStream::read(char *ptr, size_t size)
{
    if (!is_readable())
        return -1;
    ssize_t received;
    do
        received = ::recv(m_socket, ptr, size, 0);
    while (received < 0 && errno == EINTR);
    return received;
}

ssize_t SocketStream::write(const char *ptr, size_t size)
{
    return m_muted ? ssize_t(size) : send(ptr, size);
}

ssize_t SocketStream::send(const char *ptr, size_t size)
{
    // The library takes a short count for a failure, so all of it goes out.
    size_t sent = 0;
    while (sent < size) {
        if (!is_writable())
            return -1;
        const ssize_t n = ::send(m_socket, ptr + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return -1;
        sent += size_t(qMax<ssize_t>(n, 0));
    }
    return ssize_t(sent);
}

void SocketStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    addressOf(m_socket, true, ip, port);
}

void SocketStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    addressOf(m_socket, false, ip, port);
}
