#include "platformserver.h"

#include <QFile>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>
#include <memory>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {

const QByteArray HtmlType = QByteArrayLiteral("text/html; charset=utf-8");

// File bodies go out in pieces so that a large video never sits in memory.
constexpr qint64 FileChunkBytes = 64 * 1024;
constexpr qint64 WriteBufferHighWater = 256 * 1024;
// After the final answer the peer gets this long to close its side.
constexpr int LingerMs = 5000;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 413: return "Content Too Large";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && (c == '\0' || !std::strchr("!#$%&'*+-.^_`|~", c)))
            return false;
    }
    return true;
}

bool hasControlBytes(const QByteArray &text)
{
    for (char c : text) {
        const uchar u = uchar(c);
        if ((u < 0x20 && u != '\t') || u == 0x7f)
            return true;
    }
    return false;
}

// Only the origin form is accepted; raw non-ASCII bytes are let through
// because browsers are not the only clients in tests.
bool isValidTarget(const QByteArray &target)
{
    if (!target.startsWith('/'))
        return false;
    for (char c : target) {
        const uchar u = uchar(c);
        if (u <= 0x20 || u == 0x7f)
            return false;
    }
    return true;
}

// Plain decimal with no sign, small enough to never overflow a qint64.
bool parseDigits(const QByteArray &text, qint64 *value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    *value = text.toLongLong();
    return true;
}

QString decodeComponent(const QByteArray &encoded)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
}

QByteArray queryItem(const QByteArray &query, const QByteArray &key)
{
    const QByteArray prefix = key + '=';
    const QList<QByteArray> items = query.split('&');
    for (const QByteArray &item : items) {
        if (item.startsWith(prefix))
            return item.mid(prefix.size());
    }
    return {};
}

// The start page is opened as "/?user=<U>:pass=<P>" with both values
// percent-encoded, so the first literal ":pass=" ends the user name. The
// password is deliberately never decoded: the platform must not echo it.
QString userFromQuery(const QByteArray &query)
{
    const int split = query.indexOf(":pass=");
    const QByteArray userPart = split < 0 ? query : query.left(split);
    if (!userPart.startsWith("user="))
        return {};
    return decodeComponent(userPart.mid(5));
}

QByteArray htmlPage(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                          "<title>%1</title>\n</head>\n<body>\n%2</body>\n</html>\n")
        .arg(title.toHtmlEscaped(), body)
        .toUtf8();
}

QByteArray errorPage(int status)
{
    const QString heading = QString::number(status) + QLatin1Char(' ') + QString::fromLatin1(reasonPhrase(status));
    return htmlPage(heading, QStringLiteral("<h1>%1</h1>\n").arg(heading.toHtmlEscaped()));
}

enum class RangeKind { Whole, Partial, Unsatisfiable };

// Handles a single "bytes=" range. Anything else, including several ranges,
// is ignored and answered with the whole file, which HTTP allows.
RangeKind parseRange(const QByteArray &header, qint64 size, qint64 *first, qint64 *last)
{
    const QByteArray value = header.trimmed();
    if (!value.startsWith("bytes="))
        return RangeKind::Whole;
    const QByteArray range = value.mid(6).trimmed();
    const int dash = range.indexOf('-');
    if (dash < 0 || range.contains(','))
        return RangeKind::Whole;
    const QByteArray from = range.left(dash).trimmed();
    const QByteArray to = range.mid(dash + 1).trimmed();

    if (from.isEmpty()) {
        qint64 suffix = 0;
        if (!parseDigits(to, &suffix))
            return RangeKind::Whole;
        if (suffix == 0 || size == 0)
            return RangeKind::Unsatisfiable;
        *first = qMax<qint64>(0, size - suffix);
        *last = size - 1;
        return RangeKind::Partial;
    }

    qint64 start = 0;
    qint64 end = size - 1;
    if (!parseDigits(from, &start) || (!to.isEmpty() && !parseDigits(to, &end)))
        return RangeKind::Whole;
    if (!to.isEmpty() && end < start)
        return RangeKind::Whole;
    if (start >= size)
        return RangeKind::Unsatisfiable;
    *first = start;
    *last = qMin(end, size - 1);
    return RangeKind::Partial;
}

} // namespace

