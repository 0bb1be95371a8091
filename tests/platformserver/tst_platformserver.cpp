#include "platformserver.h"
#include "platformserverthread.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

namespace {

struct Response
{
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // Names in lower case.
    QByteArray body;
};

// Takes one complete response off the front of buffer. The server frames
// every body with Content-Length, so nothing else is needed here.
bool takeResponse(QByteArray &buffer, Response *response)
{
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    Response parsed;
    parsed.status = lines.first().split(' ').value(1).toInt();
    for (const QByteArray &line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        parsed.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    const int length = parsed.headers.value("content-length").toInt();
    if (buffer.size() < headEnd + 4 + length)
        return false;
    parsed.body = buffer.mid(headEnd + 4, length);
    buffer.remove(0, headEnd + 4 + length);
    *response = parsed;
    return true;
}

QList<Response> readResponses(QTcpSocket &socket, int count)
{
    QList<Response> responses;
    QByteArray buffer;
    Response response;
    do {
        buffer += socket.readAll();
        while (responses.size() < count && takeResponse(buffer, &response))
            responses.append(response);
    } while (responses.size() < count && socket.waitForReadyRead(5000));
    return responses;
}

// Everything the server sends until it closes; callers check that it did.
QByteArray readUntilClosed(QTcpSocket &socket)
{
    QByteArray data = socket.readAll();
    while (socket.waitForReadyRead(5000))
        data += socket.readAll();
    return data + socket.readAll();
}

bool send(QTcpSocket &socket, const QByteArray &data)
{
    socket.write(data);
    return socket.waitForBytesWritten(5000);
}

QString titleOf(const QByteArray &page)
{
    const auto match = QRegularExpression(QStringLiteral("<title>(.*)</title>")).match(QString::fromUtf8(page));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("<no title>");
}

} // namespace

class TestPlatformServer : public QObject
{
    Q_OBJECT

    PlatformServer *server() const { return m_thread->server(); }

    bool connectClient(QTcpSocket &socket) const
    {
        socket.connectToHost(QHostAddress::LocalHost, server()->serverPort());
        return socket.waitForConnected(5000);
    }

    Response get(const QByteArray &target, const QByteArray &extraHeaders = {})
    {
        QTcpSocket socket;
        Response response;
        const QByteArray request = "GET " + target + " HTTP/1.1\r\n" + extraHeaders + "Connection: close\r\n\r\n";
        if (connectClient(socket) && send(socket, request)) {
            QByteArray data = readUntilClosed(socket);
            takeResponse(data, &response);
        }
        return response;
    }

    void serveVideo(QTemporaryFile &file, const QByteArray &content)
    {
        QVERIFY(file.open());
        QCOMPARE(file.write(content), qint64(content.size()));
        QVERIFY(file.flush());
        server()->setVideoFile(file.fileName());
    }

    std::unique_ptr<PlatformServerThread> m_thread;

private slots:
    void init()
    {
        m_thread = std::make_unique<PlatformServerThread>();
        QString error;
        QVERIFY2(m_thread->start(QHostAddress::LocalHost, 0, &error), qPrintable(error));
    }

    void cleanup() { m_thread.reset(); }

    void startPage_data();
    void startPage();
    void requestLog();
    void keepAlive_data();
    void keepAlive();
    void requestSplitOverWrites();
    void videoRanges_data();
    void videoRanges();
    void videoStreamedWhilePipelined();
    void routeBehaviours_data();
    void routeBehaviours();
    void malformedRequests_data();
    void malformedRequests();
    void slowAnswerKeepsOrderAndBlocksNoOne();
    void bindFailure();
};

void TestPlatformServer::startPage_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("escapedUser");
    QTest::addColumn<QString>("password");

    QTest::newRow("plain") << QByteArray("user=alice:pass=secret1") << "alice" << "secret1";
    QTest::newRow("Chinese") << QByteArray("user=%E5%BC%A0%E4%B8%89:pass=%E5%AF%86%E7%A0%81X") << "张三" << "密码X";
    QTest::newRow("encoded & # ? + %, spaces, literal +")
        << QByteArray("user=a+b%26c%20%23%3F%2B%25:pass=p%26%23%3F%2B%25%20w") << "a+b&amp;c #?+%" << "p&#?+% w";
    QTest::newRow("markup in the name") << QByteArray("user=%3Cscript%3Ealert(1)%3C%2Fscript%3E%22:pass=pw1234")
                                        << "&lt;script&gt;alert(1)&lt;/script&gt;&quot;" << "pw1234";
    QTest::newRow("encoded separator in the name, literal one in the password")
        << QByteArray("user=a%3Apass%3Db:pass=c:pass=dd") << "a:pass=b" << "c:pass=dd";
    QTest::newRow("no query") << QByteArray() << "" << "";
}

