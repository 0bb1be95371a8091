#include "platformserverthread.h"

#include "platformserver.h"

PlatformServerThread::PlatformServerThread() = default;

PlatformServerThread::~PlatformServerThread() = default;

bool PlatformServerThread::start(const QHostAddress &address, quint16 port, QString *error,
                                 const QString &certificateFile, const QString &keyFile)
{
    auto server = std::make_unique<PlatformServer>(certificateFile, keyFile);
    if (listening || !server->listen(address, port)) {
        if (error)
            *error = listening ? QStringLiteral("The platform server is already running.") : server->errorString();
        return false;
    }
    listening = std::move(server);
    return true;
}

PlatformServer *PlatformServerThread::server() const
{
    return listening.get();
}