QByteArray PlatformServer::Request::header(const QByteArray &name) const
{
    for (const auto &field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return {};
}

PlatformServer::PlatformServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    qRegisterMetaType<PlatformServer::Request>();
    connect(m_server, &QTcpServer::newConnection, this, &PlatformServer::onNewConnection);
}

PlatformServer::~PlatformServer()
{
    // The sockets are destroyed with m_server after this body has run; their
    // last signals must not reach handlers that use the connection table.
    for (auto &entry : m_connections)
        entry.first->disconnect(this);
}

bool PlatformServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->listen(address, port))
        return false;
    QMutexLocker lock(&m_mutex);
    m_address = m_server->serverAddress();
    m_port = m_server->serverPort();
    return true;
}

QString PlatformServer::errorString() const
{
    return m_server->errorString();
}

QAbstractSocket::SocketError PlatformServer::serverError() const
{
    return m_server->serverError();
}

QHostAddress PlatformServer::serverAddress() const
{
    QMutexLocker lock(&m_mutex);
    return m_address;
}

quint16 PlatformServer::serverPort() const
{
    QMutexLocker lock(&m_mutex);
    return m_port;
}

QString PlatformServer::baseUrl() const
{
    QMutexLocker lock(&m_mutex);
    QString host = m_address.toString();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    if (m_port == 80)
        return QStringLiteral("http://") + host;
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}

QList<PlatformServer::Request> PlatformServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void PlatformServer::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

void PlatformServer::setRoute(const QByteArray &path, const Route &route)
{
    QMutexLocker lock(&m_mutex);
    m_routes.insert(path, route);
}

void PlatformServer::setVideoFile(const QString &path)
{
    QMutexLocker lock(&m_mutex);
    m_videoFile = path;
}

PlatformServer::Connection *PlatformServer::connectionFor(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    return it == m_connections.end() ? nullptr : &it->second;
}

void PlatformServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections[socket] = Connection();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { onBytesWritten(socket); });
        // The table entry outlives the disconnect until the socket is really
        // gone, because handlers further up the stack may still hold it.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (Connection *conn = connectionFor(socket))
                conn->state = Connection::Closed;
            socket->deleteLater();
        });
        connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.erase(socket); });
    }
}

void PlatformServer::onReadyRead(QTcpSocket *socket)
{
    Connection *conn = connectionFor(socket);
    if (!conn)
        return;
    const QByteArray data = socket->readAll();
    switch (conn->state) {
    case Connection::Reading:
        conn->buffer += data;
        processBuffer(socket);
        break;
    case Connection::Waiting:
    case Connection::Streaming:
        // Pipelined requests wait their turn, but a client may not queue
        // more than one maximal request meanwhile.
        conn->buffer += data;
        if (conn->buffer.size() > MaxHeaderBytes + MaxBodyBytes)
            socket->abort();
        break;
    case Connection::Hanging:
    case Connection::Closing:
    case Connection::Closed:
        break;
    }
}

void PlatformServer::onBytesWritten(QTcpSocket *socket)
{
    Connection *conn = connectionFor(socket);
    if (!conn)
        return;
    if (conn->state == Connection::Streaming) {
        pumpFile(socket, *conn);
        if (conn->state == Connection::Reading)
            processBuffer(socket);
    } else if (conn->state == Connection::Closing) {
        shutdownIfDrained(socket, *conn);
    }
}

void PlatformServer::processBuffer(QTcpSocket *socket)
{
    Connection *conn = connectionFor(socket);
    while (conn && conn->state == Connection::Reading) {
        Request request;
        int errorStatus = 0;
        switch (takeRequest(*conn, request, errorStatus)) {
        case ParseResult::Incomplete:
            return;
        case ParseResult::Failed:
            sendErrorAndClose(socket, *conn, errorStatus);
            return;
        case ParseResult::Complete:
            handleRequest(socket, *conn, request);
            break;
        }
    }
}

