#ifndef RECORDINGCLIENT_H
#define RECORDINGCLIENT_H

#include <atomic>
#include <mutex>

#include <QList>
#include <QString>
#include <QStringList>

#include "include/cef_client.h"

// An engine client that records every callback as a line of text, with the
// thread it arrived on, so that tests can check order and threads.
class RecordingClient : public CefClient,
                        public CefDisplayHandler,
                        public CefJSDialogHandler,
                        public CefLifeSpanHandler,
                        public CefLoadHandler,
                        public CefRequestHandler
{
public:
    struct LoadError
    {
        int browserId;
        int code;
        QString text;
        QString failedUrl;
    };

    // Every recorded line, in order ("after-created 3", "title 3 Hello", ...).
    QStringList events() const;
    // Lines starting with |prefix|.
    QStringList events(const QString &prefix) const;
    QList<LoadError> loadErrors() const;
    // Browsers created and not yet closed, in order of creation.
    QList<CefRefPtr<CefBrowser>> browsers() const;
    CefRefPtr<CefBrowser> browser(int index) const;
    // Callbacks that did not arrive on the browser UI thread, or arrived on the
    // GUI thread.
    int wrongThreadCalls() const;
    void clear();

    // What DoClose answers.
    bool handleClose = false;
    // Whether OnCertificateError takes the error, keeping its callback in
    // certificateCallback for the test, or refuses it at once.
    bool takeCertificateErrors = false;
    CefRefPtr<CefCallback> certificateCallback;
    // Whether JavaScript dialogs are taken, recorded and left unanswered.
    std::atomic<bool> holdDialogs{false};

    CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
    CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return holdDialogs ? this : nullptr; }
    CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
    CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
    CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

    void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString &url) override;
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override;
    void OnFullscreenModeChange(CefRefPtr<CefBrowser> browser, bool fullscreen) override;
    bool OnConsoleMessage(CefRefPtr<CefBrowser> browser,
                          cef_log_severity_t level,
                          const CefString &message,
                          const CefString &source,
                          int line) override;
    bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString &originUrl, JSDialogType dialogType,
                    const CefString &messageText, const CefString &defaultPromptText,
                    CefRefPtr<CefJSDialogCallback> callback, bool &suppressMessage) override;
    void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
    bool DoClose(CefRefPtr<CefBrowser> browser) override;
    void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;
    void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack, bool canGoForward) override;
    void OnLoadError(CefRefPtr<CefBrowser> browser,
                     CefRefPtr<CefFrame> frame,
                     ErrorCode errorCode,
                     const CefString &errorText,
                     const CefString &failedUrl) override;
    void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override;
    bool OnCertificateError(CefRefPtr<CefBrowser> browser,
                            cef_errorcode_t certError,
                            const CefString &requestUrl,
                            CefRefPtr<CefSSLInfo> sslInfo,
                            CefRefPtr<CefCallback> callback) override;

    // Adds a line of the test's own, in order with the callbacks.
    void record(const QString &line);

private:
    mutable std::mutex lock;
    QStringList recorded;
    QList<LoadError> errors;
    QList<CefRefPtr<CefBrowser>> knownBrowsers;
    QList<CefRefPtr<CefJSDialogCallback>> heldDialogs;
    int wrongThread = 0;

    IMPLEMENT_REFCOUNTING(RecordingClient);
};

#endif // RECORDINGCLIENT_H
