#include "qcefclienthandler.h"

#include <sstream>

#include "include/wrapper/cef_helpers.h"

namespace {

std::string escapeHtml(const std::string &text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

// The address with the value of "pass=" in its query, up to the end of the
// query, replaced by six asterisks, whatever its length.
std::string maskPassword(const std::string &url)
{
    const std::string::size_type query = url.find('?');
    if (query == std::string::npos)
        return url;
    const std::string::size_type fragment = url.find('#', query);
    const std::string::size_type end = fragment == std::string::npos ? url.size() : fragment;
    const std::string::size_type key = url.find("pass=", query);
    if (key == std::string::npos || key >= end)
        return url;
    const std::string::size_type value = key + 5;
    return url.substr(0, value) + "******" + url.substr(end);
}

} // namespace

QCefClientHandler::QCefClientHandler()
    : closing(false)
    , listener(nullptr)
    , mainBrowserId(0)
{
}

void QCefClientHandler::SetListener(Listener *newListener)
{
    std::lock_guard<std::mutex> guard(listenerLock);
    listener = newListener;
}

CefRefPtr<CefBrowser> QCefClientHandler::GetBrowser()
{
    std::lock_guard<std::mutex> guard(mainBrowserLock);
    return mainBrowser;
}

bool QCefClientHandler::IsClosing()
{
    return closing.load();
}

CefRefPtr<CefDisplayHandler> QCefClientHandler::GetDisplayHandler()
{
    return this;
}

CefRefPtr<CefLifeSpanHandler> QCefClientHandler::GetLifeSpanHandler()
{
    return this;
}

CefRefPtr<CefLoadHandler> QCefClientHandler::GetLoadHandler()
{
    return this;
}

CefRefPtr<CefRequestHandler> QCefClientHandler::GetRequestHandler()
{
    return this;
}

void QCefClientHandler::OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString &title)
{
    CEF_REQUIRE_UI_THREAD();
    std::lock_guard<std::mutex> guard(listenerLock);
    if (listener)
        listener->OnTitleChange(browser, title);
}

void QCefClientHandler::OnAfterCreated(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    bool becameMain = false;
    {
        std::lock_guard<std::mutex> guard(mainBrowserLock);
        if (!mainBrowser) {
            mainBrowser = browser;
            becameMain = true;
        }
    }
    if (becameMain) {
        mainBrowserId = browser->GetIdentifier();
        // Last, so that GetBrowser already answers while the listener runs.
        std::lock_guard<std::mutex> guard(listenerLock);
        if (listener)
            listener->OnAfterCreated();
    } else if (browser->IsPopup()) {
        popupBrowsers.push_back(browser);
    }
}

bool QCefClientHandler::DoClose(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    if (browser->GetIdentifier() == mainBrowserId)
        closing = true;
    return false;
}

void QCefClientHandler::OnBeforeClose(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    recoveries.erase(browser->GetIdentifier());
    if (browser->GetIdentifier() == mainBrowserId) {
        CefRefPtr<CefBrowser> released;
        {
            std::lock_guard<std::mutex> guard(mainBrowserLock);
            released.swap(mainBrowser);
        }
        // The reference is dropped here, outside the lock.
        return;
    }
    if (browser->IsPopup()) {
        for (auto it = popupBrowsers.begin(); it != popupBrowsers.end(); ++it) {
            if ((*it)->IsSame(browser)) {
                popupBrowsers.erase(it);
                break;
            }
        }
    }
}

void QCefClientHandler::OnLoadError(CefRefPtr<CefBrowser> browser,
                                    CefRefPtr<CefFrame> frame,
                                    ErrorCode errorCode,
                                    const CefString &errorText,
                                    const CefString &failedUrl)
{
    CEF_REQUIRE_UI_THREAD();
    (void)browser;
    if (errorCode == ERR_ABORTED)
        return;
    frame->LoadString(CefString(errorPage(failedUrl, errorText, errorCode)), failedUrl);
}

void QCefClientHandler::OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status)
{
    CEF_REQUIRE_UI_THREAD();
    (void)status;
    // At most three recoveries a minute: beyond that the page itself is what
    // kills its renderer, and reloading it would only loop.
    std::deque<std::chrono::steady_clock::time_point> &recent = recoveries[browser->GetIdentifier()];
    const auto now = std::chrono::steady_clock::now();
    while (!recent.empty() && now - recent.front() > std::chrono::minutes(1))
        recent.pop_front();
    if (recent.size() >= 3)
        return;
    recent.push_back(now);
    browser->Reload();
}

std::string QCefClientHandler::errorPage(const CefString &failedUrl, const CefString &errorText, int errorCode)
{
    std::stringstream ss;
    ss << "<html><body bgcolor=\"white\"><h2>Failed to load URL " << escapeHtml(maskPassword(failedUrl.ToString()))
       << " with error " << escapeHtml(errorText.ToString()) << " (" << errorCode << ").</h2></body></html>";
    return ss.str();
}
