#ifndef CERTIFICATEQUESTION_H
#define CERTIFICATEQUESTION_H

#include <functional>

#include <QByteArray>
#include <QString>

#include "include/cef_browser.h"

// Asks the user whether the platform at |address| may be trusted with the
// certificate whose SHA-256 fingerprint is |fingerprint|, which nobody the
// system trusts vouches for. With |pinned| empty it is the first certificate
// seen there; otherwise |pinned| is the one trusted before and the question
// warns that the certificate has changed, naming both. Refusing is the
// default button and the Escape button; trusting carries Alt+T.
//
// The question is a PageQuestion over |browser|'s window and returns at
// once; |answer| is called exactly once, on the GUI thread, with true to
// trust. It is refused when the window is gone or goes before the user
// answers. GUI thread only.
void askToTrustCertificate(CefRefPtr<CefBrowser> browser, const QString &address, const QByteArray &fingerprint,
                           const QByteArray &pinned, std::function<void(bool)> answer);

#endif // CERTIFICATEQUESTION_H
