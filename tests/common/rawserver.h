#ifndef RAWSERVER_H
#define RAWSERVER_H

#include <QHostAddress>

#include <atomic>
#include <thread>

// A server of plain sockets for what no HTTP server can be made to do: it
// reads what a client sends, answers with bytes that are not HTTP or with
// nothing, and closes the connection, one connection at a time on a thread of
// its own. Its members are called on the thread that made it.
class RawServer
{
public:
    enum class Answer { Garbage, Nothing };

    // Listens on an IPv4 address; listening() says whether it could.
    RawServer(const QHostAddress &address, quint16 port, Answer answer);
    ~RawServer();

    bool listening() const { return m_listener >= 0; }
    // How many connections it has closed so far.
    int served() const { return m_served; }

private:
    void serve(Answer answer);

    int m_listener = -1;
    std::atomic<int> m_served{0};
    std::thread m_thread;
};

#endif // RAWSERVER_H
