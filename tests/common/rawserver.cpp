#include "rawserver.h"

#include <QTcpSocket>

void RawServer::fail()
{
    failing = true;
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->abort();
}

void RawServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(descriptor);
    if (failing) {
        socket->abort();
        return;
    }
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        socket->readAll();
        ++servedCount;
        if (answer == Answer::BrokenDownload) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Disposition: attachment; filename=\"broken.bin\"\r\n"
                          "Content-Length: 10000000\r\n\r\n");
            socket->write(QByteArray(100000, 'x'));
            return;
        }
        if (answer == Answer::Garbage)
            socket->write(QByteArray("\x00\x17\xff\xfe NOT HTTP AT ALL \x80\x81\r\n\r\n", 29));
        // Our side is closed once written; the rest of what the client sends
        // is read, so that no reset destroys the answer in flight.
        socket->disconnectFromHost();
    });
}
