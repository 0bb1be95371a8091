// H.264 playback in the real engine from the clips in demo/media: through a
// plain video element and through Media Source Extensions. Page state is read
// back through the page title.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>
#include <QtTest>

#include "enginetestmain.h"
#include "include/cef_browser.h"
#include "platformserver.h"
#include "platformserverthread.h"
#include "recordingclient.h"

namespace {

// Muted video may start on its own, without a user's gesture.
const char autoplayPage[] =
    "<!DOCTYPE html><html><body>"
    "<video muted autoplay src='/video.mp4'></video>"
    "</body></html>";

// The fragmented clip fed to a SourceBuffer in one piece.
const char mediaSourcePage[] =
    "<!DOCTYPE html><html><body><video muted></video><script>"
    "var v = document.querySelector('video');"
    "var type = 'video/mp4; codecs=\"avc1.42C01E\"';"
    "window.supported = MediaSource.isTypeSupported(type);"
    "var source = new MediaSource();"
    "v.src = URL.createObjectURL(source);"
    "source.addEventListener('sourceopen', function () {"
    "  var buffer = source.addSourceBuffer(type);"
    "  buffer.addEventListener('updateend', function () { source.endOfStream(); v.play(); });"
    "  fetch('/clip-frag.mp4').then(function (r) { return r.arrayBuffer(); })"
    "    .then(function (data) { buffer.appendBuffer(data); });"
    "});"
    "</script></body></html>";

// What the test reads of the page's one video element.
const char videoState[] =
    "(function () {"
    "  var v = document.querySelector('video');"
    "  var q = v.getVideoPlaybackQuality();"
    "  return { time: v.currentTime, ended: v.ended, error: v.error ? v.error.code : 0,"
    "           width: v.videoWidth, height: v.videoHeight,"
    "           decoded: v.webkitDecodedFrameCount, frames: q.totalVideoFrames,"
    "           played: v.played.length ? v.played.end(v.played.length - 1) - v.played.start(0) : 0,"
    "           supported: window.supported === undefined ? true : window.supported };"
    "})()";

} // namespace

class TestVideo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsH264ToTheEnd_data();
    void playsH264ToTheEnd();

private:
    // Evaluates |expression| in the page and returns its value, carried out
    // through the title.
    QJsonObject read(const QString &expression);

    PlatformServerThread server;
    CefRefPtr<RecordingClient> client;
    CefRefPtr<CefBrowser> browser;
    int reads = 0;
};

void TestVideo::initTestCase()
{
    QString error;
    QVERIFY2(server.start(QHostAddress(QStringLiteral("127.0.0.1")), 0, &error), qPrintable(error));
    server.server()->setVideoFile(QStringLiteral(VMP_MEDIA_DIR "/clip.mp4"));
    QFile fragmented(QStringLiteral(VMP_MEDIA_DIR "/clip-frag.mp4"));
    QVERIFY(fragmented.open(QIODevice::ReadOnly));
    PlatformServer::Route route;
    route.contentType = "video/mp4";
    route.body = fragmented.readAll();
    server.server()->setRoute("/clip-frag.mp4", route);
    route = PlatformServer::Route();
    route.body = autoplayPage;
    server.server()->setRoute("/autoplay", route);
    route.body = mediaSourcePage;
    server.server()->setRoute("/mse", route);
}

QJsonObject TestVideo::read(const QString &expression)
{
    const QString tag = QStringLiteral("read%1 ").arg(++reads);
    browser->GetMainFrame()->ExecuteJavaScript(
        QStringLiteral("document.title = '%1' + JSON.stringify(%2);").arg(tag, expression).toStdString(), "", 0);
    const QString prefix = QStringLiteral("title %1 %2").arg(browser->GetIdentifier()).arg(tag);
    QString line;
    const bool answered = QTest::qWaitFor(
        [&] {
            const QStringList found = client->events(prefix);
            line = found.value(0);
            return !found.isEmpty();
        },
        10000);
    return answered ? QJsonDocument::fromJson(line.mid(prefix.size()).toUtf8()).object() : QJsonObject();
}

void TestVideo::playsH264ToTheEnd_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("start");
    // The demo platform's own start page; its clip loops, so it is asked to
    // play once here.
    QTest::newRow("demo start page") << "/?user=demo:pass=x"
                                     << "var v = document.querySelector('video'); v.loop = false; v.currentTime = 0;"
                                        " v.muted = true; v.play();";
    QTest::newRow("muted autoplay") << "/autoplay" << QString();
    QTest::newRow("media source extensions") << "/mse" << QString();
}

void TestVideo::playsH264ToTheEnd()
{
    QFETCH(QString, path);
    QFETCH(QString, start);

    QWidget host;
    host.resize(400, 300);
    host.show();
    client = new RecordingClient();
    CefWindowInfo info;
    info.SetAsChild(static_cast<CefWindowHandle>(host.winId()), CefRect(0, 0, 400, 300));
    QVERIFY(CefBrowserHost::CreateBrowser(info, client.get(), server.server()->baseUrl() + path, CefBrowserSettings(),
                                          nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(client->browser(0), 20000);
    browser = client->browser(0);
    const QString loaded = QStringLiteral("loading %1 0").arg(browser->GetIdentifier());
    QTRY_VERIFY_WITH_TIMEOUT(!client->events(loaded).isEmpty(), 20000);
    if (!start.isEmpty())
        browser->GetMainFrame()->ExecuteJavaScript(start.toStdString(), "", 0);

    // The 3 s clip of 75 frames, played through: frames decoded at the
    // clip's size and the play position carried from start to end.
    QJsonObject state;
    QTRY_VERIFY_WITH_TIMEOUT((state = read(QString::fromLatin1(videoState))).value("ended").toBool()
                                 || state.value("error").toInt() != 0 || !state.value("supported").toBool(),
                             30000);
    QVERIFY2(state.value("supported").toBool(), "H.264 in MP4 is not supported for Media Source Extensions");
    QCOMPARE(state.value("error").toInt(), 0);
    QCOMPARE(state.value("width").toInt(), 320);
    QCOMPARE(state.value("height").toInt(), 180);
    QVERIFY2(state.value("decoded").toInt() >= 60, qPrintable(QJsonDocument(state).toJson()));
    QVERIFY2(state.value("frames").toInt() >= 60, qPrintable(QJsonDocument(state).toJson()));
    QVERIFY(qAbs(state.value("time").toDouble() - 3.0) < 0.1);
    QVERIFY(state.value("played").toDouble() > 2.9);

    browser->GetHost()->CloseBrowser(true);
    QTRY_COMPARE_WITH_TIMEOUT(client->events("before-close").size(), 1, 20000);
    browser = nullptr;
}

ENGINE_TEST_MAIN(TestVideo)
#include "tst_video.moc"
