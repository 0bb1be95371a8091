// The permission broker, with the question to the user recorded instead of
// shown. Requests are made on the test's own thread, which stands in for the
// browser UI thread; the questions run on the GUI thread's event loop.
#include <QtTest>

#include "permissionbroker.h"

namespace {

// Records how a permission request was answered.
class PermissionAnswer : public CefMediaAccessCallback, public CefPermissionPromptCallback
{
public:
    QString answer;
    void Continue(uint32_t allowed) override { answer = QStringLiteral("allow %1").arg(allowed); }
    void Cancel() override { answer = QStringLiteral("refuse"); }
    void Continue(cef_permission_request_result_t result) override
    {
        answer = result == CEF_PERMISSION_RESULT_ACCEPT ? QStringLiteral("allow") : QStringLiteral("refuse");
    }
    IMPLEMENT_REFCOUNTING(PermissionAnswer);
};

const uint microphone = CEF_MEDIA_PERMISSION_DEVICE_AUDIO_CAPTURE;
const uint camera = CEF_MEDIA_PERMISSION_DEVICE_VIDEO_CAPTURE;

} // namespace

class TestPermissionBroker : public QObject
{
    Q_OBJECT

private slots:
    void refusedUnasked_data();
    void refusedUnasked();
    void oneQuestionPerDevice();
};

void TestPermissionBroker::refusedUnasked_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<uint>("media"); // 0: a permission prompt of |prompt|
    QTest::addColumn<uint>("prompt");
    QTest::addColumn<QString>("arrived"); // where the main frame went after the login
    const QString platform = QStringLiteral("http://10.0.0.5/?user=a:pass=b");
    QTest::newRow("another host") << platform << "http://10.0.0.6" << microphone << 0u << QString();
    QTest::newRow("another port") << platform << "http://10.0.0.5:8080" << microphone << 0u << QString();
    QTest::newRow("another scheme") << platform << "https://10.0.0.5" << microphone << 0u << QString();
    QTest::newRow("before the login") << QString() << "http://10.0.0.5" << microphone << 0u << QString();
    QTest::newRow("notifications, another host") << platform << "http://10.0.0.6" << 0u
                                                 << uint(CEF_PERMISSION_TYPE_NOTIFICATIONS) << QString();
    // Not asked for even by the platform.
    QTest::newRow("the screen") << platform << "http://10.0.0.5" << uint(CEF_MEDIA_PERMISSION_DESKTOP_VIDEO_CAPTURE)
                                << 0u << QString();
    QTest::newRow("location") << platform << "http://10.0.0.5" << 0u << uint(CEF_PERMISSION_TYPE_GEOLOCATION)
                              << QString();
    // The platform follows its redirect to https on its own host only.
    QTest::newRow("https on another host") << platform << "https://10.0.0.6" << microphone << 0u
                                           << "https://10.0.0.6/";
    QTest::newRow("http once on https") << platform << "http://10.0.0.5" << microphone << 0u << "https://10.0.0.5/";
}

void TestPermissionBroker::refusedUnasked()
{
    QFETCH(QString, platform);
    QFETCH(QString, origin);
    QFETCH(uint, media);
    QFETCH(uint, prompt);
    QFETCH(QString, arrived);
    PlatformOrigin platformOrigin;
    platformOrigin.set(QUrl(platform));
    platformOrigin.follow(QUrl(arrived));
    int asked = 0;
    CefRefPtr<PermissionBroker> broker
        = new PermissionBroker(platformOrigin, [&asked](CefRefPtr<CefBrowser>, const QString &, const QString &,
                                                        std::function<void(bool, bool)>) { ++asked; });
    CefRefPtr<PermissionAnswer> answer = new PermissionAnswer();
    if (media)
        broker->requestMedia(nullptr, origin, media, answer.get());
    else
        broker->requestPrompt(nullptr, origin, prompt, answer.get());
    // Answered before the call returned: no question was put to the user.
    QCOMPARE(answer->answer, QStringLiteral("refuse"));
    QCoreApplication::processEvents();
    QCOMPARE(asked, 0);
}

void TestPermissionBroker::oneQuestionPerDevice()
{
    PlatformOrigin platform;
    platform.set(QUrl(QStringLiteral("http://10.0.0.5/")));
    QStringList questions;
    std::function<void(bool, bool)> open;
    CefRefPtr<PermissionBroker> broker = new PermissionBroker(
        platform, [&](CefRefPtr<CefBrowser>, const QString &origin, const QString &devices,
                      std::function<void(bool, bool)> answer) {
            questions << origin + QLatin1Char(' ') + devices;
            open = answer;
        });
    // Answering may open the next question, which replaces |open|.
    const auto reply = [&open](bool byUser, bool allowed) { std::exchange(open, nullptr)(byUser, allowed); };
    const QString origin = QStringLiteral("http://10.0.0.5");
    QList<CefRefPtr<PermissionAnswer>> answers;
    const auto request = [&](uint devices) {
        answers << new PermissionAnswer();
        broker->requestMedia(nullptr, origin, devices, answers.last().get());
    };
    // Two requests for the microphone and one for the camera while the
    // first question is open: the microphone is asked about once.
    request(microphone);
    request(microphone);
    request(camera);
    QTRY_COMPARE(questions, QStringList() << origin + QString::fromUtf8(" 麦克风"));
    reply(true, true);
    QCOMPARE(answers[0]->answer, QStringLiteral("allow %1").arg(microphone));
    QCOMPARE(answers[1]->answer, QStringLiteral("allow %1").arg(microphone));
    QCOMPARE(questions.size(), 2);
    // A question closed with its window refuses, and is asked again.
    reply(false, false);
    QCOMPARE(answers[2]->answer, QStringLiteral("refuse"));
    request(camera);
    QTRY_COMPARE(questions.size(), 3);
    // Refused by the user: refused without a question from then on, also
    // when asked together with an allowed device.
    reply(true, false);
    request(microphone | camera);
    QTRY_COMPARE(answers.last()->answer, QStringLiteral("refuse"));
    QCOMPARE(questions.size(), 3);
}

QTEST_GUILESS_MAIN(TestPermissionBroker)
#include "tst_permissionbroker.moc"
