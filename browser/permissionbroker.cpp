#include "permissionbroker.h"

#include <QStringList>

#include "guithread.h"
#include "pagedialogs.h"

PermissionBroker::PermissionBroker(const PlatformOrigin &platform, Ask ask)
    : platform(platform)
    , ask(ask ? std::move(ask) : Ask(askPermission))
{
}

void PermissionBroker::requestMedia(CefRefPtr<CefBrowser> browser, const QString &origin, uint32_t requested,
                                    CefRefPtr<CefMediaAccessCallback> callback)
{
    unsigned devices = 0;
    if (requested & CEF_MEDIA_PERMISSION_DEVICE_AUDIO_CAPTURE)
        devices |= Microphone;
    if (requested & CEF_MEDIA_PERMISSION_DEVICE_VIDEO_CAPTURE)
        devices |= Camera;
    // The screen is not asked for: the platform has no use for it.
    if (requested & ~uint32_t(CEF_MEDIA_PERMISSION_DEVICE_AUDIO_CAPTURE | CEF_MEDIA_PERMISSION_DEVICE_VIDEO_CAPTURE))
        devices = 0;
    request(browser, origin, devices, [callback, requested](bool allowed) {
        if (allowed)
            callback->Continue(requested);
        else
            callback->Cancel();
    });
}

void PermissionBroker::requestPrompt(CefRefPtr<CefBrowser> browser, const QString &origin, uint32_t requested,
                                     CefRefPtr<CefPermissionPromptCallback> callback)
{
    const unsigned devices = requested == CEF_PERMISSION_TYPE_NOTIFICATIONS ? unsigned(Notifications) : 0u;
    request(browser, origin, devices, [callback](bool allowed) {
        callback->Continue(allowed ? CEF_PERMISSION_RESULT_ACCEPT : CEF_PERMISSION_RESULT_DENY);
    });
}

void PermissionBroker::request(CefRefPtr<CefBrowser> browser, const QString &origin, unsigned devices,
                               std::function<void(bool)> answer)
{
    if (!devices || !platform.contains(QUrl(origin))) {
        answer(false);
        return;
    }
    CefRefPtr<PermissionBroker> self = this;
    Request request{browser, origin, devices, std::move(answer)};
    postToGuiThread([self, request] { self->decide(request); });
}

void PermissionBroker::decide(Request request)
{
    REQUIRE_GUI_THREAD();
    bool known = true;
    for (unsigned device = 1; device <= request.devices; device <<= 1) {
        if (!(request.devices & device))
            continue;
        const auto previous = answers.find(device);
        if (previous == answers.end()) {
            known = false;
        } else if (!previous->second) {
            // Refused once, refused until the program ends.
            request.answer(false);
            return;
        }
    }
    if (known) {
        request.answer(true);
        return;
    }
    if (asking) {
        waiting.push_back(std::move(request));
        return;
    }
    QStringList names;
    if (request.devices & Microphone)
        names << QString::fromUtf8("麦克风");
    if (request.devices & Camera)
        names << QString::fromUtf8("摄像头");
    if (request.devices & Notifications)
        names << QString::fromUtf8("通知");
    asking = true;
    CefRefPtr<PermissionBroker> self = this;
    const unsigned devices = request.devices;
    auto answer = std::move(request.answer);
    ask(request.browser, request.origin, names.join(QString::fromUtf8("和")),
        [self, devices, answer](bool byUser, bool allowed) { self->answered(devices, byUser, allowed, answer); });
}

void PermissionBroker::answered(unsigned devices, bool byUser, bool allowed, const std::function<void(bool)> &answer)
{
    asking = false;
    // A question closed with its window was not answered by the user, and
    // holds nothing for later requests.
    for (unsigned device = 1; device <= devices; device <<= 1) {
        if ((devices & device) && byUser)
            answers[device] = allowed;
    }
    answer(allowed);
    // Requests that came while the question was open are decided now, most
    // of them by this answer.
    std::vector<Request> next;
    next.swap(waiting);
    for (Request &request : next)
        decide(std::move(request));
}
