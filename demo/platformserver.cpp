#include "platformserver.h"

#include "listeningsocket.h"

#include <httplib.h>

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>
#include <chrono>

namespace {

const char HtmlType[] = "text/html; charset=utf-8";
// Every connection is answered on a thread of its own while it is open. A
// browser opens at most six to one server, so this leaves room for a client,
// its popup, hanging routes and a test's own requests without making any of
// them queue.
constexpr size_t WorkerThreads = 24;
constexpr qint64 FileChunkBytes = 64 * 1024;
// Idle keep-alive connections end after this long, so that stop() need not
// wait longer for them.
constexpr time_t KeepAliveSeconds = 1;

// Set while one of the server's threads answers a request.
thread_local bool t_answering = false;

QByteArray bytes(const std::string &text)
{
    return QByteArray(text.data(), int(text.size()));
}

std::string text(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QByteArray pathOf(const QByteArray &target)
{
    const int question = target.indexOf('?');
    return question < 0 ? target : target.left(question);
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
    return QUrl::fromPercentEncoding(userPart.mid(5));
}

QByteArray htmlPage(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                          "<title>%1</title>\n</head>\n<body>\n%2</body>\n</html>\n")
        .arg(title.toHtmlEscaped(), body)
        .toUtf8();
}

QByteArray builtInPage(const PlatformServer::Request &request, int *status)
{
    if (request.path == "/") {
        const QString user = userFromQuery(request.query);
        return htmlPage(
            QStringLiteral("视频综合管理平台 - ") + user,
            QStringLiteral("<h1 id=\"greeting\">欢迎, %1</h1>\n"
                           "<p><button id=\"popup\" onclick=\"window.open('/popup','popup','width=400,height=300')\">"
                           "打开窗口</button></p>\n"
                           "<p><a id=\"page2\" href=\"/page2\">Page 2</a> <a id=\"cameras\" href=\"/cameras\">"
                           "Cameras</a></p>\n"
                           "<video id=\"video\" controls autoplay muted loop playsinline src=\"/video.mp4\"></video>\n")
                .arg(user.toHtmlEscaped()));
    }
    if (request.path == "/page2")
        return htmlPage(QStringLiteral("Page 2"),
                        QStringLiteral("<h1>Page 2</h1>\n<p><a id=\"home\" href=\"/\">Home</a></p>\n"));
    if (request.path == "/popup")
        return htmlPage(QStringLiteral("Popup"), QStringLiteral("<h1>Popup</h1>\n<button id=\"close\" "
                                                                "onclick=\"window.close()\">Close</button>\n"));
    if (request.path == "/title") {
        const QUrlQuery query(QString::fromLatin1(request.query));
        const QString title = query.queryItemValue(QStringLiteral("t"), QUrl::FullyDecoded);
        return htmlPage(title, QStringLiteral("<h1>%1</h1>\n").arg(title.toHtmlEscaped()));
    }
    if (request.path == "/cameras") {
        QFile page(QStringLiteral(":/pages/cameras.html"));
        return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
    }
    if (request.path == "/slow")
        return htmlPage(QStringLiteral("Slow"), QStringLiteral("<h1>Slow</h1>\n"));
    *status = 404;
    return htmlPage(QStringLiteral("404 Not Found"), QStringLiteral("<h1>404 Not Found</h1>\n"));
}

// Fits a GET's byte ranges to a file of |size| bytes for the library, which
// would announce a range reaching beyond the end as it is, answer one that
// starts at the end with an empty 206, and misstate the size in answers with
// several. Several ranges get the whole file, as HTTP allows. False when the
// range lies beyond the end.
bool fitRanges(httplib::Ranges &ranges, qint64 size)
{
    if (ranges.size() > 1)
        ranges.clear();
    if (ranges.empty())
        return true;
    auto &[first, last] = ranges.front(); // -1 where the request left it out
    if (first >= 0 ? first >= size : last <= 0 || size == 0) {
        ranges.clear();
        return false;
    }
    if (first >= 0 && (last < 0 || last >= size))
        last = size - 1;
    return true;
}

// The library does not say why it could not bind; one of Qt's sockets, tried
// on the same address and port, does.
QString bindError(const QHostAddress &address, quint16 port)
{
    QTcpServer probe;
    QString why;
    if (probe.listen(address, port)) {
        why = QStringLiteral("it was taken for a moment, try again");
    } else {
        switch (probe.serverError()) {
        case QAbstractSocket::SocketAccessError:
            why = QStringLiteral("ports below 1024 need root or the CAP_NET_BIND_SERVICE capability");
            break;
        case QAbstractSocket::SocketAddressNotAvailableError:
            why = QStringLiteral("no network interface of this machine has that address");
            break;
        case QAbstractSocket::AddressInUseError:
            why = QStringLiteral("another program already listens there");
            break;
        default:
            why = probe.errorString();
        }
    }
    return QStringLiteral("cannot listen on address %1 port %2: %3").arg(address.toString()).arg(port).arg(why);
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

bool PlatformServer::makeCertificate(const QString &host, const QString &certificateFile, const QString &keyFile)
{
    // An EC key is made in milliseconds, where RSA takes a noticeable while.
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "30",
                   "-subj", "/CN=" + host, "-addext", "subjectAltName=IP:" + host, "-keyout", keyFile, "-out",
                   certificateFile});
    return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

PlatformServer::PlatformServer(QObject *parent)
    : PlatformServer(QString(), QString(), parent)
{
}

PlatformServer::PlatformServer(const QString &certificateFile, const QString &keyFile, QObject *parent)
    : QObject(parent)
    , http(certificateFile.isEmpty()
               ? std::make_unique<httplib::Server>()
               : std::unique_ptr<httplib::Server>(std::make_unique<httplib::SSLServer>(
                   QFile::encodeName(certificateFile).constData(), QFile::encodeName(keyFile).constData())))
    , tls(!certificateFile.isEmpty())
{
    http->new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
    http->set_payload_max_length(MaxBodyBytes);
    http->set_keep_alive_timeout(KeepAliveSeconds);
    http->set_socket_options(listeningsocket::prepare);
    const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        t_answering = true;
        answer(request, response);
        t_answering = false;
    };
    const std::string anyPath = "[\\s\\S]*";
    http->Get(anyPath, handler);
    http->Post(anyPath, handler);
    http->Put(anyPath, handler);
    http->Patch(anyPath, handler);
    http->Delete(anyPath, handler);
    http->Options(anyPath, handler);

