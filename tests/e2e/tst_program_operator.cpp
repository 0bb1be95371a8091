// What an operator does on the platform's page beyond watching, on the real
// program with real input: downloads, dialogs, file choosers, the
// microphone, WebGL and a high-density screen.
#include "programtest.h"

#include <QDir>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>

#include "rawserver.h"
#include "useractions.h"
#include "windowmanager.h"
#include "x11util.h"

namespace {

// Places on the platform's page, in CSS pixels from the view's top left.
const QPoint downloadLink(120, 40);
const QPoint confirmButton(120, 100);
const QPoint fileInput(60, 160);
const QPoint microphoneButton(120, 220);
const QPoint brokenLink(120, 280);
const QPoint otherOriginLink(120, 340);

// The page reports to the server what the test cannot see:
// "/report?key=value".
const char platformPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Operator</title>
<style>body{margin:0} .b{position:absolute;left:20px;width:200px;height:40px;display:block}</style></head><body>
<a class="b" style="top:20px" href="/clip" download="clip 1.bin">clip</a>
<button class="b" id="confirm" style="top:80px">delete</button>
<input class="b" id="files" type="file" multiple style="top:140px">
<button class="b" id="mic" style="top:200px">talk</button>
<a class="b" style="top:260px" href="BROKEN/broken.bin">broken</a>
<a class="b" style="top:320px" href="OTHER/other">other</a>
<script>
function report(key, value) { fetch('/report?' + key + '=' + encodeURIComponent(value)); }
report('loaded', devicePixelRatio);
document.getElementById('confirm').onclick = () => {
  report('confirm', confirm('Delete camera 3?'));
  onbeforeunload = (e) => { e.preventDefault(); e.returnValue = ''; };
};
document.getElementById('files').onchange = async (e) => {
  const parts = [];
  for (const file of e.target.files) parts.push(file.name + ':' + await file.text());
  report('files', parts.join('|'));
};
document.getElementById('mic').onclick = () => navigator.mediaDevices.getUserMedia({audio: true})
  .then(s => report('mic', s.getAudioTracks()[0].readyState), e => report('mic', e.name));
</script></body></html>)";

// A page that tells whether it has WebGL, with a canvas of one colour above a video.
const char drawingPage[] = R"(<!DOCTYPE html><html><body style="margin:0">
<canvas id="c" width="200" height="100"></canvas>
<video src="/video.mp4" autoplay muted loop style="position:absolute;left:0;top:120px;width:320px;height:180px"></video>
<script>
const g = document.getElementById('c').getContext('2d'); g.fillStyle = '#00c864'; g.fillRect(0, 0, 200, 100);
fetch('/report?webgl=' + ['webgl', 'webgl2'].map(k => !!document.createElement('canvas').getContext(k)));
</script></body></html>)";

// A page of another origin that asks for the microphone at once.
const char otherPage[] = R"(<!DOCTYPE html><html><body><script>
navigator.mediaDevices.getUserMedia({audio: true})
  .then(s => fetch('/report?mic=' + s.getAudioTracks()[0].readyState), e => fetch('/report?mic=' + e.name));
</script></body></html>)";

QString decode(const QByteArray &value)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
}

// Bytes that a truncated or mixed-up copy would not reproduce.
QByteArray clipBytes()
{
    QByteArray clip(3 * 1024 * 1024, 0);
    QRandomGenerator(13).fillRange(reinterpret_cast<quint32 *>(clip.data()), clip.size() / 4);
    return clip;
}

// The dialog titled |title|, once it is shown, made active for real input.
unsigned long waitForDialog(const QString &title)
{
    unsigned long dialog = 0;
    (void)QTest::qWaitFor(
        [&] {
            for (unsigned long window : x11::findWindows(title)) {
                if (x11::isViewable(window))
                    dialog = window;
            }
            return dialog != 0;
        },
        20000);
    return dialog && user::activate(dialog) ? dialog : 0;
}