void TestPlatformServer::startPage()
{
    QFETCH(QByteArray, query);
    QFETCH(QString, escapedUser);
    QFETCH(QString, password);

    const Response response = get(query.isNull() ? QByteArray("/") : "/?" + query);
    QCOMPARE(response.status, 200);
    const QString page = QString::fromUtf8(response.body);
    QCOMPARE(titleOf(response.body), QStringLiteral("视频综合管理平台 - ") + escapedUser);
    QVERIFY2(page.contains(QStringLiteral("欢迎, ") + escapedUser + QStringLiteral("</h1>")), qPrintable(page));
    QVERIFY(page.contains(
        QStringLiteral("id=\"popup\" onclick=\"window.open('/popup','popup','width=400,height=300')\"")));
    QVERIFY(page.contains(QStringLiteral("<video id=\"video\" controls src=\"/video.mp4\">")));
    if (!password.isEmpty())
        QVERIFY(!page.contains(password) && !page.contains(password.toHtmlEscaped()));
}

void TestPlatformServer::requestLog()
{
    QList<PlatformServer::Request> received;
    connect(server(), &PlatformServer::requestReceived, this,
            [&received](const PlatformServer::Request &request) { received.append(request); });

    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    QVERIFY(send(socket, "POST /form?x=1%202&y HTTP/1.1\r\nHost: test\r\nX-Custom:  a b \r\n"
                         "x-custom: second\r\nContent-Length: 5\r\n\r\nhello"));
    QCOMPARE(readResponses(socket, 1).value(0).status, 404);

    const QList<PlatformServer::Request> log = server()->requests();
    QCOMPARE(log.size(), 1);
    const PlatformServer::Request &request = log.first();
    QCOMPARE(request.method + ' ' + request.target, QByteArray("POST /form?x=1%202&y"));
    QCOMPARE(request.path + ' ' + request.query, QByteArray("/form x=1%202&y"));
    const QList<QPair<QByteArray, QByteArray>> headers{
        {"Host", "test"}, {"X-Custom", "a b"}, {"x-custom", "second"}, {"Content-Length", "5"}};
    QCOMPARE(request.headers, headers);
    QCOMPARE(request.header("X-CUSTOM"), QByteArray("a b"));
    QCOMPARE(request.body, QByteArray("hello"));

    // The signal crosses from the server's thread into this one.
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().target, request.target);
}

void TestPlatformServer::keepAlive_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("HTTP/1.1 default") << QByteArray("GET /page2 HTTP/1.1\r\n\r\n") << true;
    QTest::newRow("close among options") << QByteArray("GET /page2 HTTP/1.1\r\nConnection: TE, Close\r\n\r\n") << false;
    QTest::newRow("HTTP/1.0 default") << QByteArray("GET /page2 HTTP/1.0\r\n\r\n") << false;
    QTest::newRow("HTTP/1.0 keep-alive") << QByteArray("GET /page2 HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << true;
    QTest::newRow("bare line feeds") << QByteArray("GET /page2 HTTP/1.1\n\n") << true;
}

void TestPlatformServer::keepAlive()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, staysOpen);

    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    // The second request checks that both were read, and the title decoding.
    QVERIFY(send(socket, request + "GET /title?t=%3Ci%3E+%E4%BD%A0 HTTP/1.1\r\n\r\n"));
    const QList<Response> responses = readResponses(socket, 2);
    QCOMPARE(responses.size(), staysOpen ? 2 : 1);
    QCOMPARE(responses[0].headers.value("connection"), QByteArray(staysOpen ? "keep-alive" : "close"));
    if (staysOpen)
        QCOMPARE(titleOf(responses[1].body), QStringLiteral("&lt;i&gt;+你"));
    else
        QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
}

void TestPlatformServer::requestSplitOverWrites()
{
    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    for (const char *piece :
         {"POST /title?t=spl", "it HTTP/1.1\r\nHo", "st: test\r\nContent-Length: 6\r", "\n\r\nabc"}) {
        QVERIFY(send(socket, piece));
        QVERIFY2(!socket.waitForReadyRead(100), "answered an incomplete request");
    }
    QVERIFY(send(socket, "defGET /pa"));
    QCOMPARE(titleOf(readResponses(socket, 1).value(0).body), QStringLiteral("split"));
    QVERIFY(send(socket, "ge2 HTTP/1.1\r\n\r\n"));
    QCOMPARE(titleOf(readResponses(socket, 1).value(0).body), QStringLiteral("Page 2"));

    const QList<PlatformServer::Request> log = server()->requests();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[0].body, QByteArray("abcdef"));
    QCOMPARE(log[1].target, QByteArray("/page2"));
}

