#ifndef QCEFWEBVIEW_H
#define QCEFWEBVIEW_H

#include <atomic>

#include <QMutex>
#include <QUrl>
#include <QWidget>

#include "qcefclienthandler.h"

class NoticeBar;
class NotificationArea;

// The address a browser starts on when it is created before any URL is known.
extern const QString defaultStartAddress;

// A top-level widget that hosts one engine browser as a native child window,
// keeps it fitted to its size, loads URLs into it and turns the client
// handler's reports into signals.
//
// Threads: construction, destruction, load, createBrowser, the event handlers
// and the slots run on the Qt GUI thread. The listener callbacks run on the
// browser UI thread; the signals they emit reach receivers in the GUI thread
// queued, and any work on the widget is handed to the GUI thread.
class QCefWebView final : public QWidget, public QCefClientHandler::Listener
{
    Q_OBJECT
public:
    enum BrowserState {
        NoBrowser,
        Creating,
        Created
    };

    explicit QCefWebView(QWidget *parent = nullptr);
    ~QCefWebView() override;

    // Records the URL and loads it into the browser's main frame. Returns true
    // when the load was handed to the browser. A URL given while the browser
    // is being created is loaded as soon as the browser exists.
    bool load(const QUrl &url);

    // Asks the engine for the browser, a child window of this widget of the
    // given size. Returns true when this call made the request.
    bool createBrowser(const QSize &size);

    // Where browser creation stands. Any thread.
    BrowserState browserState() const { return state.load(); }

signals:
    void titleChanged(QString title);
    void urlChanged(QUrl url);
    void loadStarted();
    void loadFinished(bool ok);
    void navStateChanged(bool canGoBack, bool canGoForward);

public slots:
    void back();
    void forward();
    void reload();
    void stop();

private slots:
    void onTimerCreateBrowser();

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // The page takes the keyboard whenever the window becomes active: after
    // the login, a dialog, a file chooser or a popup.
    void changeEvent(QEvent *event) override;

    // QCefClientHandler::Listener methods, on the browser UI thread.
    void OnAddressChange(const QString &url) override;
    void OnLoadingStateChange(bool isLoading) override;
    void OnNavStateChange(bool canGoBack, bool canGoForward) override;
    void OnAfterCreated() override;
    void PostEvent(QEvent *event) override;
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title) override;
    // Shown in a notice at the bottom of the view, on the GUI thread.
    void OnNotice(const QString &text) override;
    // Shown over the page, on the GUI thread.
    void OnNotification(CefRefPtr<CefNotification> notification) override;
    void OnNotificationClosed(CefRefPtr<CefNotification> notification) override;

private:
    bool loadInBrowser(const QUrl &url);
    void resizeBrowser(const QSize &size);
    CefRefPtr<CefBrowser> getBrowser() const;
    // Moves the window to the top left corner of the screen.
    void moveToCorner();
    // GUI thread: what creation left to do once the browser exists.
    void finishCreation(bool fit);
    void showNotice(const QString &text);
    NotificationArea *notificationArea();

    // Shared with the browser UI thread.
    std::atomic<BrowserState> state;
    std::atomic<bool> resizePending;
    std::atomic<bool> skipNextLoadStart;
    std::atomic<bool> hasUrl;
    // GUI thread only.
    QUrl url;
    bool loadPending;
    // Serialises browser creation, and nothing else. Creation runs on the
    // GUI thread only, so the lock never waits; it stays as the view's one
    // documented lock, from the second test of the state to Creating.
    QMutex mutex;
    CefRefPtr<QCefClientHandler> clientHandler;
    NoticeBar *notice;
    NotificationArea *notifications;
};

#endif // QCEFWEBVIEW_H