    // The pages live in this static library, which the linker would drop.
    Q_INIT_RESOURCE(pages);
    qRegisterMetaType<PlatformServer::Request>();
}

PlatformServer::~PlatformServer()
{
    stop();
}

bool PlatformServer::listen(const QHostAddress &address, quint16 port)
{
    std::lock_guard<std::mutex> control(lifecycle);
    QString error;
    int bound = -1;
    if (listener.joinable()) {
        error = QStringLiteral("the server is listening already");
    } else if (!http->is_valid()) {
        error = QStringLiteral("cannot load the certificate or its private key");
    } else if (address.isNull()) {
        error = QStringLiteral("'%1' is not an IP address").arg(address.toString());
    } else {
        const std::string host = address.toString().toStdString();
        bound = port ? (http->bind_to_port(host, port) ? port : -1) : http->bind_to_any_port(host);
        if (bound < 0)
            error = bindError(address, port);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        lastError = error;
        if (bound < 0)
            return false;
        boundAddress = address;
        boundPort = quint16(bound);
        stopping = false;
    }
    // The library's stop() ends only a server that runs already.
    const auto ended = std::make_shared<std::atomic<bool>>(false);
    listener = std::thread([this, ended] {
        http->listen_after_bind();
        *ended = true;
    });
    while (!http->is_running() && !*ended)
        std::this_thread::yield();
    return true;
}

void PlatformServer::stop()
{
    // Stopping waits for the server's threads, so one of them cannot.
    Q_ASSERT(!t_answering);
    std::lock_guard<std::mutex> control(lifecycle);
    if (!listener.joinable())
        return;
    http->stop();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    listener.join();
}

bool PlatformServer::pause(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}

void PlatformServer::releaseHeld()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++releases;
    }
    wake.notify_all();
}

bool PlatformServer::waitForRelease(quint64 released)
{
    std::unique_lock<std::mutex> lock(mutex);
    return wake.wait_for(lock, std::chrono::milliseconds(HangLimitMs), [&] { return stopping || releases > released; })
        && !stopping;
}

QString PlatformServer::errorString() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lastError;
}

QHostAddress PlatformServer::serverAddress() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return boundAddress;
}

quint16 PlatformServer::serverPort() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return boundPort;
}

QString PlatformServer::baseUrl() const
{
    std::lock_guard<std::mutex> lock(mutex);
    QString host = boundAddress.toString();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const QString scheme = tls ? QStringLiteral("https://") : QStringLiteral("http://");
    if (boundPort == (tls ? 443 : 80))
        return scheme + host;
    return scheme + QStringLiteral("%1:%2").arg(host).arg(boundPort);
}

