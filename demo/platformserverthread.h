#pragma once

#include <QHostAddress>
#include <QString>
#include <QThread>

class PlatformServer;

// Runs a PlatformServer on a thread of its own, so that it keeps answering
// while the thread that started it is blocked, as a test often is.
class PlatformServerThread
{
public:
    PlatformServerThread();
    // Stops the server and joins the thread.
    ~PlatformServerThread();

    PlatformServerThread(const PlatformServerThread &) = delete;
    PlatformServerThread &operator=(const PlatformServerThread &) = delete;

    // Blocks until the server listens or has failed to. On failure the thread
    // is stopped again and server() stays null.
    bool start(const QHostAddress &address, quint16 port, QString *error = nullptr);
    // The server lives on the worker thread: only its thread-safe members may
    // be called from elsewhere.
    PlatformServer *server() const;

private:
    QThread m_thread;
    PlatformServer *m_server = nullptr;
};
