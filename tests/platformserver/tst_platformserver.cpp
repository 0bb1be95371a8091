// The loopback platform server, for what other tests rely on: the start
// page's reading and escaping of the query, Range answers for the video,
// routes that misbehave on purpose, and the request log.
#include "platformserver.h"
#include "platformserverthread.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

using Route = PlatformServer::Route;

class TestPlatformServer : public QObject
{
    Q_OBJECT

    PlatformServer *server() const { return m_thread->server(); }

    // Sends |request| on |socket| and returns what comes back until the
    // server closes or stays silent for |quietMs|.
    QByteArray exchange(QTcpSocket &socket, const QByteArray &request, int quietMs = 5000)
    {
        socket.connectToHost(QHostAddress::LocalHost, server()->serverPort());
        if (!socket.waitForConnected(5000) || socket.write(request) < 0 || !socket.waitForBytesWritten(5000))
            return "not sent";
        QByteArray data;
        while (socket.waitForReadyRead(quietMs))
            data += socket.readAll();
        return data + socket.readAll();
    }

    // The head (status line and headers, each ending in CR LF) and the body
    // of the answer to a GET.
    QPair<QByteArray, QByteArray> get(const QByteArray &target, const QByteArray &extraHeaders = {})
    {
        QTcpSocket socket;
        const QByteArray data =
            exchange(socket, "GET " + target + " HTTP/1.1\r\n" + extraHeaders + "Connection: close\r\n\r\n");
        const int headEnd = data.indexOf("\r\n\r\n") + 2;
        return {data.left(headEnd), data.mid(headEnd + 2)};
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

    void startPage_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QString>("escapedUser");
        QTest::addColumn<QString>("password");

        QTest::newRow("Chinese") << QByteArray("user=%E5%BC%A0%E4%B8%89:pass=%E5%AF%86%E7%A0%81X") << "张三" << "密码X";
        QTest::newRow("encoded & # ? + %, blanks, literal +")
            << QByteArray("user=a+b%26c%20%23%3F%2B%25:pass=p%26%23%3F%2B%25%20w") << "a+b&amp;c #?+%" << "p&#?+% w";
        QTest::newRow("markup in the name") << QByteArray("user=%3Cscript%3Ealert(1)%3C%2Fscript%3E%22:pass=pw1234")
                                            << "&lt;script&gt;alert(1)&lt;/script&gt;&quot;" << "pw1234";
        QTest::newRow("encoded separator in the name, literal one in the password")
            << QByteArray("user=a%3Apass%3Db:pass=c:pass=dd") << "a:pass=b" << "c:pass=dd";
        QTest::newRow("no query") << QByteArray() << "" << "";
    }

    void startPage()
    {
        QFETCH(QByteArray, query);
        QFETCH(QString, escapedUser);
        QFETCH(QString, password);

        const auto [head, body] = get(query.isNull() ? QByteArray("/") : "/?" + query);
        QVERIFY(head.startsWith("HTTP/1.1 200 "));
        const QString page = QString::fromUtf8(body);
        QVERIFY2(page.contains("<title>视频综合管理平台 - " + escapedUser + "</title>"), qPrintable(page));
        QVERIFY(page.contains("欢迎, " + escapedUser + "</h1>"));
        // The platform never echoes the password.
        if (!password.isEmpty())
            QVERIFY(!page.contains(password) && !page.contains(password.toHtmlEscaped()));
    }

    void videoRanges_data()
    {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentRange");

        QTest::newRow("no range") << QByteArray() << 200 << QByteArray();
        QTest::newRow("closed") << QByteArray("bytes=10-19") << 206 << QByteArray("bytes 10-19/100");
        QTest::newRow("open end") << QByteArray("bytes=90-") << 206 << QByteArray("bytes 90-99/100");
        QTest::newRow("suffix") << QByteArray("bytes=-5") << 206 << QByteArray("bytes 95-99/100");
        QTest::newRow("end beyond size") << QByteArray("bytes=95-1000") << 206 << QByteArray("bytes 95-99/100");
        QTest::newRow("start at size") << QByteArray("bytes=100-") << 416 << QByteArray("bytes */100");
    }

