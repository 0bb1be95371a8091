#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
struct Request;
struct Response;
class Server;
} // namespace httplib

// An HTTP server that plays the video management platform, so that the client
// can be tested, benchmarked and demonstrated without the real one, on the
// cpp-httplib library. It answers on threads of its own, so it keeps answering
// while the thread that started it is blocked. Every member may be called from
// any thread; stop() and the destructor wait for the server's threads, so not
// on one of them (in a direct connection to requestReceived). Answers that are
// not HTTP at all are beyond it; tests get those from a raw server.
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
        QList<QPair<QByteArray, QByteArray>> headers; // Sorted by name; names as sent.
        QByteArray body;

        // Value of the first header with this name (case-insensitive), or a
        // null array when there is none.
        QByteArray header(const QByteArray &name) const;
    };

    struct Route
    {
        int status = 200;
        QByteArray contentType; // Empty means "text/html; charset=utf-8".
        QByteArray body;
        enum Behaviour {
            Normal,
            // Read the request and keep the connection open without an
            // answer until the server stops or HangLimitMs have passed, then
            // answer 503.
            Hang
        } behaviour = Normal;
        QList<QPair<QByteArray, QByteArray>> headers = {}; // Sent with the answer.
        // Lets the browser keep the answer for an hour; every other answer
        // says "Cache-Control: no-store", so that each view reaches the server.
        bool cacheable = false;
        // From 0 on, the answer announces the whole body but sends only this
        // many bytes of it and then drops the connection.
        qint64 cutAfter = -1;
        // When set, the answer is "302 Found" to this base followed by the
        // request's target, as a platform sends http on to https.
        QByteArray redirectTo = {};
        // From 0 on, the answer sends this many bytes of the body and the
        // rest only after releaseHeld(), so that a test can act while a
        // download runs. A server that stops drops the connection.
        qint64 holdAfter = -1;
    };

    // Bodies beyond this are refused with 413.
    static constexpr size_t MaxBodyBytes = 8 * 1024 * 1024;
    // How long "/slow" keeps the client waiting. Both it and a hanging
    // route answer 503 at once when the server stops.
    static constexpr int SlowDelayMs = 3000;
    static constexpr int HangLimitMs = 120000;
    // The record keeps this many of the latest requests, so that a server
    // that runs for days does not grow.
    static constexpr int MaxRecordedRequests = 10000;

    // Makes a self-signed certificate for the IP address |host| and its
    // private key, PEM files, with the openssl program; false when it could
    // not. Browsers refuse it as vouched for by nobody they trust.
    static bool makeCertificate(const QString &host, const QString &certificateFile, const QString &keyFile);

    explicit PlatformServer(QObject *parent = nullptr);
    // Serves https with the certificate and the private key of these PEM
    // files; listen() fails when they cannot be loaded.
    PlatformServer(const QString &certificateFile, const QString &keyFile, QObject *parent = nullptr);
    ~PlatformServer() override;

    // Listens and answers; false, with errorString() saying why, when it
    // cannot. After stop() it may listen again; listen(serverAddress(),
    // serverPort()) serves on the same address and port as before.
    bool listen(const QHostAddress &address, quint16 port);
    // Closes the listening socket, so that new connections are refused,
    // answers what "/slow" and hanging routes hold with 503, and returns when
    // every connection is closed: idle ones within a second.
    void stop();
    QString errorString() const;
    // The address and port of the last successful listen().
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    // "http://ADDR:PORT", with ":PORT" left out when it is 80; for https
    // "https://ADDR:PORT", without ":PORT" when it is 443.
    QString baseUrl() const;

    // Lets every answer held back so far (Route::holdAfter) go on.
    void releaseHeld();

    QList<Request> requests() const;
    void clearRequests();

    // A route set here replaces the built-in page of the same path.
    void setRoute(const QByteArray &path, const Route &route);
    // The progressive MP4 served as "/video.mp4" and the fragmented MP4 the
    // camera wall "/cameras" streams as "/stream.mp4", both with byte ranges;
    // an empty path means 404.
    void setVideoFile(const QString &path);
    void setStreamFile(const QString &path);

signals:
    // Emitted on the server's thread that received the request.
    void requestReceived(const PlatformServer::Request &request);

private:
    void answer(const httplib::Request &request, httplib::Response &response);
    // Waits |ms|, or less when the server stops; says whether it still serves.
    bool pause(int ms);
    // Waits until releaseHeld() has been called more than |released| times;
    // false when the server stops or HangLimitMs pass first.
    bool waitForRelease(quint64 released);

    std::unique_ptr<httplib::Server> http;
    const bool tls;
    std::thread listener; // Runs the library's accept loop while serving.
    // Standard mutexes rather than Qt's, whose waits ThreadSanitizer cannot
    // see through.
    std::mutex lifecycle; // Serializes listen() and stop().

    mutable std::mutex mutex; // Guards everything below.
    std::condition_variable wake; // Wakes pause() when the server stops.
    bool stopping = false;
    quint64 releases = 0;
    QList<Request> received;
    QHash<QByteArray, Route> routes;
    QHash<QByteArray, QString> files;
    QHostAddress boundAddress;
    quint16 boundPort = 0;
    QString lastError;
};

Q_DECLARE_METATYPE(PlatformServer::Request)
