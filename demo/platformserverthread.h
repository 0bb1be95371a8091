#pragma once

#include <QHostAddress>
#include <QString>

#include <memory>

class PlatformServer;

// Starts a PlatformServer and owns it: a server that listens, or none. The
// server answers on threads of its own, so it keeps answering while the
// thread that started it is blocked, as a test often is.
class PlatformServerThread
{
public:
    PlatformServerThread();
    // Stops the server.
    ~PlatformServerThread();

    PlatformServerThread(const PlatformServerThread &) = delete;
    PlatformServerThread &operator=(const PlatformServerThread &) = delete;

    // Returns when the server listens or has failed to; on failure server()
    // stays null. With a certificate and key (PEM files) it serves https.
    bool start(const QHostAddress &address, quint16 port, QString *error = nullptr,
               const QString &certificateFile = QString(), const QString &keyFile = QString());
    PlatformServer *server() const;

private:
    std::unique_ptr<PlatformServer> listening;
};