void TestPlatformServer::videoRanges_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("length");

    QTest::newRow("no range") << QByteArray() << 200 << QByteArray() << 0 << 100;
    QTest::newRow("closed") << QByteArray("bytes=10-19") << 206 << QByteArray("bytes 10-19/100") << 10 << 10;
    QTest::newRow("open end") << QByteArray("bytes=90-") << 206 << QByteArray("bytes 90-99/100") << 90 << 10;
    QTest::newRow("suffix") << QByteArray("bytes=-5") << 206 << QByteArray("bytes 95-99/100") << 95 << 5;
    QTest::newRow("suffix beyond start") << QByteArray("bytes=-500") << 206 << QByteArray("bytes 0-99/100") << 0 << 100;
    QTest::newRow("end beyond size") << QByteArray("bytes=95-1000") << 206 << QByteArray("bytes 95-99/100") << 95 << 5;
    QTest::newRow("start at size") << QByteArray("bytes=100-") << 416 << QByteArray("bytes */100") << 0 << 0;
    QTest::newRow("empty suffix") << QByteArray("bytes=-0") << 416 << QByteArray("bytes */100") << 0 << 0;
    QTest::newRow("several ranges") << QByteArray("bytes=0-1,5-6") << 200 << QByteArray() << 0 << 100;
    QTest::newRow("reversed") << QByteArray("bytes=5-1") << 200 << QByteArray() << 0 << 100;
}

void TestPlatformServer::videoRanges()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(QByteArray, contentRange);
    QFETCH(int, first);
    QFETCH(int, length);

    QByteArray content;
    for (int i = 0; i < 100; ++i)
        content.append(char(i));
    QTemporaryFile video;
    serveVideo(video, content);

    const Response response = get("/video.mp4", range.isNull() ? QByteArray() : "Range: " + range + "\r\n");
    QCOMPARE(response.status, status);
    QCOMPARE(response.headers.value("content-range"), contentRange);
    if (status != 416) {
        QCOMPARE(response.headers.value("content-type"), QByteArray("video/mp4"));
        QCOMPARE(response.headers.value("accept-ranges"), QByteArray("bytes"));
        QCOMPARE(response.body, content.mid(first, length));
    }
}

void TestPlatformServer::videoStreamedWhilePipelined()
{
    // Large enough to go out in many pieces, with requests queued behind it.
    QByteArray content(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i)
        content[i] = char((i * 7) ^ (i >> 12));
    QCOMPARE(get("/video.mp4").status, 404);
    QTemporaryFile video;
    serveVideo(video, content);

    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    QVERIFY(send(socket, "GET /video.mp4 HTTP/1.1\r\n\r\nHEAD /video.mp4 HTTP/1.1\r\n\r\n"
                         "GET /page2 HTTP/1.1\r\nConnection: close\r\n\r\n"));
    QByteArray data = readUntilClosed(socket);
    Response response;
    QVERIFY(takeResponse(data, &response));
    QVERIFY(response.body == content);
    // HEAD announces the length but sends no body, so the next answer follows at once.
    QVERIFY(data.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(data.contains("\r\nContent-Length: " + QByteArray::number(content.size()) + "\r\n"));
    data.remove(0, data.indexOf("\r\n\r\n") + 4);
    QVERIFY(takeResponse(data, &response));
    QCOMPARE(titleOf(response.body), QStringLiteral("Page 2"));
}

void TestPlatformServer::routeBehaviours_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("normal, replacing a built-in page") << int(PlatformServer::Route::Normal) << QByteArray("/");
    QTest::newRow("hang") << int(PlatformServer::Route::Hang) << QByteArray("/hang");
    QTest::newRow("garbage") << int(PlatformServer::Route::Garbage) << QByteArray("/garbage");
    QTest::newRow("close at once") << int(PlatformServer::Route::CloseAtOnce) << QByteArray("/close");
}

