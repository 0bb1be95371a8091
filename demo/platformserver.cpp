#include "platformserver.h"

#include "socketstream.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

const char HtmlType[] = "text/html; charset=utf-8";
// Every connection is answered on a thread of its own while it is open. A
// browser opens at most six to one server, so this leaves room for a client,
// its popup and a test's own requests without making any of them queue.
constexpr size_t WorkerThreads = 24;
constexpr qint64 FileChunkBytes = 64 * 1024;

// What the handler decided about the connection it runs on, for the loop
// that owns the connection.
struct Exchange
{
    SocketStream *stream;
    PlatformServer::Route::Behaviour behaviour = PlatformServer::Route::Normal;
    bool unsatisfiableRange = false;
};
thread_local Exchange *t_exchange = nullptr;

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

} // namespace

// The HTTP library's server, with the one thing it does not offer: each
// connection's socket stays within reach, so that a route can misbehave on
// it and stop() can close it.
class PlatformServer::Http : public httplib::Server
{
public:
    explicit Http(PlatformServer &owner)
        : m_owner(owner)
    {
        new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
        set_payload_max_length(MaxBodyBytes);
        const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
            m_owner.answer(request, response);
        };
        const std::string anyPath = "[\\s\\S]*";
        Get(anyPath, handler);
        Post(anyPath, handler);
        Put(anyPath, handler);
        Patch(anyPath, handler);
        Delete(anyPath, handler);
        Options(anyPath, handler);
    }

    bool isServing() const { return m_thread.joinable(); }

    // Answers connections to |listener|, which it then owns.
    void start(socket_t listener)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = false;
        }
        svr_sock_ = listener;
        m_thread = std::thread([this] { listen_after_bind(); });
    }

    // Closes the listener and every connection, wakes whatever waits, and
    // returns when none of the server's threads runs any more.
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
            for (const socket_t socket : m_open)
                SocketStream::shutdown(socket);
            for (const socket_t socket : m_parked)
                SocketStream::close(socket);
            m_parked.clear();
        }
        m_wake.notify_all();
        const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
        if (listener != INVALID_SOCKET)
            SocketStream::close(listener);
        if (m_thread.joinable())
            m_thread.join();
    }

    // Waits |ms|, or less when the server stops; says whether it still runs.
    bool pause(int ms)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
    }

private:
    bool process_and_close_socket(socket_t socket) override
    {
        SocketStream stream(socket);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return false;
            m_open.insert(socket);
        }
        Exchange exchange{&stream};
        t_exchange = &exchange;
        // As the library does: a connection that stays idle, or has served
        // its number of requests, is closed.
        bool more = true;
        for (size_t left = keep_alive_max_count_; more && left > 0 && exchange.behaviour == Route::Normal
             && stream.waitReadable(int(keep_alive_timeout_sec_ * 1000));
             --left) {
            bool closed = false;
            const auto prepare = [this](httplib::Request &request) { m_owner.prepare(request); };
            more = process_request(stream, left == 1, closed, prepare) && !closed;
        }
        t_exchange = nullptr;

        if (exchange.behaviour == Route::Garbage)
            stream.writeRaw(QByteArrayLiteral("\x00\x17\xff\xfe NOT HTTP AT ALL \x80\x81\r\n\r\n"));
        if (exchange.behaviour != Route::Hang)
            stream.finish();
        // Only a socket that stop() no longer knows may be closed, or it
        // could shut down another that got the same number.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open.erase(socket);
        if (exchange.behaviour == Route::Hang && !m_stopping)
            m_parked.push_back(stream.release());
        return true;
    }

    PlatformServer &m_owner;
    std::thread m_thread;
    std::mutex m_mutex; // Guards what follows.
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::set<socket_t> m_open;      // Connections being answered.
    std::vector<socket_t> m_parked; // Connections left hanging.
};

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
    , m_http(std::make_unique<Http>(*this))
{
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
    std::lock_guard<std::mutex> control(m_control);
    QString error = QStringLiteral("the server is listening already");
    quint16 boundPort = 0;
    const socket_t listener =
        m_http->isServing() ? INVALID_SOCKET : SocketStream::listen(address, port, &boundPort, &error);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = listener == INVALID_SOCKET ? error : QString();
        if (listener == INVALID_SOCKET)
            return false;
        m_address = address;
        m_port = boundPort;
    }
    m_http->start(listener);
    return true;
}