PlatformServer::ParseResult PlatformServer::takeRequest(Connection &conn, Request &request, int &errorStatus)
{
    QByteArray &buffer = conn.buffer;
    errorStatus = 400;

    // Stray line breaks between requests are tolerated.
    int skip = 0;
    while (skip < buffer.size() && (buffer.at(skip) == '\r' || buffer.at(skip) == '\n'))
        ++skip;
    buffer.remove(0, skip);

    // Bytes that cannot start an HTTP request (a TLS hello, say) are refused
    // at once instead of waiting for a line end that may never come.
    const int firstBreak = buffer.indexOf('\n');
    QByteArray firstLine = firstBreak < 0 ? buffer : buffer.left(firstBreak);
    if (firstLine.endsWith('\r'))
        firstLine.chop(1);
    if (hasControlBytes(firstLine))
        return ParseResult::Failed;

    QList<QByteArray> lines;
    int bodyStart = -1;
    int lineStart = 0;
    while (lineStart <= MaxHeaderBytes) {
        const int lineEnd = buffer.indexOf('\n', lineStart);
        if (lineEnd < 0)
            break;
        QByteArray line = buffer.mid(lineStart, lineEnd - lineStart);
        if (line.endsWith('\r'))
            line.chop(1);
        lineStart = lineEnd + 1;
        if (line.isEmpty()) {
            bodyStart = lineStart;
            break;
        }
        lines.append(line);
    }
    if (bodyStart < 0 ? buffer.size() > MaxHeaderBytes : bodyStart > MaxHeaderBytes) {
        errorStatus = 431;
        return ParseResult::Failed;
    }
    if (bodyStart < 0)
        return ParseResult::Incomplete;

    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !isValidTarget(parts[1]))
        return ParseResult::Failed;
    const QByteArray &version = parts[2];
    const bool http11 = version == "HTTP/1.1";
    if (!http11 && version != "HTTP/1.0") {
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        const bool wellFormed = version.size() == 8 && version.startsWith("HTTP/") && version.at(6) == '.'
            && isDigit(version.at(5)) && isDigit(version.at(7));
        errorStatus = wellFormed ? 505 : 400;
        return ParseResult::Failed;
    }

    qint64 contentLength = 0;
    bool haveLength = false;
    bool closeRequested = false;
    bool keepAliveRequested = false;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        // Folded continuation lines are obsolete and a classic smuggling aid.
        if (line.startsWith(' ') || line.startsWith('\t') || hasControlBytes(line))
            return ParseResult::Failed;
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon);
        if (colon <= 0 || !isToken(name))
            return ParseResult::Failed;
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});

        const QByteArray lowerName = name.toLower();
        if (lowerName == "content-length") {
            qint64 length = 0;
            if (!parseDigits(value, &length) || (haveLength && length != contentLength))
                return ParseResult::Failed;
            contentLength = length;
            haveLength = true;
        } else if (lowerName == "transfer-encoding") {
            // Browsers never send request bodies in chunks to this platform.
            errorStatus = 501;
            return ParseResult::Failed;
        } else if (lowerName == "connection") {
            for (const QByteArray &option : value.split(',')) {
                const QByteArray token = option.trimmed().toLower();
                closeRequested = closeRequested || token == "close";
                keepAliveRequested = keepAliveRequested || token == "keep-alive";
            }
        }
    }
    if (contentLength > MaxBodyBytes) {
        errorStatus = 413;
        return ParseResult::Failed;
    }
    if (buffer.size() - bodyStart < contentLength)
        return ParseResult::Incomplete;

    request.method = parts[0];
    request.target = parts[1];
    const int question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
    request.body = buffer.mid(bodyStart, int(contentLength));
    buffer.remove(0, bodyStart + int(contentLength));
    conn.closeAfterAnswer = closeRequested || (!http11 && !keepAliveRequested);
    return ParseResult::Complete;
}

