#include "platformserverthread.h"

#include "platformserver.h"

PlatformServerThread::PlatformServerThread() = default;

PlatformServerThread::~PlatformServerThread() = default;

bool PlatformServerThread::start(const QHostAddress &address, quint16 port, QString *error,
                                 const QString &certificateFile, const QString &keyFile)
{
    auto server = std::make_unique<PlatformServer>(certificateFile, keyFile);
    if (m_server || !server->listen(address, port)) {
        if (error)
            *error = m_server ? QStringLiteral("The platform server is already running.") : server->errorString();
        return false;
    }
    m_server = std::move(server);
    return true;
}

PlatformServer *PlatformServerThread::server() const
{
    return m_server.get();
}
