#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>

#include <map>

class QFile;
class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server that plays the video management platform, so that
// the client can be tested, benchmarked and demonstrated without the real one.
// It works in the thread it belongs to. listen(), errorString() and
// serverError() must be called there; the rest may be called from any thread.
class PlatformServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // Raw request-target as sent, e.g. "/?user=a:pass=b".
        QByteArray path;   // Part of the target before '?'.
        QByteArray query;  // Part of the target after '?', still percent-encoded.
        QList<QPair<QByteArray, QByteArray>> headers; // In order, names as sent.
        QByteArray body;

        // Value of the first header with this name (case-insensitive), or a
        // null array when there is none.
        QByteArray header(const QByteArray &name) const;
    };

    struct Route
    {
        int status = 200; // 1xx, 204 and 304 go out without body or Content-Length.
        QByteArray contentType; // Empty means "text/html; charset=utf-8".
        QByteArray body;
        enum Behaviour {
            Normal,
            Hang,       // Read the request, never answer, keep the socket open.
            Garbage,    // Write bytes that are not HTTP, then close.
            CloseAtOnce // Close without answering.
        } behaviour = Normal;
    };

    // Requests whose head (request line and headers) or body exceed these are
    // refused with 431 or 413 and the connection is closed.
    static constexpr int MaxHeaderBytes = 64 * 1024;
    static constexpr qint64 MaxBodyBytes = 8 * 1024 * 1024;
    // How long "/slow" keeps the client waiting.
    static constexpr int SlowDelayMs = 3000;

    explicit PlatformServer(QObject *parent = nullptr);
    ~PlatformServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const;
    QAbstractSocket::SocketError serverError() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    // "http://ADDR:PORT", with ":PORT" left out when it is 80.
    QString baseUrl() const;

    QList<Request> requests() const;
    void clearRequests();

    // A route set here replaces the built-in page of the same path.
    void setRoute(const QByteArray &path, const Route &route);
    // The file served as "/video.mp4"; an empty path means 404.
    void setVideoFile(const QString &path);

signals:
    void requestReceived(const PlatformServer::Request &request);

private:
    struct Connection
    {
        enum State {
            Reading,   // Parsing requests from the buffer.
            Waiting,   // An answer is due later; later requests stay queued.
            Streaming, // A file body is being sent in pieces.
            Hanging,   // Never answering again.
            Closing,   // Final answer sent; draining input until the peer leaves.
            Closed
        } state = Reading;
        QByteArray buffer;
        bool closeAfterAnswer = false;
        bool writeShutDown = false;
        QFile *file = nullptr; // Owned by the socket.
        qint64 fileLeft = 0;
    };

    enum class ParseResult { Incomplete, Complete, Failed };

    struct Answer
    {
        int status = 200; // 1xx, 204 and 304 go out without body or Content-Length.
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> extraHeaders;
        QFile *file = nullptr; // Sent after the head instead of body, if set.
        qint64 fileOffset = 0;
        qint64 fileLength = 0;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void onBytesWritten(QTcpSocket *socket);
    void processBuffer(QTcpSocket *socket);
    ParseResult takeRequest(Connection &conn, Request &request, int &errorStatus);
    void handleRequest(QTcpSocket *socket, Connection &conn, const Request &request);
    Answer answerFor(const Request &request) const;
    Answer videoAnswer(const Request &request) const;
    void sendAnswer(QTcpSocket *socket, Connection &conn, const Request &request, Answer answer);
    void pumpFile(QTcpSocket *socket, Connection &conn);
    void finishAnswer(QTcpSocket *socket, Connection &conn);
    void sendErrorAndClose(QTcpSocket *socket, Connection &conn, int status);
    void startClosing(QTcpSocket *socket, Connection &conn);
    void shutdownIfDrained(QTcpSocket *socket, Connection &conn);
    Connection *connectionFor(QTcpSocket *socket);

    QTcpServer *m_server;
    std::map<QTcpSocket *, Connection> m_connections;

    mutable QMutex m_mutex; // Guards everything below.
    QList<Request> m_requests;
    QHash<QByteArray, Route> m_routes;
    QString m_videoFile;
    QHostAddress m_address;
    quint16 m_port = 0;
};

Q_DECLARE_METATYPE(PlatformServer::Request)
