#include "certificatetrust.h"

#include <algorithm>

#include <QDir>

#include "certificatequestion.h"
#include "guithread.h"

namespace {

// The key of an open question or of a refusal.
QString questionOf(const QString &key, const QByteArray &fingerprint)
{
    return key + QLatin1Char(' ') + QString::fromLatin1(fingerprint);
}

} // namespace

CertificateTrust::CertificateTrust(const PlatformOrigin &platform, CefRefPtr<Notices> notices)
    : platform(platform)
    , notices(notices)
{
}

bool CertificateTrust::onCertificateError(CefRefPtr<CefBrowser> browser, const CefString &requestUrl,
                                          CefRefPtr<CefSSLInfo> sslInfo, CefRefPtr<CefCallback> callback)
{
    const QUrl url(requestUrl.ToQString());
    const QUrl platformUrl(platform.get());
    if (url.scheme() != QLatin1String("https") || url.host().isEmpty() || platformUrl.host().isEmpty()
        || url.host().compare(platformUrl.host(), Qt::CaseInsensitive) != 0)
        return false;
    CefRefPtr<CefX509Certificate> certificate = sslInfo ? sslInfo->GetX509Certificate() : nullptr;
    CefRefPtr<CefBinaryValue> der = certificate ? certificate->GetDEREncoded() : nullptr;
    if (!der || !der->GetSize())
        return false;
    const QByteArray fingerprint = CertificatePins::fingerprint(
        QByteArray(static_cast<const char *>(der->GetRawData()), int(der->GetSize())));
    const int port = url.port(443);
    const QString key = CertificatePins::key(url.host(), port);
    const QString address = QStringLiteral("https://") + url.host().toLower()
        + (port == 443 ? QString() : QLatin1Char(':') + QString::number(port));
    CefRefPtr<CertificateTrust> self = this;
    postToGuiThread([self, browser, key, address, fingerprint, callback] {
        self->decide(browser, key, address, fingerprint, callback);
    });
    return true;
}

void CertificateTrust::decide(CefRefPtr<CefBrowser> browser, const QString &key, const QString &address,
                              const QByteArray &fingerprint, CefRefPtr<CefCallback> callback)
{
    REQUIRE_GUI_THREAD();
    const QByteArray pinned = pins.pinned(key);
    const QString question = questionOf(key, fingerprint);
    if (pinned == fingerprint) {
        callback->Continue();
        return;
    }
    if (std::find(refused.begin(), refused.end(), question) != refused.end()) {
        callback->Cancel();
        return;
    }
    std::vector<CefRefPtr<CefCallback>> &waiting = questions[question];
    waiting.push_back(callback);
    if (waiting.size() > 1)
        return;
    CefRefPtr<CertificateTrust> self = this;
    askToTrustCertificate(browser, address, fingerprint, pinned, [self, key, address, fingerprint](bool trusted) {
        self->answered(key, address, fingerprint, trusted);
    });
}

void CertificateTrust::answered(const QString &key, const QString &address, const QByteArray &fingerprint,
                                bool trusted)
{
    const QString question = questionOf(key, fingerprint);
    // A pin that cannot be written still lets this run go on; the question
    // comes again at the next start.
    if (trusted && !pins.pin(key, fingerprint))
        notices->send(QString::fromUtf8("无法记住 %1 的证书：%2 不可写，下次启动时会再次询问。")
                          .arg(address, QDir::toNativeSeparators(QDir::current().absoluteFilePath(
                                            QString::fromLatin1(CertificatePins::defaultFileName)))));
    else if (!trusted)
        refused.push_back(question);
    std::vector<CefRefPtr<CefCallback>> waiting;
    waiting.swap(questions[question]);
    questions.erase(question);
    for (CefRefPtr<CefCallback> &waiter : waiting) {
        if (trusted)
            waiter->Continue();
        else
            waiter->Cancel();
    }
}
