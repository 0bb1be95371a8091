#include "qcefwebview.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QTimer>

#include "childwindow.h"
#include "guithread.h"
#include "include/cef_browser.h"
#include "include/wrapper/cef_helpers.h"
#include "noticebar.h"
#include "notificationarea.h"

// A blank page: the hidden browser makes no network request before the login.
const QString defaultStartAddress = QStringLiteral("about:blank");

QCefWebView::QCefWebView(QWidget *parent)
    : QWidget(parent)
    , state(NoBrowser)
    , resizePending(false)
    , skipNextLoadStart(false)
    , hasUrl(false)
    , url(QString())
    , loadPending(false)
    , notice(nullptr)
    , notifications(nullptr)
{
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(10, this, &QCefWebView::onTimerCreateBrowser);
    setWindowTitle(QString::fromUtf8("视频综合管理平台"));
}

QCefWebView::~QCefWebView()
{
    REQUIRE_GUI_THREAD();
    // Waits for a report that may be running on the browser UI thread; none
    // reaches this view afterwards.
    if (clientHandler)
        clientHandler->SetListener(nullptr);
}

bool QCefWebView::load(const QUrl &newUrl)
{
    REQUIRE_GUI_THREAD();
    url = newUrl;
    hasUrl = !newUrl.isEmpty();
    loadPending = false;
    if (clientHandler)
        clientHandler->SetPlatformUrl(newUrl);
    const bool creating = state.load() == Creating;
    if (creating)
        skipNextLoadStart = true;
    const bool loaded = loadInBrowser(newUrl);
    // The browser is not there yet: load the URL once it is.
    if (creating && !loaded && !newUrl.isEmpty())
        loadPending = true;
    return loaded;
}

bool QCefWebView::loadInBrowser(const QUrl &newUrl)
{
    if (newUrl.isEmpty())
        return false;
    CefRefPtr<CefBrowser> browser = getBrowser();
    if (!browser)
        return false;
    browser->GetMainFrame()->LoadURL(CefString(url.toString()));
    return true;
}

bool QCefWebView::createBrowser(const QSize &size)
{
    REQUIRE_GUI_THREAD();
    if (state.load() != NoBrowser || size.width() < 1 || size.height() < 1)
        return false;
    QMutexLocker locker(&mutex);
    if (state.load() != NoBrowser)
        return false;

    CefWindowInfo windowInfo;
    windowInfo.SetAsChild(static_cast<CefWindowHandle>(winId()), CefRect(0, 0, size.width(), size.height()));
    CefBrowserSettings browserSettings;

    clientHandler = new QCefClientHandler();
    clientHandler->SetListener(this);
    clientHandler->SetPlatformUrl(url);

    const QString startUrl = url.isEmpty() ? defaultStartAddress : url.toString();
    // The state moves on before the request, so that a browser reported at
    // once can never be set back to Creating.
    state = Creating;
    CefBrowserHost::CreateBrowser(windowInfo, clientHandler.get(), CefString(startUrl), browserSettings, nullptr);
    return true;
}

void QCefWebView::resizeBrowser(const QSize &size)
{
    REQUIRE_GUI_THREAD();
    CefRefPtr<CefBrowser> browser = getBrowser();
    if (!browser)
        return;
    const CefWindowHandle handle = browser->GetHost()->GetWindowHandle();
    if (!handle)
        return;
    placeChildWindow(handle, 0, 0, size.width(), size.height());
}

CefRefPtr<CefBrowser> QCefWebView::getBrowser() const
{
    if (!clientHandler)
        return nullptr;
    return clientHandler->GetBrowser();
}

void QCefWebView::back()
{
    if (CefRefPtr<CefBrowser> browser = getBrowser())
        browser->GoBack();
}

void QCefWebView::forward()
{
    if (CefRefPtr<CefBrowser> browser = getBrowser())
        browser->GoForward();
}

void QCefWebView::reload()
{
    if (CefRefPtr<CefBrowser> browser = getBrowser())
        browser->Reload();
}

