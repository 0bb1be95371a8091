#ifndef FAKEBROWSER_H
#define FAKEBROWSER_H

#include <QList>
#include <QString>

#include "include/cef_browser.h"
#include "include/cef_frame.h"

// A frame that records what it is asked to show instead of showing it: the
// content as UTF-8 (none for LoadURL) and the address exactly as passed.
// Read it once the calls into it have returned (runOnUi).
class FakeFrame : public CefFrame
{
public:
    QList<QPair<QByteArray, QString>> loads;

    void LoadURL(const CefString &url) override { loads.append({QByteArray(), url.ToQString()}); }
    // Records empty arguments too, unlike a real frame.
    void LoadString(const CefString &content, const CefString &url) override
    {
        loads.append({QByteArray::fromStdString(content.ToString()), QString::fromStdU16String(url.ToString16())});
    }
    bool IsValid() override { return true; }
    void ExecuteJavaScript(const CefString &, const CefString &, int) override {}
    void GetSource(CefRefPtr<CefStringVisitor>) override {}
    void GetText(CefRefPtr<CefStringVisitor>) override {}
    bool IsMain() override { return true; }
    int64_t GetIdentifier() override { return 1; }
    CefString GetURL() override { return CefString(); }
    // No back reference: it would skew the browser's reference count.
    CefRefPtr<CefBrowser> GetBrowser() override { return nullptr; }

    IMPLEMENT_REFCOUNTING(FakeFrame);
};

// A browser and its host in one object. With only the test's reference
// left, HasOneRef() tells that the handler holds none.
class FakeBrowser : public CefBrowser, public CefBrowserHost
{
public:
    FakeBrowser(int id, bool popup) : id(id), popup(popup) {}

    int GetIdentifier() override { return id; }
    // By identifier, as the engine compares browsers: two objects may stand
    // for one browser.
    bool IsSame(CefRefPtr<CefBrowser> that) override { return that && that->GetIdentifier() == id; }
    bool IsPopup() override { return popup; }
    // None: a handler that used it instead of the failed frame would crash.
    CefRefPtr<CefFrame> GetMainFrame() override { return nullptr; }
    CefRefPtr<CefBrowserHost> GetHost() override { return this; }
    CefRefPtr<CefBrowser> GetBrowser() override { return this; }
    bool CanGoBack() override { return false; }
    bool CanGoForward() override { return false; }
    bool IsLoading() override { return false; }
    bool HasDocument() override { return true; }
    void GoBack() override {}
    void GoForward() override {}
    // Asked for on the browser UI thread; read once those calls have returned.
    int reloads = 0;
    void Reload() override { ++reloads; }
    void ReloadIgnoreCache() override {}
    void StopLoad() override {}
    void CloseBrowser(bool) override {}
    CefWindowHandle GetWindowHandle() override { return 0; }
    CefRefPtr<CefClient> GetClient() override { return nullptr; }
    void SetFocus(bool) override {}
    double GetZoomLevel() override { return 0.0; }
    void SetZoomLevel(double) override {}
    void Zoom(cef_zoom_command_t) override {}

private:
    ~FakeBrowser() override = default;

    const int id;
    const bool popup;
    IMPLEMENT_REFCOUNTING(FakeBrowser);
};

#endif // FAKEBROWSER_H