QList<PlatformServer::Request> PlatformServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void PlatformServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    received.clear();
}

void PlatformServer::setRoute(const QByteArray &path, const Route &route)
{
    std::lock_guard<std::mutex> lock(mutex);
    routes.insert(path, route);
}

void PlatformServer::setVideoFile(const QString &path)
{
    std::lock_guard<std::mutex> lock(mutex);
    files.insert("/video.mp4", path);
}

void PlatformServer::setStreamFile(const QString &path)
{
    std::lock_guard<std::mutex> lock(mutex);
    files.insert("/stream.mp4", path);
}

void PlatformServer::answer(const httplib::Request &in, httplib::Response &out)
{
    Request request;
    request.method = bytes(in.method);
    request.target = bytes(in.target);
    request.path = pathOf(request.target);
    request.query = request.target.mid(request.path.size() + 1);
    for (const auto &[name, value] : in.headers) {
        // The library adds the connection's addresses to the headers.
        if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT")
            request.headers.append({bytes(name), bytes(value)});
    }
    request.body = bytes(in.body);

    Route route;
    bool custom = false;
    QString file;
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.append(request);
        if (received.size() > MaxRecordedRequests)
            received.removeFirst();
        const auto it = routes.constFind(request.path);
        custom = it != routes.constEnd();
        if (custom)
            route = *it;
        else
            file = files.value(request.path);
    }
    emit requestReceived(request);

    out.set_header("Cache-Control", route.cacheable ? "max-age=3600" : "no-store");
    // The library cuts the answer to these ranges once this returns. The
    // request is its own object, handed over as const; only the ranges change.
    httplib::Ranges &ranges = const_cast<httplib::Request &>(in).ranges;
    auto video = std::make_shared<QFile>(file);
    if (!file.isEmpty() && video->open(QIODevice::ReadOnly)) {
        const qint64 size = video->size();
        out.set_header("Accept-Ranges", "bytes");
        if (!fitRanges(ranges, size)) {
            out.status = 416;
            out.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        // The library asks for the ranges the client wants, piece by piece.
        const auto provide = [video](size_t offset, size_t length, httplib::DataSink &sink) {
            const QByteArray chunk =
                video->seek(qint64(offset)) ? video->read(qMin(qint64(length), FileChunkBytes)) : QByteArray();
            return !chunk.isEmpty() && sink.write(chunk.constData(), size_t(chunk.size()));
        };
        out.set_content_provider(size_t(size), "video/mp4", provide);
        return;
    }
    // Pages are answered whole, as HTTP allows.
    ranges.clear();

    if (custom) {
        for (const auto &[name, value] : route.headers)
            out.set_header(text(name), text(value));
        if (!route.redirectTo.isEmpty()) {
            out.set_redirect(text(route.redirectTo + request.target));
            return;
        }
        if (route.behaviour == Route::Hang) {
            pause(HangLimitMs);
            out.status = 503;
            return;
        }
        out.status = route.status;
        const std::string type = route.contentType.isEmpty() ? HtmlType : text(route.contentType);
        if (route.cutAfter >= 0) {
            const QByteArray body = route.body;
            const qint64 cut = qMin<qint64>(route.cutAfter, body.size());
            // Returning false after the cut makes the library drop the connection.
            const auto provide = [body, cut](size_t offset, size_t, httplib::DataSink &sink) {
                return qint64(offset) < cut && sink.write(body.constData() + offset, size_t(cut) - offset);
            };
            out.set_content_provider(size_t(body.size()), type, provide);
        } else if (route.holdAfter >= 0) {
            const QByteArray body = route.body;
            const qint64 hold = qMin<qint64>(route.holdAfter, body.size());
            quint64 released;
            {
                std::lock_guard<std::mutex> lock(mutex);
                released = releases;
            }
            const auto provide = [this, body, hold, released](size_t offset, size_t, httplib::DataSink &sink) {
                if (qint64(offset) == hold && !waitForRelease(released))
                    return false;
                const qint64 end = qint64(offset) < hold ? hold : body.size();
                return sink.write(body.constData() + offset, size_t(end - qint64(offset)));
            };
            out.set_content_provider(size_t(body.size()), type, provide);
        } else if (!route.body.isEmpty()) {
            out.set_content(text(route.body), type);
        }
        return;
    }

    if (request.path == "/slow" && !pause(SlowDelayMs)) {
        out.status = 503;
        return;
    }
    int status = 200;
    const QByteArray page = builtInPage(request, &status);
    out.status = status;
    out.set_content(text(page), HtmlType);
}