bool dialogGone(const QString &title)
{
    const QList<unsigned long> dialogs = x11::findWindows(title);
    return std::none_of(dialogs.begin(), dialogs.end(), [](unsigned long window) { return x11::isViewable(window); });
}

} // namespace

QString TestProgram::reportNow(PlatformServerThread &from, const QByteArray &key, int n) const
{
    for (const PlatformServer::Request &request : from.server()->requests()) {
        if (request.path == "/report" && request.query.startsWith(key + '=') && --n == 0)
            return decode(request.query.mid(key.size() + 1));
    }
    return QString();
}

void TestProgram::takeReports(PlatformServerThread &to)
{
    PlatformServer::Route noContent;
    noContent.status = 204;
    to.server()->setRoute("/report", noContent);
}

QString TestProgram::report(PlatformServerThread &from, const QByteArray &key, int n, int timeoutMs)
{
    QString value;
    (void)QTest::qWaitFor([&] { return !(value = reportNow(from, key, n)).isNull(); }, timeoutMs);
    return value;
}

unsigned long TestProgram::openOperatorPage(ClientSession &session, const QString &brokenBase)
{
    PlatformServer::Route page;
    page.body = QByteArray(platformPage)
                    .replace("BROKEN", (brokenBase.isEmpty() ? "http://" + neighbour(254) : brokenBase).toUtf8())
                    .replace("OTHER", otherServer.server()->baseUrl().toUtf8());
    server.server()->setRoute("/", page);
    PlatformServer::Route file;
    file.contentType = "application/octet-stream";
    file.body = clipBytes();
    server.server()->setRoute("/clip", file);
    takeReports(server);
    takeReports(otherServer);
    PlatformServer::Route other;
    other.body = otherPage;
    otherServer.server()->setRoute("/other", other);
    otherServer.server()->clearRequests();
    const unsigned long view = startAndLogIn(session, address) ? session.waitForViewWindow() : 0;
    if (!view || report(server, "loaded").isNull())
        return 0;
    session.mark(QStringLiteral("page loaded"));
    // The page takes real input once the view is active.
    return user::activate(view) ? view : 0;
}

void TestProgram::webGlOnlyWhenAsked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("webgl"); // WebGL 1 and 2
    QTest::newRow("default") << QStringList() << QStringLiteral("false,false");
    QTest::newRow("--webgl") << QStringList{QStringLiteral("--webgl")} << QStringLiteral("true,true");
}

// Under a software OpenGL, as Xvfb's, pages get WebGL only when the operator
// asks for it; either way the page's canvas and video reach the screen.
void TestProgram::webGlOnlyWhenAsked()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, webgl);
    server.server()->setRoute("/", PlatformServer::Route{200, QByteArray(), drawingPage});
    server.server()->setVideoFile(QStringLiteral(VMP_MEDIA_DIR "/clip.mp4"));
    ClientSession session;
    QVERIFY(startAndLogIn(session, address, QStringLiteral("pw"), arguments));
    QCOMPARE(report(server, "webgl"), webgl);
    const unsigned long view = session.waitForViewWindow();
    QVERIFY(view);
    QImage canvas(200, 100, QImage::Format_RGB32);
    canvas.fill(QColor(0x00, 0xc8, 0x64));
    QTRY_COMPARE_WITH_TIMEOUT(x11::grab(view, canvas.rect()), canvas, 20000);
    // The clip's picture, then another one: the video plays on the screen.
    const QRect video(0, 120, 320, 180);
    QImage frame;
    QTRY_VERIFY_WITH_TIMEOUT((frame = x11::grab(view, video), frame.pixel(0, 0) != frame.pixel(160, 90)), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(x11::grab(view, video) != frame, 20000);
}

