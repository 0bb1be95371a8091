#include "rawserver.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Waits up to a second for the client to send, or to close.
bool readable(int socket)
{
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, 1000) > 0;
}

} // namespace

RawServer::RawServer(const QHostAddress &address, quint16 port, Answer answer)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(address.toIPv4Address());
    const int on = 1;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0
        || ::bind(m_listener, reinterpret_cast<sockaddr *>(&where), sizeof(where)) != 0
        || ::listen(m_listener, 16) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_thread = std::thread([this, answer] { serve(answer); });
}

RawServer::~RawServer()
{
    if (m_listener < 0)
        return;
    // Wakes the serving thread's accept().
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
}

void RawServer::serve(Answer answer)
{
    static const char garbage[] = "\x00\x17\xff\xfe NOT HTTP AT ALL \x80\x81\r\n\r\n";
    char buffer[65536];
    for (;;) {
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0 && errno != EINTR && errno != ECONNABORTED)
            return;
        if (connection < 0)
            continue;
        if (readable(connection))
            ::recv(connection, buffer, sizeof(buffer), 0);
        if (answer == Answer::Garbage)
            ::send(connection, garbage, sizeof(garbage) - 1, MSG_NOSIGNAL);
        // What the client still sends is read until it closes, so that the
        // kernel sends no reset that could destroy the answer in flight.
        ::shutdown(connection, SHUT_WR);
        while (readable(connection) && ::recv(connection, buffer, sizeof(buffer), 0) > 0) {
        }
        ::close(connection);
        ++m_served;
    }
}
