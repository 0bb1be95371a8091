// The platform server, for what other tests and the demo rely on: the start
// page's reading and escaping of the query, byte ranges of the video, routes
// that cut off or hang on purpose and the record of requests, and the demo
// program's switch and bind errors.
#include "platformserver.h"
#include "platformserverthread.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

#include <signal.h>
#include <unistd.h>

using Route = PlatformServer::Route;

class TestPlatformServer : public QObject
{
    Q_OBJECT

    PlatformServer *server() const { return thread->server(); }

    // Sends |request| to |port| and returns what comes back until the server
    // closes or stays silent for |quietMs|.
    static QByteArray exchange(QTcpSocket &socket, quint16 port, const QByteArray &request, int quietMs = 5000)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
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
        const QByteArray request = "GET " + target + " HTTP/1.1\r\n" + extraHeaders + "Connection: close\r\n\r\n";
        const QByteArray data = exchange(socket, server()->serverPort(), request);
        const int headEnd = data.indexOf("\r\n\r\n") + 2;
        return {data.left(headEnd), data.mid(headEnd + 2)};
    }

    std::unique_ptr<PlatformServerThread> thread;

private slots:
    void init()
    {
        thread = std::make_unique<PlatformServerThread>();
        QString error;
        QVERIFY2(thread->start(QHostAddress::LocalHost, 0, &error), qPrintable(error));
    }

    void cleanup() { thread.reset(); }

    void pages_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("absent"); // never in the page, escaped or not

        const QString start = QStringLiteral("视频综合管理平台 - ");
        QTest::newRow("Chinese") << QByteArray("/?user=%E5%BC%A0%E4%B8%89:pass=%E5%AF%86%E7%A0%81X") << 200
                                 << start + "张三" << "密码X";
        QTest::newRow("encoded & # ? + %, blanks, literal +")
            << QByteArray("/?user=a+b%26c%20%23%3F%2B%25:pass=p%26%23%3F%2B%25%20w") << 200 << start + "a+b&amp;c #?+%"
            << "p&#?+% w";
        QTest::newRow("markup in the name") << QByteArray("/?user=%3Cscript%3Ealert(1)%3C%2Fscript%3E%22:pass=pw1234")
                                            << 200 << start + "&lt;script&gt;alert(1)&lt;/script&gt;&quot;" << "pw1234";
        QTest::newRow("encoded separator in the name, literal one in the password")
            << QByteArray("/?user=a%3Apass%3Db:pass=c:pass=dd") << 200 << start + "a:pass=b" << "c:pass=dd";
        QTest::newRow("title, + kept") << QByteArray("/title?t=a+b%20%3Cc%3E") << 200 << "a+b &lt;c&gt;" << "";
        QTest::newRow("unknown") << QByteArray("/nothing") << 404 << "404 Not Found" << "";
    }

    void pages()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QFETCH(QString, title);
        QFETCH(QString, absent);

        const auto [head, body] = get(target);
        QVERIFY2(head.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), head.constData());
        // Tests count page views at the server, so nothing may be cached.
        QVERIFY(head.contains("\r\nCache-Control: no-store\r\n"));
        const QString page = QString::fromUtf8(body);
        QVERIFY2(page.contains("<title>" + title + "</title>"), qPrintable(page));
        if (!absent.isEmpty())
            QVERIFY(!page.contains(absent) && !page.contains(absent.toHtmlEscaped()));
    }

    void videoRanges_data()
    {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentRange");

        QTest::newRow("no range") << QByteArray() << 200 << QByteArray();
        QTest::newRow("closed") << QByteArray("bytes=10-19") << 206 << QByteArray("bytes 10-19/100");
        QTest::newRow("end beyond size") << QByteArray("bytes=95-1000") << 206 << QByteArray("bytes 95-99/100");
        QTest::newRow("start at size") << QByteArray("bytes=100-") << 416 << QByteArray("bytes */100");
        QTest::newRow("empty suffix") << QByteArray("bytes=-0") << 416 << QByteArray("bytes */100");
        QTest::newRow("two ranges") << QByteArray("bytes=0-1,5-6") << 200 << QByteArray();
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
        QVERIFY(head.contains("\r\nAccept-Ranges: bytes\r\n"));
        if (status != 416) {
            const QList<QByteArray> span = contentRange.mid(6).split('/').value(0).split('-'); // "FIRST-LAST"
            QCOMPARE(body, status == 200 ? content : content.left(span.value(1).toInt() + 1).mid(span[0].toInt()));
        }
    }

    void routes_data()
    {
        QTest::addColumn<int>("behaviour");
        QTest::addColumn<int>("cutAfter");
        QTest::addColumn<QString>("answer"); // a pattern for all that is received

        QTest::newRow("normal, replacing a built-in page, cacheable, with a header")
            << int(Route::Normal) << -1
            << "(?s)^HTTP/1.1 503 (?=.*\r\nCache-Control: max-age=3600\r\n)(?!.*no-store)"
               "(?=.*\r\nContent-Disposition: attachment; filename=\"clip 1.bin\"\r\n)"
               "(?=.*\r\nContent-Type: text/plain\r\n).*\r\n\r\ndown$";
        QTest::newRow("cut off") << int(Route::Normal) << 2
                                 << "(?s)^HTTP/1.1 503 .*\r\nContent-Length: 4\r\n.*\r\n\r\ndo$";
        QTest::newRow("hang") << int(Route::Hang) << -1 << "^$";
    }

    void routes()
    {
        QFETCH(int, behaviour);
        QFETCH(int, cutAfter);
        QFETCH(QString, answer);

        server()->setRoute("/", {503, "text/plain", "down", Route::Behaviour(behaviour),
                                 {{"Content-Disposition", "attachment; filename=\"clip 1.bin\""}}, true, cutAfter});
        QTcpSocket socket;
        const bool hangs = behaviour == Route::Hang;
        const QByteArray request = "POST /?user=u:pass=p%20 HTTP/1.1\r\nX-Custom:  a b \r\nx-custom: 2\r\n"
                                   "Content-Length: 5\r\nConnection: close\r\n\r\nhello";
        const QByteArray data = exchange(socket, server()->serverPort(), request, hangs ? 300 : 5000);
        QCOMPARE(socket.state(), hangs ? QAbstractSocket::ConnectedState : QAbstractSocket::UnconnectedState);
        const QString text = QString::fromLatin1(data.constData(), data.size());
        QVERIFY2(QRegularExpression(answer).match(text).hasMatch(), data.toPercentEncoding().constData());

        const PlatformServer::Request logged = server()->requests().value(0);
        QCOMPARE(logged.method + ' ' + logged.target + ' ' + logged.path + ' ' + logged.query + ' ' + logged.body,
                 QByteArray("POST /?user=u:pass=p%20 / user=u:pass=p%20 hello"));
        // Only what the client sent, sorted by name.
        const QList<QPair<QByteArray, QByteArray>> headers{
            {"Connection", "close"}, {"Content-Length", "5"}, {"X-Custom", "a b"}, {"x-custom", "2"}};
        QCOMPARE(logged.headers, headers);
        QCOMPARE(logged.header("X-CUSTOM"), QByteArray("a b"));
        if (hangs) {
            // Stopping the server answers what it left hanging and closes it.
            QElapsedTimer clock;
            clock.start();
            server()->stop();
            QVERIFY(clock.elapsed() < PlatformServer::SlowDelayMs);
            QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
            QVERIFY(socket.readAll().startsWith("HTTP/1.1 503 "));
        }
    }

    // SIGUSR1 stops the demo platform at once: a slow answer ends with 503,
    // an idle connection is closed, new ones are refused. SIGUSR2 serves
    // again on the same port.
    void demoSwitch()
    {
        QProcess demo;
        demo.start(QStringLiteral(VMP_DEMO_PROGRAM), {"--address", "127.0.0.1", "--port", "0"});
        QByteArray line;
        const auto waitForLine = [&](const QByteArray &start) {
            return QTest::qWaitFor([&] {
                while (demo.canReadLine()) {
                    if ((line = demo.readLine().trimmed()).startsWith(start))
                        return true;
                }
                return false;
            }, 10000);
        };
        QVERIFY(waitForLine("Platform listening on http://127.0.0.1:"));
        const quint16 port = line.mid(line.lastIndexOf(':') + 1).toUShort();
        const auto pid = pid_t(demo.processId());

        QElapsedTimer clock;
        clock.start();
        QTcpSocket idle, slow, refused, again;
        QVERIFY(exchange(idle, port, "GET /page2 HTTP/1.1\r\n\r\n", 100).startsWith("HTTP/1.1 200 "));
        slow.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(slow.waitForConnected(5000) && slow.write("GET /slow HTTP/1.1\r\n\r\n") > 0);
        QVERIFY(waitForLine("GET /slow") && pid > 0 && ::kill(pid, SIGUSR1) == 0);
        QVERIFY(waitForLine("Platform stopped serving."));
        for (QTcpSocket *socket : {&slow, &idle})
            QVERIFY(socket->state() == QAbstractSocket::UnconnectedState || socket->waitForDisconnected(5000));
        QVERIFY(clock.elapsed() < PlatformServer::SlowDelayMs && slow.readAll().startsWith("HTTP/1.1 503 "));
        QCOMPARE(exchange(refused, port, "GET / HTTP/1.1\r\n\r\n"), QByteArray("not sent"));
        QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);

        QVERIFY(::kill(pid, SIGUSR2) == 0 && waitForLine("Platform listening on"));
        QVERIFY(exchange(again, port, "GET /page2 HTTP/1.1\r\nConnection: close\r\n\r\n").startsWith("HTTP/1.1 200 "));
        demo.terminate();
        QVERIFY(demo.waitForFinished(5000) && demo.exitCode() == 0);
    }

    void demoBindErrors_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port"); // 0: the port of this test's server
        QTest::addColumn<QString>("reason");

        QTest::newRow("address not on this machine")
            << "192.0.2.1" << 8080 << "no network interface of this machine has that address";
        QTest::newRow("port in use") << "127.0.0.1" << 0 << "another program already listens there";
        QTest::newRow("port below 1024 without root")
            << "127.0.0.1" << 81 << "ports below 1024 need root or the CAP_NET_BIND_SERVICE capability";
    }

    void demoBindErrors()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QString, reason);

        const QString portText = QString::number(port ? port : server()->serverPort());
        QStringList command{QStringLiteral(VMP_DEMO_PROGRAM), "--address", address, "--port", portText};
        // Root may bind any port, so the program runs as nobody then.
        if (port == 81 && ::geteuid() == 0)
            command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        QProcess demo;
        demo.start(command.takeFirst(), command);
        QVERIFY(demo.waitForFinished(10000) && demo.exitCode() == 1);
        const QString error = QString::fromLocal8Bit(demo.readAllStandardError());
        const QString expected = QStringLiteral("cannot listen on address %1 port %2: ").arg(address, portText);
        QVERIFY2(error.contains(expected + reason), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestPlatformServer)
#include "tst_platformserver.moc"