void QCefWebView::stop()
{
    if (CefRefPtr<CefBrowser> browser = getBrowser())
        browser->StopLoad();
}

void QCefWebView::onTimerCreateBrowser()
{
    createBrowser(size());
    moveToCorner();
    resizeBrowser(size());
}

void QCefWebView::moveToCorner()
{
    // A maximized or full-screen window is placed by the window manager;
    // moving it would only make Qt forget its state, so that a later restore
    // went to the wrong size.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    move(QPoint(0, 0));
}

void QCefWebView::moveEvent(QMoveEvent *)
{
}

void QCefWebView::resizeEvent(QResizeEvent *)
{
    // The widget's size, not the event's: when the window manager maximizes
    // the window right as it maps it, the event may still name the size the
    // window had before, and the browser would stay at that size.
    switch (state.load()) {
    case NoBrowser:
        createBrowser(size());
        break;
    case Creating:
        resizePending = true;
        break;
    case Created:
        resizeBrowser(size());
        break;
    }
}

void QCefWebView::closeEvent(QCloseEvent *event)
{
    CefRefPtr<QCefClientHandler> handler = clientHandler;
    if (handler && handler->IsClosing()) {
        if (CefRefPtr<CefBrowser> browser = handler->GetBrowser())
            browser->GetHost()->CloseBrowser(false);
    }
    event->accept();
}

void QCefWebView::showEvent(QShowEvent *)
{
    createBrowser(size());
    moveToCorner();
    resizeBrowser(size());
}

void QCefWebView::hideEvent(QHideEvent *)
{
}

void QCefWebView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        if (CefRefPtr<CefBrowser> browser = getBrowser())
            browser->GetHost()->SetFocus(true);
    }
    QWidget::changeEvent(event);
}

void QCefWebView::OnAddressChange(const QString &address)
{
    emit urlChanged(QUrl(address, QUrl::TolerantMode));
}

void QCefWebView::OnLoadingStateChange(bool isLoading)
{
    if (!isLoading)
        return;
    if (skipNextLoadStart.exchange(false))
        return;
    // The URL itself belongs to the GUI thread; whether one is set is
    // mirrored for this thread.
    if (hasUrl)
        emit loadStarted();
}

void QCefWebView::OnNavStateChange(bool canGoBack, bool canGoForward)
{
    emit navStateChanged(canGoBack, canGoForward);
}

void QCefWebView::OnAfterCreated()
{
    CEF_REQUIRE_UI_THREAD();
    const bool fit = resizePending.exchange(false);
    state = Created;
    // The widget belongs to the GUI thread: fitting and the waiting load
    // happen there.
    postToGuiThread(this, [this, fit] { finishCreation(fit); });
}

void QCefWebView::finishCreation(bool fit)
{
    // A resize that came while the browser was being reported counts too.
    if (resizePending.exchange(false) || fit)
        resizeBrowser(size());
    if (loadPending) {
        loadPending = false;
        loadInBrowser(url);
    }
}

void QCefWebView::PostEvent(QEvent *event)
{
    QCoreApplication::postEvent(this, event, Qt::HighEventPriority);
}

void QCefWebView::OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title)
{
    browser = nullptr;
    emit titleChanged(title.ToQString());
}

void QCefWebView::OnNotice(const QString &text)
{
    postToGuiThread(this, [this, text] { showNotice(text); });
}

void QCefWebView::showNotice(const QString &text)
{
    REQUIRE_GUI_THREAD();
    if (!notice)
        notice = new NoticeBar(this);
    notice->post(text);
}

void QCefWebView::OnNotification(CefRefPtr<CefNotification> notification)
{
    postToGuiThread(this, [this, notification] { notificationArea()->add(notification); });
}

void QCefWebView::OnNotificationClosed(CefRefPtr<CefNotification> notification)
{
    postToGuiThread(this, [this, notification] {
        if (notifications)
            notifications->closedByPage(notification);
    });
}

NotificationArea *QCefWebView::notificationArea()
{
    REQUIRE_GUI_THREAD();
    if (!notifications)
        notifications = new NotificationArea(this);
    return notifications;
}