void PlatformServer::stop()
{
    // Stopping waits for the server's threads, so one of them cannot.
    Q_ASSERT(!t_exchange);
    std::lock_guard<std::mutex> control(m_control);
    m_http->stop();
}

QString PlatformServer::errorString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

QHostAddress PlatformServer::serverAddress() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_address;
}

quint16 PlatformServer::serverPort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_port;
}

QString PlatformServer::baseUrl() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QString host = m_address.toString();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    if (m_port == 80)
        return QStringLiteral("http://") + host;
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}

QList<PlatformServer::Request> PlatformServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void PlatformServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

void PlatformServer::setRoute(const QByteArray &path, const Route &route)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes.insert(path, route);
}

void PlatformServer::setVideoFile(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files.insert("/video.mp4", path);
}

void PlatformServer::setStreamFile(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files.insert("/stream.mp4", path);
}

// Runs before the answer is chosen, the only place where the library lets the
// request be changed. Its byte ranges are made fit for the library, which
// would otherwise announce ranges beyond the end of a file as they are and
// misstate the size in answers with several ranges.
void PlatformServer::prepare(httplib::Request &request) const
{
    t_exchange->unsatisfiableRange = false;
    if (request.ranges.empty())
        return;
    const QByteArray path = pathOf(bytes(request.target));
    qint64 size = -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_routes.contains(path) && !m_files.value(path).isEmpty())
            size = QFile(m_files.value(path)).size();
    }
    // Pages, and requests for several ranges, get the whole answer, as HTTP
    // allows.
    if (size < 0 || request.ranges.size() > 1) {
        request.ranges.clear();
        return;
    }
    auto &[first, last] = request.ranges.front();
    if (first >= 0 ? first >= size : last <= 0 || size == 0) {
        request.ranges.clear();
        t_exchange->unsatisfiableRange = true;
    } else if (first >= 0 && (last < 0 || last >= size)) {
        last = size - 1;
    }
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
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.append(request);
        if (m_requests.size() > MaxRecordedRequests)
            m_requests.removeFirst();
        const auto it = m_routes.constFind(request.path);
        custom = it != m_routes.constEnd();
        if (custom)
            route = *it;
        else
            file = m_files.value(request.path);
    }
    emit requestReceived(request);

    out.set_header("Cache-Control", route.cacheable ? "max-age=3600" : "no-store");
    if (custom) {
        for (const auto &[name, value] : route.headers)
            out.set_header(text(name), text(value));
        if (route.behaviour != Route::Normal) {
            t_exchange->behaviour = route.behaviour;
            t_exchange->stream->mute();
            return;
        }
        out.status = route.status;
        const std::string type = route.contentType.isEmpty() ? HtmlType : text(route.contentType);
        if (route.cutAfter >= 0) {
            const QByteArray body = route.body;
            const qint64 cut = qMin<qint64>(route.cutAfter, body.size());
            const auto provide = [body, cut](size_t offset, size_t, httplib::DataSink &sink) {
                return qint64(offset) < cut && sink.write(body.constData() + offset, size_t(cut) - offset);
            };
            out.set_content_provider(size_t(body.size()), type, provide);
        } else if (!route.body.isEmpty()) {
            out.set_content(text(route.body), type);
        }
        return;
    }

    auto video = std::make_shared<QFile>(file);
    if (!file.isEmpty() && video->open(QIODevice::ReadOnly)) {
        const qint64 size = video->size();
        out.set_header("Accept-Ranges", "bytes");
        if (t_exchange->unsatisfiableRange) {
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

    if (request.path == "/slow" && !m_http->pause(SlowDelayMs))
        return;
    int status = 200;
    const QByteArray page = builtInPage(request, &status);
    out.status = status;
    out.set_content(text(page), HtmlType);
}