    void videoRanges()
    {
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(QByteArray, contentRange);

        QByteArray content;
        for (int i = 0; i < 100; ++i)
            content.append(char(i));
        QTemporaryFile video;
        QVERIFY(video.open() && video.write(content) == content.size() && video.flush());
        server()->setVideoFile(video.fileName());

        const auto [head, body] = get("/video.mp4", range.isNull() ? QByteArray() : "Range: " + range + "\r\n");
        QVERIFY2(head.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), head.constData());
        QCOMPARE(head.contains("\r\nContent-Range: "), !contentRange.isEmpty());
        QVERIFY(contentRange.isEmpty() || head.contains("\r\nContent-Range: " + contentRange + "\r\n"));
        if (status != 416) {
            QVERIFY(head.contains("\r\nContent-Type: video/mp4\r\n") && head.contains("\r\nAccept-Ranges: bytes\r\n"));
            const QList<QByteArray> span = contentRange.mid(6).split('/').value(0).split('-'); // "FIRST-LAST"
            QCOMPARE(body, status == 200 ? content : content.left(span.value(1).toInt() + 1).mid(span[0].toInt()));
        }
    }

    void routeBehaviours_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("answer"); // a pattern for all that is received

        QTest::newRow("normal, replacing a built-in page")
            << int(Route::Normal) << "/" << "(?s)^HTTP/1.1 503 .*\r\nContent-Type: text/plain\r\n.*\r\n\r\ndown$";
        QTest::newRow("hang") << int(Route::Hang) << "/hang" << "^$";
        QTest::newRow("garbage") << int(Route::Garbage) << "/garbage" << "(?s)^(?!HTTP/).+$";
        QTest::newRow("close at once") << int(Route::CloseAtOnce) << "/close" << "^$";
    }

    void routeBehaviours()
    {
        QFETCH(int, behaviour);
        QFETCH(QString, path);
        QFETCH(QString, answer);

        server()->setRoute(path.toUtf8(), {503, "text/plain", "down", Route::Behaviour(behaviour)});
        QTcpSocket socket;
        const bool hangs = behaviour == Route::Hang;
        const QByteArray request = "GET " + path.toUtf8() + "?user=u:pass=p HTTP/1.1\r\nConnection: close\r\n\r\n";
        const QByteArray data = exchange(socket, request, hangs ? 300 : 5000);
        QCOMPARE(socket.state(), hangs ? QAbstractSocket::ConnectedState : QAbstractSocket::UnconnectedState);
        const QString text = QString::fromLatin1(data.constData(), data.size());
        QVERIFY2(QRegularExpression(answer).match(text).hasMatch(), data.toPercentEncoding().constData());
        QCOMPARE(server()->requests().value(0).path, path.toUtf8());
    }

    void requestLog()
    {
        QList<PlatformServer::Request> received;
        connect(server(), &PlatformServer::requestReceived, this,
                [&received](const PlatformServer::Request &request) { received.append(request); });

        QTcpSocket socket;
        QVERIFY(exchange(socket, "POST /form?x=1%202&y HTTP/1.1\r\nHost: test\r\nX-Custom:  a b \r\n"
                                 "x-custom: 2\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello")
                    .startsWith("HTTP/1.1 404 "));

        const QList<PlatformServer::Request> log = server()->requests();
        QCOMPARE(log.size(), 1);
        const PlatformServer::Request &request = log.first();
        QCOMPARE(request.method + ' ' + request.target + ' ' + request.path + ' ' + request.query,
                 QByteArray("POST /form?x=1%202&y /form x=1%202&y"));
        const QList<QPair<QByteArray, QByteArray>> headers{
            {"Host", "test"}, {"X-Custom", "a b"}, {"x-custom", "2"}, {"Content-Length", "5"}, {"Connection", "close"}};
        QCOMPARE(request.headers, headers);
        QCOMPARE(request.header("X-CUSTOM"), QByteArray("a b"));
        QCOMPARE(request.body, QByteArray("hello"));
        // The signal crosses from the server's thread into this one.
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().target, request.target);
    }
};

QTEST_GUILESS_MAIN(TestPlatformServer)
#include "tst_platformserver.moc"