void PlatformServer::handleRequest(QTcpSocket *socket, Connection &conn, const Request &request)
{
    Route route;
    bool custom = false;
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(request);
        const auto it = m_routes.constFind(request.path);
        if (it != m_routes.constEnd()) {
            route = *it;
            custom = true;
        }
    }
    emit requestReceived(request);

    if (custom) {
        switch (route.behaviour) {
        case Route::Normal: {
            Answer answer;
            answer.status = route.status;
            answer.contentType = route.contentType.isEmpty() ? HtmlType : route.contentType;
            answer.body = route.body;
            sendAnswer(socket, conn, request, answer);
            return;
        }
        case Route::Hang:
            conn.state = Connection::Hanging;
            conn.buffer.clear();
            return;
        case Route::Garbage:
            socket->write(QByteArrayLiteral("\x00\x17\xff\xfe NOT HTTP AT ALL \x80\x81\r\n\r\n"));
            startClosing(socket, conn);
            return;
        case Route::CloseAtOnce:
            startClosing(socket, conn);
            return;
        }
    }

    if (request.path == "/slow") {
        conn.state = Connection::Waiting;
        QTimer::singleShot(SlowDelayMs, Qt::PreciseTimer, socket, [this, socket, request] {
            Connection *waiting = connectionFor(socket);
            if (!waiting || waiting->state != Connection::Waiting)
                return;
            Answer answer;
            answer.contentType = HtmlType;
            answer.body = htmlPage(QStringLiteral("Slow"), QStringLiteral("<h1>Slow</h1>\n"));
            sendAnswer(socket, *waiting, request, answer);
            if (waiting->state == Connection::Reading)
                processBuffer(socket);
        });
        return;
    }
    sendAnswer(socket, conn, request, answerFor(request));
}

PlatformServer::Answer PlatformServer::answerFor(const Request &request) const
{
    Answer answer;
    answer.contentType = HtmlType;
    if (request.path == "/") {
        const QString user = userFromQuery(request.query);
        answer.body = htmlPage(
            QStringLiteral("视频综合管理平台 - ") + user,
            QStringLiteral("<h1 id=\"greeting\">欢迎, %1</h1>\n"
                           "<p><button id=\"popup\" onclick=\"window.open('/popup','popup','width=400,height=300')\">"
                           "打开窗口</button></p>\n"
                           "<p><a id=\"page2\" href=\"/page2\">Page 2</a></p>\n"
                           "<video id=\"video\" controls autoplay muted loop playsinline src=\"/video.mp4\"></video>\n")
                .arg(user.toHtmlEscaped()));
    } else if (request.path == "/page2") {
        answer.body = htmlPage(QStringLiteral("Page 2"),
                               QStringLiteral("<h1>Page 2</h1>\n<p><a id=\"home\" href=\"/\">Home</a></p>\n"));
    } else if (request.path == "/popup") {
        answer.body = htmlPage(QStringLiteral("Popup"),
                               QStringLiteral("<h1>Popup</h1>\n"
                                              "<button id=\"close\" onclick=\"window.close()\">Close</button>\n"));
    } else if (request.path == "/title") {
        const QString title = decodeComponent(queryItem(request.query, "t"));
        answer.body = htmlPage(title, QStringLiteral("<h1>%1</h1>\n").arg(title.toHtmlEscaped()));
    } else if (request.path == "/video.mp4") {
        return videoAnswer(request);
    } else {
        answer.status = 404;
        answer.body = errorPage(404);
    }
    return answer;
}

PlatformServer::Answer PlatformServer::videoAnswer(const Request &request) const
{
    QString path;
    {
        QMutexLocker lock(&m_mutex);
        path = m_videoFile;
    }
    Answer answer;
    answer.contentType = HtmlType;
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly)) {
        answer.status = 404;
        answer.body = errorPage(404);
        return answer;
    }

    const qint64 size = file->size();
    qint64 first = 0;
    qint64 last = size - 1;
    answer.extraHeaders.append(qMakePair(QByteArray("Accept-Ranges"), QByteArray("bytes")));
    switch (parseRange(request.header("Range"), size, &first, &last)) {
    case RangeKind::Unsatisfiable:
        answer.status = 416;
        answer.body = errorPage(416);
        answer.extraHeaders.append(qMakePair(QByteArray("Content-Range"), "bytes */" + QByteArray::number(size)));
        return answer;
    case RangeKind::Partial:
        answer.status = 206;
        answer.extraHeaders.append(qMakePair(QByteArray("Content-Range"),
                                             "bytes " + QByteArray::number(first) + '-' + QByteArray::number(last)
                                                 + '/' + QByteArray::number(size)));
        break;
    case RangeKind::Whole:
        first = 0;
        last = size - 1;
        break;
    }
    answer.contentType = "video/mp4";
    answer.file = file.release();
    answer.fileOffset = first;
    answer.fileLength = last - first + 1;
    return answer;
}

