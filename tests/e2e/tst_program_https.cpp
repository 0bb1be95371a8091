// A platform at a LAN address behind https with a certificate of its own, on
// the real program with real input. Chromium treats loopback as trustworthy,
// so the platform sits at an address operators have: one added to lo, as
// root, for this test alone.
#include "programtest.h"

#include <QSslCertificate>

#include <memory>
#include <unistd.h>

#include "devtools.h"
#include "useractions.h"
#include "x11util.h"

namespace {

const QString lanAddress = QStringLiteral("192.168.77.1");
const QString origin = QStringLiteral("https://192.168.77.1");

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray fingerprintOf(const QString &pem)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(pem);
    return certificates.isEmpty() ? QByteArray()
                                  : certificates.first().digest(QCryptographicHash::Sha256).toHex().toUpper();
}

// A viewable window titled |title| other than |before|, made active.
unsigned long waitForQuestion(const QString &title, unsigned long before = 0)
{
    unsigned long shown = 0;
    (void)QTest::qWaitFor(
        [&] {
            for (unsigned long window : x11::findWindows(title)) {
                if (window != before && x11::isViewable(window))
                    shown = window;
            }
            return shown != 0;
        },
        30000);
    return shown && user::activate(shown) ? shown : 0;
}

// The page asks for the microphone as soon as it is shown.
const char talkbackPage[] = R"(<!DOCTYPE html><html><head><title>Talkback</title></head><body><script>
Promise.resolve().then(() => navigator.mediaDevices.getUserMedia({audio: true}))
  .then(s => fetch('/report?mic=' + s.getAudioTracks()[0].readyState), e => fetch('/report?mic=' + e.name));
</script></body></html>)";

} // namespace

void TestProgram::lanPlatformBehindHttps()
{
    if (::geteuid() != 0)
        QSKIP("Needs root to add the LAN address 192.168.77.1 to the loopback interface.");
    const QStringList lo{"192.168.77.1/32", "dev", "lo"};
    QVERIFY(run(QStringLiteral("ip"), QStringList{"addr", "replace"} + lo));
    const auto removeAddress = qScopeGuard([&] { run(QStringLiteral("ip"), QStringList{"addr", "del"} + lo); });
    QTemporaryDir keys;
    const QString first = keys.filePath(QStringLiteral("first")), second = keys.filePath(QStringLiteral("second"));
    QVERIFY(PlatformServer::makeCertificate(lanAddress, first + ".pem", first + ".key")
            && PlatformServer::makeCertificate(lanAddress, second + ".pem", second + ".key"));

    // http sends every request on to https, as platforms and recorders do.
    PlatformServerThread http;
    QString error;
    QVERIFY2(http.start(QHostAddress(lanAddress), 80, &error), qPrintable(error));
    PlatformServer::Route redirect;
    redirect.redirectTo = origin.toUtf8();
    http.server()->setRoute("/", redirect);
    auto https = std::make_unique<PlatformServerThread>();
    QVERIFY2(https->start(QHostAddress(lanAddress), 443, &error, first + ".pem", first + ".key"), qPrintable(error));
    PlatformServer::Route page;
    page.body = talkbackPage;
    https->server()->setRoute("/", page);
    const auto pageRequests = [&] {
        QList<QByteArray> queries;
        for (const PlatformServer::Request &request : https->server()->requests()) {
            if (request.path == "/")
                queries << request.query;
        }
        return queries;
    };
    // Each start in one working directory, where the pin is kept.
    QTemporaryDir work;
    const auto refusedShowsErrorPage = [&](const QString &pinsBefore) {
        DevTools devTools;
        ClientSession session(work.path());
        session.setEnv(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), devTools.address());
        QVERIFY(startAndLogIn(session, lanAddress));
        QVERIFY(waitForQuestion(origin));
        QVERIFY(user::key(QStringLiteral("Return")));
        QTRY_COMPARE_WITH_TIMEOUT(devTools.evaluate(QString(), QStringLiteral("document.body.innerText")),
                                  QStringLiteral("Failed to load URL %1/?user=operator:pass=****** with error "
                                                 "ERR_CERT_AUTHORITY_INVALID (-202).")
                                      .arg(origin),
                                  30000);
        QVERIFY(pageRequests().isEmpty());
        QCOMPARE(session.readFile(QStringLiteral("certs.txt")), pinsBefore);
        QVERIFY(closeView(session));
    };

    // First start: asked; Return refuses and the masked error page shows.
    refusedShowsErrorPage(QString());
    if (QTest::currentTestFailed())
        return;
    const QString pinned = lanAddress + ":443 " + fingerprintOf(first + ".pem") + '\n';
    {
        // Second start: Alt+T trusts and pins; the page shows, asks for the
        // microphone and gets a live track once allowed.
        ClientSession session(work.path());
        session.setEnv(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                       QStringLiteral("--use-fake-device-for-media-stream"));
        QVERIFY(startAndLogIn(session, lanAddress));
        const unsigned long question = waitForQuestion(origin);
        QVERIFY(question && user::key(QStringLiteral("alt+t")));
        QTRY_COMPARE_WITH_TIMEOUT(pageRequests(), QList<QByteArray>{"user=operator:pass=pw"}, 30000);
        QCOMPARE(session.readFile(QStringLiteral("certs.txt")), pinned);
        QVERIFY(waitForQuestion(origin, question) && user::key(QStringLiteral("Return")));
        QCOMPARE(report(*https, "mic"), QStringLiteral("live"));
        QVERIFY(closeView(session));
    }
    {
        // Third start: straight to the page.
        page.body = "<html><title>Platform</title></html>";
        https->server()->setRoute("/", page);
        ClientSession session(work.path());
        QVERIFY(startAndLogIn(session, lanAddress));
        QTRY_COMPARE_WITH_TIMEOUT(pageRequests().size(), 2, 30000);
        QVERIFY(x11::findWindows(origin).isEmpty());
        QVERIFY(closeView(session));
    }
    // A new certificate on the same address is refused by default.
    https = std::make_unique<PlatformServerThread>();
    QVERIFY2(https->start(QHostAddress(lanAddress), 443, &error, second + ".pem", second + ".key"), qPrintable(error));
    refusedShowsErrorPage(pinned);
}
