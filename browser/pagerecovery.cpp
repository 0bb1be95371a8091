#include "pagerecovery.h"

#include <sstream>

#include <QString>

#include "include/internal/cef_types.h"
#include "starturl.h"

PageRecovery::PageRecovery(Reconnector reconnector)
    : reconnector(std::move(reconnector))
{
}

void PageRecovery::onRequest(bool mainFrame, const std::string &method)
{
    if (mainFrame)
        reconnector.onRequest(method);
}

void PageRecovery::onLoadStart(int browserId, bool mainFrame)
{
    errorPagesLoading.erase(browserId);
    if (mainFrame)
        reconnector.onLoadStart();
}

void PageRecovery::onLoadEnd(bool mainFrame, int httpStatusCode)
{
    if (mainFrame)
        reconnector.onLoadEnd(httpStatusCode);
}

void PageRecovery::onLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, bool mainFrame,
                               int errorCode, const CefString &errorText, const CefString &failedUrl)
{
    const auto ownPage = errorPagesLoading.find(browser->GetIdentifier());
    if (ownPage != errorPagesLoading.end()) {
        // The error page itself failed before it started: another error page
        // would only fail again, for ever.
        errorPagesLoading.erase(ownPage);
        if (mainFrame)
            reconnector.ownLoadFailed();
        return;
    }
    if (mainFrame)
        reconnector.onLoadError(errorCode, failedUrl.ToString());
    if (errorCode != ERR_ABORTED && !failedUrl.empty()) {
        // The error page is a load of its own; it does not end the retries.
        if (mainFrame)
            reconnector.expectOwnLoad();
        errorPagesLoading.insert(browser->GetIdentifier());
        frame->LoadString(CefString(errorPage(failedUrl, errorText, errorCode)), failedUrl);
    }
}

void PageRecovery::onRenderProcessTerminated(CefRefPtr<CefBrowser> browser, bool mainBrowser)
{
    // At most three recoveries a minute: beyond that the page itself is what
    // kills its renderer, and reloading it would only loop.
    std::deque<std::chrono::steady_clock::time_point> &recent = recoveries[browser->GetIdentifier()];
    const auto now = std::chrono::steady_clock::now();
    while (!recent.empty() && now - recent.front() > std::chrono::minutes(1))
        recent.pop_front();
    if (recent.size() >= 3)
        return;
    recent.push_back(now);
    if (mainBrowser)
        reconnector.expectOwnLoad();
    browser->Reload();
}

void PageRecovery::forget(int browserId, bool mainBrowser)
{
    recoveries.erase(browserId);
    errorPagesLoading.erase(browserId);
    if (mainBrowser)
        reconnector.stop();
}

std::string PageRecovery::errorPage(const CefString &failedUrl, const CefString &errorText, int errorCode)
{
    // A page may navigate to an address of any length; the error page shows
    // its start, cut between whole characters, so that it stays small.
    const std::string::size_type maxShown = 2048;
    std::string shown = maskPassword(failedUrl.ToQString()).toStdString();
    if (shown.size() > maxShown) {
        std::string::size_type cut = maxShown;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
            --cut;
        shown = shown.substr(0, cut) + "\u2026";
    }
    std::stringstream ss;
    ss << "<html><body bgcolor=\"white\"><h2>Failed to load URL "
       << QString::fromStdString(shown).toHtmlEscaped().toStdString() << " with error "
       << errorText.ToQString().toHtmlEscaped().toStdString() << " (" << errorCode << ").</h2></body></html>";
    return ss.str();
}
