#pragma once

#include <httplib.h>

#include <QByteArray>
#include <QHostAddress>
#include <QString>

// The few socket operations the HTTP library leaves to us: a listening socket
// whose failure we can explain, and one accepted connection that the library
// reads requests from and answers on, and that the platform server can also
// use outside HTTP (write garbage, keep it open, shut it down from another
// thread). The library's threads own a stream; shutdown() may be called from
// any thread.
class SocketStream final : public httplib::Stream
{
public:
    // Opens a listening socket (not inherited by child processes) and returns
    // it, with the port it got in |boundPort|; on failure returns
    // INVALID_SOCKET and explains why in |error|, in words a user can act on.
    static socket_t listen(const QHostAddress &address, quint16 port, quint16 *boundPort, QString *error);
    // Shuts down both directions of |socket|, which wakes every thread that
    // reads, writes or accepts on it; close() then also closes it.
    static void shutdown(socket_t socket);
    static void close(socket_t socket);

    // Takes over |socket|, which the destructor closes unless released.
    explicit SocketStream(socket_t socket);
    ~SocketStream() override;

    SocketStream(const SocketStream &) = delete;
    SocketStream &operator=(const SocketStream &) = delete;

    // Waits up to |ms| for a request to begin (or the peer to leave).
    bool waitReadable(int ms) const;
    // From now on the library's writes go nowhere, so that the connection can
    // be answered (or not) outside HTTP.
    void mute() { m_muted = true; }
    bool writeRaw(const QByteArray &bytes) { return send(bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    // Ends the connection politely before it is closed: our side is shut,
    // and what the peer still sends is read and dropped for a moment, so that
    // the kernel sends no reset that could destroy the last answer in flight.
    void finish();
    // Hands the socket over to the caller, who must close it.
    socket_t release();

    // httplib::Stream
    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_socket; }

private:
    ssize_t send(const char *ptr, size_t size);

    socket_t m_socket;
    bool m_muted = false;
};
