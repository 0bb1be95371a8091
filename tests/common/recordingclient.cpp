#include "recordingclient.h"

#include <QCoreApplication>
#include <QThread>

#include "include/cef_task.h"

QStringList RecordingClient::events() const
{
    std::lock_guard<std::mutex> guard(lock);
    return recorded;
}

QStringList RecordingClient::events(const QString &prefix) const
{
    std::lock_guard<std::mutex> guard(lock);
    QStringList matching;
    for (const QString &line : recorded) {
        if (line.startsWith(prefix))
            matching << line;
    }
    return matching;
}

QList<RecordingClient::LoadError> RecordingClient::loadErrors() const
{
    std::lock_guard<std::mutex> guard(lock);
    return errors;
}

QList<CefRefPtr<CefBrowser>> RecordingClient::browsers() const
{
    std::lock_guard<std::mutex> guard(lock);
    return knownBrowsers;
}

CefRefPtr<CefBrowser> RecordingClient::browser(int index) const
{
    std::lock_guard<std::mutex> guard(lock);
    return index < knownBrowsers.size() ? knownBrowsers.at(index) : nullptr;
}

int RecordingClient::wrongThreadCalls() const
{
    std::lock_guard<std::mutex> guard(lock);
    return wrongThread;
}

void RecordingClient::clear()
{
    std::lock_guard<std::mutex> guard(lock);
    recorded.clear();
    errors.clear();
}

void RecordingClient::record(const QString &line)
{
    const bool onGui = QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
    std::lock_guard<std::mutex> guard(lock);
    if (onGui || !CefCurrentlyOn(TID_UI))
        ++wrongThread;
    recorded << line;
}

void RecordingClient::OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame>, const CefString &url)
{
    record(QStringLiteral("address %1 %2").arg(browser->GetIdentifier()).arg(url.ToQString()));
}

void RecordingClient::OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title)
{
    record(QStringLiteral("title %1 %2").arg(browser->GetIdentifier()).arg(title.ToQString()));
}

void RecordingClient::OnFullscreenModeChange(CefRefPtr<CefBrowser> browser, bool fullscreen)
{
    record(QStringLiteral("fullscreen %1 %2").arg(browser->GetIdentifier()).arg(fullscreen));
}

void RecordingClient::OnAfterCreated(CefRefPtr<CefBrowser> browser)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        knownBrowsers << browser;
    }
    record(QStringLiteral("after-created %1 %2").arg(browser->GetIdentifier()).arg(browser->IsPopup() ? "popup" : "main"));
}

bool RecordingClient::DoClose(CefRefPtr<CefBrowser> browser)
{
    record(QStringLiteral("do-close %1").arg(browser->GetIdentifier()));
    return handleClose;
}

void RecordingClient::OnBeforeClose(CefRefPtr<CefBrowser> browser)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        for (int i = 0; i < knownBrowsers.size(); ++i) {
            if (knownBrowsers.at(i)->IsSame(browser)) {
                knownBrowsers.removeAt(i);
                break;
            }
        }
    }
    record(QStringLiteral("before-close %1").arg(browser->GetIdentifier()));
}

void RecordingClient::OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack, bool canGoForward)
{
    record(QStringLiteral("loading %1 %2 %3 %4").arg(browser->GetIdentifier()).arg(isLoading).arg(canGoBack).arg(canGoForward));
}

void RecordingClient::OnLoadError(CefRefPtr<CefBrowser> browser,
                                  CefRefPtr<CefFrame>,
                                  ErrorCode errorCode,
                                  const CefString &errorText,
                                  const CefString &failedUrl)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        errors << LoadError{browser->GetIdentifier(), errorCode, errorText.ToQString(), failedUrl.ToQString()};
    }
    record(QStringLiteral("load-error %1 %2 %3").arg(browser->GetIdentifier()).arg(errorCode).arg(errorText.ToQString()));
}

bool RecordingClient::OnConsoleMessage(CefRefPtr<CefBrowser> browser,
                                       cef_log_severity_t level,
                                       const CefString &message,
                                       const CefString &,
                                       int)
{
    record(QStringLiteral("console %1 %2 %3").arg(browser->GetIdentifier()).arg(int(level)).arg(message.ToQString()));
    return true;
}

bool RecordingClient::OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString &, JSDialogType, const CefString &,
                                 const CefString &, CefRefPtr<CefJSDialogCallback> callback, bool &)
{
    record(QStringLiteral("dialog %1").arg(browser->GetIdentifier()));
    std::lock_guard<std::mutex> guard(lock);
    heldDialogs << callback;
    return true;
}

void RecordingClient::OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status)
{
    record(QStringLiteral("terminated %1 %2").arg(browser->GetIdentifier()).arg(int(status)));
}

bool RecordingClient::OnCertificateError(CefRefPtr<CefBrowser> browser,
                                         cef_errorcode_t certError,
                                         const CefString &requestUrl,
                                         CefRefPtr<CefSSLInfo> sslInfo,
                                         CefRefPtr<CefCallback> callback)
{
    CefRefPtr<CefBinaryValue> der = sslInfo->GetX509Certificate()->GetDEREncoded();
    // Kept before the line is recorded, so that a test that saw the line
    // finds the callback.
    if (takeCertificateErrors)
        certificateCallback = callback;
    record(QStringLiteral("certificate %1 %2 %3 %4")
               .arg(browser->GetIdentifier())
               .arg(int(certError))
               .arg(requestUrl.ToQString())
               .arg(QString::fromLatin1(
                   QByteArray(static_cast<const char *>(der->GetRawData()), int(der->GetSize())).toBase64())));
    return takeCertificateErrors;
}