void TestProgram::downloadsLandWholeUnderTwoNames()
{
    RawServer brokenServer(RawServer::Answer::BrokenDownload);
    QVERIFY(brokenServer.listen(QHostAddress(address)));
    ClientSession session;
    const unsigned long view =
        openOperatorPage(session, QStringLiteral("http://%1:%2").arg(address).arg(brokenServer.serverPort()));
    QVERIFY(view);
    const QDir downloads(QDir(session.homeDir()).filePath(QStringLiteral("Downloads")));
    const auto entries = [&downloads] {
        return downloads.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    };

    // The same file twice, in quick succession.
    QVERIFY(user::click(view, downloadLink.x(), downloadLink.y()));
    QVERIFY(user::click(view, downloadLink.x(), downloadLink.y()));
    const QStringList twoNames = {QStringLiteral("clip 1 (1).bin"), QStringLiteral("clip 1.bin")};
    QTRY_COMPARE_WITH_TIMEOUT(entries(), twoNames, 30000);
    for (const QString &name : twoNames) {
        QFile file(downloads.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == clipBytes(), qPrintable(name));
    }
    // The user is told where they went, in a notice over the page.
    const auto noticeShown = [view] {
        for (unsigned long child : x11::children(view)) {
            const QRect geometry = x11::screenGeometry(child);
            if (x11::isViewable(child) && geometry.height() < x11::screenGeometry(view).height() / 2)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(noticeShown(), 10000);

    // A download that breaks off leaves nothing behind: not while it runs
    // under its final name, not once it has failed.
    QVERIFY(user::click(view, brokenLink.x(), brokenLink.y()));
    QTRY_VERIFY_WITH_TIMEOUT(entries().size() == 3, 30000);
    QVERIFY(!entries().contains(QStringLiteral("broken.bin")));
    brokenServer.fail();
    QTRY_COMPARE_WITH_TIMEOUT(entries(), twoNames, 60000);
}

void TestProgram::dialogsAnswerThePage()
{
    ClientSession session;
    const unsigned long view = openOperatorPage(session);
    QVERIFY(view);
    // Titled with the origin alone: the page's address carries the password.
    const QString origin = QStringLiteral("http://") + address;

    QVERIFY(user::click(view, confirmButton.x(), confirmButton.y()));
    QVERIFY(waitForDialog(origin));
    QVERIFY(user::key(QStringLiteral("Escape")));
    QCOMPARE(report(server, "confirm", 1), QStringLiteral("false"));
    QTRY_VERIFY(dialogGone(origin));

    QVERIFY(user::activate(view) && user::click(view, confirmButton.x(), confirmButton.y()));
    QVERIFY(waitForDialog(origin));
    QVERIFY(user::key(QStringLiteral("Return")));
    QCOMPARE(report(server, "confirm", 2), QStringLiteral("true"));

    // The page now asks before it is left: staying keeps it, and it asks
    // again on the next try; leaving goes on to the other page.
    for (const QString &answer : {QStringLiteral("Escape"), QStringLiteral("Return")}) {
        QTRY_VERIFY(dialogGone(origin));
        QVERIFY(user::activate(view) && user::click(view, otherOriginLink.x(), otherOriginLink.y()));
        QVERIFY(waitForDialog(origin));
        QVERIFY(user::key(answer));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!reportNow(otherServer, "mic", 1).isNull(), 30000);
}

void TestProgram::fileChooserHandsPageTheFiles_data()
{
    QTest::addColumn<QString>("lang");
    QTest::newRow("UTF-8 locale") << QStringLiteral("C.UTF-8");
    // Was: started with no locale, as by a bare service, the program lost
    // the Chinese name and the page received no file.
    QTest::newRow("plain C locale") << QStringLiteral("C");
    // Was: a locale that is not installed left the C library in "C".
    QTest::newRow("named locale not installed") << QStringLiteral("zh_CN.UTF-8");
}

void TestProgram::fileChooserHandsPageTheFiles()
{
    QFETCH(QString, lang);
    ClientSession session;
    session.setEnv(QStringLiteral("LANG"), lang);
    session.setEnv(QStringLiteral("LC_ALL"), QString());
    session.setEnv(QStringLiteral("LC_CTYPE"), QString());
    const QDir dir(session.workDir());
    for (const QString &name : {QStringLiteral("camera.cfg"), QStringLiteral("配置 2.cfg")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("content of " + name.toUtf8());
    }
    const unsigned long view = openOperatorPage(session);
    QVERIFY(view);

    QVERIFY(user::click(view, fileInput.x(), fileInput.y()));
    QVERIFY(waitForDialog(QStringLiteral("Open")));
    QVERIFY(user::type(QStringLiteral("\"%1\" \"%2\"").arg(dir.filePath(QStringLiteral("camera.cfg")),
                                                              dir.filePath(QString::fromUtf8("配置 2.cfg")))));
    QVERIFY(user::key(QStringLiteral("Return")));
    QCOMPARE(report(server, "files"),
             QString::fromUtf8("camera.cfg:content of camera.cfg|配置 2.cfg:content of 配置 2.cfg"));
}

void TestProgram::microphoneAskedOfUserForPlatformOnly()
{
    ClientSession session;
    // Chromium's fake capture devices give the page a real audio track.
    session.setEnv(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--use-fake-device-for-media-stream"));
    const unsigned long view = openOperatorPage(session);
    QVERIFY(view);
    const QString origin = QStringLiteral("http://") + address;

    // Asked once; Return takes the default button, which allows.
    QVERIFY(user::click(view, microphoneButton.x(), microphoneButton.y()));
    QVERIFY(waitForDialog(origin));
    QVERIFY(user::key(QStringLiteral("Return")));
    QCOMPARE(report(server, "mic", 1), QStringLiteral("live"));
    // The answer holds until the program ends.
    QTRY_VERIFY(dialogGone(origin));
    QVERIFY(user::activate(view) && user::click(view, microphoneButton.x(), microphoneButton.y()));
    QCOMPARE(report(server, "mic", 2), QStringLiteral("live"));
    QVERIFY(dialogGone(origin));

    // Another origin is refused without a question.
    QVERIFY(user::click(view, otherOriginLink.x(), otherOriginLink.y()));
    QCOMPARE(report(otherServer, "mic"), QStringLiteral("NotAllowedError"));
    const QString otherOrigin = otherServer.server()->baseUrl();
    QVERIFY(x11::findWindows(otherOrigin).isEmpty() && x11::findWindows(origin).isEmpty());
}

void TestProgram::highDensityScreen()
{
    // A screen of its own at 192 dpi, with a window manager of its own.
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                        QStringLiteral("0"), QStringLiteral("2560x1600x24"), QStringLiteral("-dpi"),
                                        QStringLiteral("192"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 20000);
    const QByteArray display = ':' + xvfb.readLine().trimmed();
    const QByteArray ownDisplay = qgetenv("DISPLAY");
    QProcess denseWindowManager;
    const auto restore = qScopeGuard([&] {
        qputenv("DISPLAY", ownDisplay);
        // Back on our own display while the dense one still runs: closing a
        // connection to a server already gone ends the test program.
        (void)x11::screenSize();
        denseWindowManager.kill();
        denseWindowManager.waitForFinished();
        xvfb.kill();
        xvfb.waitForFinished();
    });
    qputenv("DISPLAY", display);
    QCOMPARE(x11::screenScale(), 2);
    QVERIFY(windowmanager::start(denseWindowManager));

    ClientSession session;
    QVERIFY(session.start());
    // The same form, twice as many pixels each way.
    const unsigned long loginWindow = session.waitForLoginWindow();
    QVERIFY(loginWindow);
    QCOMPARE(x11::screenGeometry(loginWindow).size(), QSize(1036, 442));
    PlatformServer::Route page;
    page.body = QByteArray(platformPage).replace("OTHER", otherServer.server()->baseUrl().toUtf8());
    server.server()->setRoute("/", page);
    QVERIFY(session.login(loginWindow, address, QStringLiteral("admin"), QStringLiteral("pw")));
    QCOMPARE(report(server, "loaded"), QStringLiteral("2"));
}
