#ifndef PERMISSIONBROKER_H
#define PERMISSIONBROKER_H

#include <functional>
#include <map>
#include <vector>

#include <QString>

#include "include/cef_permission_handler.h"
#include "platformorigin.h"

// Decides what a page may use: a microphone, a camera or notifications. Only
// the platform's origin may ask; every other origin, and every other device,
// is refused without a question. The user is asked once per device, one
// question at a time; requests that come while a question is open wait for
// its answer. A refusal holds until the program ends.
//
// Threads: requestMedia and requestPrompt run on the browser UI thread and
// answer at once or hand the question to the GUI thread, where the engine's
// callback is answered.
class PermissionBroker : public CefBaseRefCounted
{
public:
    // Puts the question to the user, on the GUI thread; |answered| is false
    // when the window went first.
    using Ask = std::function<void(CefRefPtr<CefBrowser> browser, const QString &origin, const QString &devices,
                                   std::function<void(bool answered, bool allowed)> answer)>;

    // |platform| must outlive the calls of requestMedia and requestPrompt.
    explicit PermissionBroker(const PlatformOrigin &platform, Ask ask = nullptr);

    // Browser UI thread: a page's request for CEF_MEDIA_PERMISSION_* devices.
    void requestMedia(CefRefPtr<CefBrowser> browser, const QString &origin, uint32_t requested,
                      CefRefPtr<CefMediaAccessCallback> callback);
    // Browser UI thread: a page's request for CEF_PERMISSION_TYPE_* rights.
    void requestPrompt(CefRefPtr<CefBrowser> browser, const QString &origin, uint32_t requested,
                       CefRefPtr<CefPermissionPromptCallback> callback);

private:
    // Devices and permissions a page may ask for, as the user names them.
    enum Device : unsigned {
        Microphone = 1,
        Camera = 2,
        Notifications = 4
    };
    struct Request
    {
        CefRefPtr<CefBrowser> browser;
        QString origin;
        unsigned devices;
        std::function<void(bool)> answer;
    };

    // Browser UI thread: answers at once for any origin but the platform's,
    // otherwise hands the question to the GUI thread.
    void request(CefRefPtr<CefBrowser> browser, const QString &origin, unsigned devices,
                 std::function<void(bool)> answer);
    // GUI thread: answers from what the user said before, or asks.
    void decide(Request request);
    void answered(unsigned devices, bool byUser, bool allowed, const std::function<void(bool)> &answer);

    const PlatformOrigin &platform;
    const Ask ask;
    // GUI thread only: the user's answers by device, and the requests that
    // wait while a question is open.
    std::map<unsigned, bool> answers;
    bool asking = false;
    std::vector<Request> waiting;

    IMPLEMENT_REFCOUNTING(PermissionBroker);
};

#endif // PERMISSIONBROKER_H
