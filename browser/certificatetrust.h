#ifndef CERTIFICATETRUST_H
#define CERTIFICATETRUST_H

#include <map>
#include <vector>

#include <QByteArray>
#include <QString>

#include "certificatepins.h"
#include "include/cef_request_handler.h"
#include "notices.h"
#include "platformorigin.h"

// Decides about certificates that nobody the system trusts vouches for. A
// certificate of the platform's host is let through when it is the one
// pinned for that host and port; otherwise the user is asked, once for all
// requests that meet it while the question is open, and trusting pins it.
// A refusal holds until the program ends. Every other host's certificate
// errors are refused without a question.
//
// Threads: onCertificateError runs on the browser UI thread; the decision,
// the pins and the engine's callback are on the GUI thread.
class CertificateTrust : public CefBaseRefCounted
{
public:
    // |platform| must outlive the calls of onCertificateError.
    CertificateTrust(const PlatformOrigin &platform, CefRefPtr<Notices> notices);

    // As CefRequestHandler's OnCertificateError: false to refuse at once.
    bool onCertificateError(CefRefPtr<CefBrowser> browser, const CefString &requestUrl,
                            CefRefPtr<CefSSLInfo> sslInfo, CefRefPtr<CefCallback> callback);

private:
    // GUI thread: lets certificate |fingerprint| of |key| ("host:port")
    // through if pinned, otherwise asks.
    void decide(CefRefPtr<CefBrowser> browser, const QString &key, const QString &address,
                const QByteArray &fingerprint, CefRefPtr<CefCallback> callback);
    void answered(const QString &key, const QString &address, const QByteArray &fingerprint, bool trusted);

    const PlatformOrigin &platform;
    const CefRefPtr<Notices> notices;
    // GUI thread only: the trusted certificates, the answers waiting for an
    // open question by key and fingerprint, and the certificates refused
    // until the program ends.
    CertificatePins pins;
    std::map<QString, std::vector<CefRefPtr<CefCallback>>> questions;
    std::vector<QString> refused;

    IMPLEMENT_REFCOUNTING(CertificateTrust);
};

#endif // CERTIFICATETRUST_H
