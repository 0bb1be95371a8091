#ifndef FAKEBROWSER_H
#define FAKEBROWSER_H

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_frame.h"

// A frame that records what it is asked to load instead of loading it.
class FakeFrame : public CefFrame
{
public:
    struct StringLoad
    {
        std::string content; // UTF-8
        std::u16string url;  // exactly as passed
    };

    std::vector<StringLoad> stringLoads() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return stringLoads_;
    }
    std::vector<std::u16string> urlLoads() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return urlLoads_;
    }

    bool IsValid() override { return true; }
    void LoadURL(const CefString &url) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        urlLoads_.push_back(url.ToString16());
    }
    // Records empty arguments too, unlike a real frame, so that a test can
    // see what the caller passed.
    void LoadString(const CefString &content, const CefString &url) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        stringLoads_.push_back({content.ToString(), url.ToString16()});
    }
    void ExecuteJavaScript(const CefString &, const CefString &, int) override {}
    void GetSource(CefRefPtr<CefStringVisitor>) override {}
    void GetText(CefRefPtr<CefStringVisitor>) override {}
    bool IsMain() override { return true; }
    int64_t GetIdentifier() override { return 1; }
    CefString GetURL() override { return CefString(); }
    // No back reference: it would keep the browser alive and skew the
    // reference counts that tests look at.
    CefRefPtr<CefBrowser> GetBrowser() override { return nullptr; }

private:
    mutable std::mutex lock_;
    std::vector<StringLoad> stringLoads_;
    std::vector<std::u16string> urlLoads_;
    IMPLEMENT_REFCOUNTING(FakeFrame);
};

// A browser and its host in one object, with a readable reference count, so
// that a test can tell whether the handler holds a reference to it.
class FakeBrowser : public CefBrowser, public CefBrowserHost
{
public:
    FakeBrowser(int id, bool popup)
        : id_(id)
        , popup_(popup)
        , mainFrame_(new FakeFrame())
    {
    }

    int refs() const { return refs_.load(); }
    CefRefPtr<FakeFrame> mainFrame() const { return mainFrame_; }

    void AddRef() const override { refs_.fetch_add(1, std::memory_order_relaxed); }
    bool Release() const override
    {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete this;
            return true;
        }
        return false;
    }
    bool HasOneRef() const override { return refs_.load() == 1; }
    bool HasAtLeastOneRef() const override { return refs_.load() >= 1; }

    // CefBrowser
    CefRefPtr<CefBrowserHost> GetHost() override { return this; }
    bool CanGoBack() override { return false; }
    void GoBack() override {}
    bool CanGoForward() override { return false; }
    void GoForward() override {}
    bool IsLoading() override { return false; }
    void Reload() override {}
    void ReloadIgnoreCache() override {}
    void StopLoad() override {}
    int GetIdentifier() override { return id_; }
    // By identifier, as the engine compares browsers: two objects may stand
    // for one browser.
    bool IsSame(CefRefPtr<CefBrowser> that) override { return that && that->GetIdentifier() == id_; }
    bool IsPopup() override { return popup_; }
    bool HasDocument() override { return true; }
    CefRefPtr<CefFrame> GetMainFrame() override { return mainFrame_.get(); }

    // CefBrowserHost
    CefRefPtr<CefBrowser> GetBrowser() override { return this; }
    void CloseBrowser(bool) override {}
    CefWindowHandle GetWindowHandle() override { return 0; }
    CefRefPtr<CefClient> GetClient() override { return nullptr; }
    void SetFocus(bool) override {}

private:
    ~FakeBrowser() override = default;

    const int id_;
    const bool popup_;
    const CefRefPtr<FakeFrame> mainFrame_;
    mutable std::atomic<int> refs_{0};
};

#endif // FAKEBROWSER_H