void PlatformServer::sendAnswer(QTcpSocket *socket, Connection &conn, const Request &request, Answer answer)
{
    std::unique_ptr<QFile> file(answer.file);
    const int status = answer.status;
    const bool bodyAllowed = status >= 200 && status != 204 && status != 304;
    const bool sendBody = bodyAllowed && request.method != "HEAD";

    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (bodyAllowed) {
        if (!answer.contentType.isEmpty())
            head += "Content-Type: " + answer.contentType + "\r\n";
        const qint64 length = file ? answer.fileLength : answer.body.size();
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    for (const auto &field : qAsConst(answer.extraHeaders))
        head += field.first + ": " + field.second + "\r\n";
    // Tests rely on every page view reaching the server.
    head += "Cache-Control: no-store\r\n";
    head += conn.closeAfterAnswer ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";

    if (file && sendBody && answer.fileLength > 0) {
        socket->write(head);
        if (!file->seek(answer.fileOffset)) {
            socket->abort();
            return;
        }
        file->setParent(socket);
        conn.file = file.release();
        conn.fileLeft = answer.fileLength;
        conn.state = Connection::Streaming;
        pumpFile(socket, conn);
        return;
    }
    socket->write(sendBody ? head + answer.body : head);
    finishAnswer(socket, conn);
}

void PlatformServer::pumpFile(QTcpSocket *socket, Connection &conn)
{
    while (conn.fileLeft > 0 && socket->bytesToWrite() < WriteBufferHighWater) {
        const QByteArray chunk = conn.file->read(qMin(FileChunkBytes, conn.fileLeft));
        if (chunk.isEmpty()) {
            // The file shrank underneath us; the promised length cannot be kept.
            socket->abort();
            return;
        }
        conn.fileLeft -= chunk.size();
        socket->write(chunk);
    }
    if (conn.fileLeft == 0 && conn.state == Connection::Streaming) {
        delete conn.file;
        conn.file = nullptr;
        finishAnswer(socket, conn);
    }
}

void PlatformServer::finishAnswer(QTcpSocket *socket, Connection &conn)
{
    if (conn.state == Connection::Closed)
        return;
    if (conn.closeAfterAnswer)
        startClosing(socket, conn);
    else
        conn.state = Connection::Reading;
}

void PlatformServer::sendErrorAndClose(QTcpSocket *socket, Connection &conn, int status)
{
    Answer answer;
    answer.status = status;
    answer.contentType = HtmlType;
    answer.body = errorPage(status);
    conn.closeAfterAnswer = true;
    sendAnswer(socket, conn, Request(), answer);
}

void PlatformServer::startClosing(QTcpSocket *socket, Connection &conn)
{
    if (conn.state == Connection::Closed)
        return;
    // Closing outright while the client is still sending would make the
    // kernel reset the connection and could destroy our answer in flight.
    // So only our sending side is shut down, and the rest is drained.
    conn.state = Connection::Closing;
    conn.buffer.clear();
    shutdownIfDrained(socket, conn);
    QTimer::singleShot(LingerMs, socket, [socket] { socket->abort(); });
}

void PlatformServer::shutdownIfDrained(QTcpSocket *socket, Connection &conn)
{
    if (conn.writeShutDown || socket->bytesToWrite() > 0)
        return;
    conn.writeShutDown = true;
#ifdef Q_OS_WIN
    ::shutdown(SOCKET(socket->socketDescriptor()), SD_SEND);
#else
    ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
#endif
}
