#include "platformserverthread.h"

#include "platformserver.h"

PlatformServerThread::PlatformServerThread()
{
    m_thread.setObjectName(QStringLiteral("PlatformServer"));
}

PlatformServerThread::~PlatformServerThread()
{
    m_thread.quit();
    m_thread.wait();
}

bool PlatformServerThread::start(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server) {
        if (error)
            *error = QStringLiteral("The platform server is already running.");
        return false;
    }

    auto *server = new PlatformServer;
    server->moveToThread(&m_thread);
    // The thread deletes its server itself as it finishes; QThread runs
    // deferred deletions after its event loop has ended.
    QObject::connect(&m_thread, &QThread::finished, server, &QObject::deleteLater);
    m_thread.start();

    bool listening = false;
    QString message;
    QMetaObject::invokeMethod(
        server,
        [&] {
            listening = server->listen(address, port);
            if (!listening)
                message = server->errorString();
        },
        Qt::BlockingQueuedConnection);

    if (!listening) {
        m_thread.quit();
        m_thread.wait();
        if (error)
            *error = message;
        return false;
    }
    m_server = server;
    return true;
}

PlatformServer *PlatformServerThread::server() const
{
    return m_server;
}