void TestPlatformServer::routeBehaviours()
{
    QFETCH(int, behaviour);
    QFETCH(QByteArray, path);

    const PlatformServer::Route route{503, "text/plain", "down", PlatformServer::Route::Behaviour(behaviour)};
    server()->setRoute(path, route);

    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    QVERIFY(send(socket, "GET " + path + "?user=u:pass=p HTTP/1.1\r\n\r\n"));
    if (route.behaviour == PlatformServer::Route::Normal) {
        const Response response = readResponses(socket, 1).value(0);
        QCOMPARE(response.status, 503);
        QCOMPARE(response.headers.value("content-type"), QByteArray("text/plain"));
        QCOMPARE(response.body, QByteArray("down"));
    } else if (route.behaviour == PlatformServer::Route::Hang) {
        QTRY_COMPARE(server()->requests().size(), 1);
        QVERIFY(!socket.waitForReadyRead(300));
        QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    } else {
        const QByteArray data = readUntilClosed(socket);
        QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        if (route.behaviour == PlatformServer::Route::Garbage)
            QVERIFY(!data.isEmpty() && !data.startsWith("HTTP/"));
        else
            QVERIFY(data.isEmpty());
    }
    QCOMPARE(server()->requests().value(0).path, path);
}

void TestPlatformServer::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    const QByteArray longValue(PlatformServer::MaxHeaderBytes + 100, 'a');
    QTest::newRow("garbage line") << QByteArray("HELLO THERE\r\n\r\n") << 400;
    QTest::newRow("binary without line end") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc", 9) << 400;
    QTest::newRow("unsupported version") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505;
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nX-A: a\r\n b\r\n\r\n") << 400;
    QTest::newRow("conflicting lengths")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab") << 400;
    QTest::newRow("chunked body")
        << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 501;
    QTest::newRow("oversize headers") << "GET / HTTP/1.1\r\nX-Long: " + longValue + "\r\n\r\n" << 431;
    // The client is still sending when the answer comes; it must arrive anyway.
    QTest::newRow("oversize headers, unfinished") << "GET / HTTP/1.1\r\nX-Long: " + longValue.repeated(16) << 431;
    QTest::newRow("oversize body")
        << "POST / HTTP/1.1\r\nContent-Length: " + QByteArray::number(PlatformServer::MaxBodyBytes + 1) + "\r\n\r\n"
        << 413;
}

void TestPlatformServer::malformedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);

    QTcpSocket socket;
    QVERIFY(connectClient(socket));
    socket.write(request);
    QByteArray data = readUntilClosed(socket);
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    Response response;
    QVERIFY2(takeResponse(data, &response), data.constData());
    QCOMPARE(response.status, status);
    QCOMPARE(response.headers.value("connection"), QByteArray("close"));
    QVERIFY(server()->requests().isEmpty());
}

void TestPlatformServer::slowAnswerKeepsOrderAndBlocksNoOne()
{
    // Clients that leave mid-request, or while their answer is pending, must
    // not disturb anyone else.
    QTcpSocket leavesWaiting;
    QTcpSocket leavesMidRequest;
    QVERIFY(connectClient(leavesWaiting) && connectClient(leavesMidRequest));
    QVERIFY(send(leavesWaiting, "GET /slow HTTP/1.1\r\n\r\n") && send(leavesMidRequest, "GET /page2 HTT"));
    QTRY_COMPARE(server()->requests().size(), 1);
    leavesWaiting.abort();
    leavesMidRequest.abort();

    QElapsedTimer clock;
    clock.start();
    QTcpSocket pipelined;
    QVERIFY(connectClient(pipelined));
    QVERIFY(send(pipelined, "GET /slow HTTP/1.1\r\n\r\nGET /page2 HTTP/1.1\r\n\r\n"));
    QCOMPARE(get("/popup").status, 200);
    QVERIFY(clock.elapsed() < PlatformServer::SlowDelayMs);
    QCOMPARE(pipelined.bytesAvailable(), 0);

    const QList<Response> responses = readResponses(pipelined, 2);
    QVERIFY(clock.elapsed() >= PlatformServer::SlowDelayMs);
    QCOMPARE(responses.size(), 2);
    QCOMPARE(titleOf(responses[0].body), QStringLiteral("Slow"));
    QCOMPARE(titleOf(responses[1].body), QStringLiteral("Page 2"));
    QCOMPARE(get("/page2").status, 200);
}

void TestPlatformServer::bindFailure()
{
    const quint16 port = server()->serverPort();
    QCOMPARE(server()->baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(port));

    PlatformServer sameThread;
    QVERIFY(!sameThread.listen(QHostAddress::LocalHost, port));
    QCOMPARE(sameThread.serverError(), QAbstractSocket::AddressInUseError);
    QVERIFY(!sameThread.errorString().isEmpty());

    PlatformServerThread otherThread;
    QString error;
    QVERIFY(!otherThread.start(QHostAddress::LocalHost, port, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!otherThread.server());
}

QTEST_GUILESS_MAIN(TestPlatformServer)
#include "tst_platformserver.moc"
