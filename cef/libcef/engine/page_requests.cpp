#include "libcef/engine/page_requests.h"

#include <atomic>
#include <memory>
#include <vector>

#include <QPointer>

#include "libcef/engine/browser_info_manager.h"
#include "libcef/engine/engine_page.h"
#include "libcef/engine/pending_reply.h"
#include "libcef/engine/ssl_info_impl.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace cef {

namespace {

struct DialogAnswer {
  bool handled = false;
  bool success = false;
  QString input;
  QStringList files;
};

DialogAnswer Cancelled() {
  DialogAnswer answer;
  answer.handled = true;
  return answer;
}

// Answers both kinds of dialog; released unanswered, it cancels.
class DialogCallback : public CefJSDialogCallback, public CefFileDialogCallback {
 public:
  explicit DialogCallback(std::shared_ptr<PendingReply<DialogAnswer>> reply) : reply_(std::move(reply)) {}
  ~DialogCallback() override { reply_->Set(Cancelled()); }

  // CefJSDialogCallback methods.
  void Continue(bool success, const CefString& user_input) override {
    DialogAnswer answer = Cancelled();
    answer.success = success;
    answer.input = user_input.ToQString();
    reply_->Set(answer);
  }

  // CefFileDialogCallback methods.
  void Continue(int selected_accept_filter, const std::vector<CefString>& file_paths) override {
    (void)selected_accept_filter;
    DialogAnswer answer = Cancelled();
    answer.success = true;
    for (const CefString& path : file_paths)
      answer.files << path.ToQString();
    reply_->Set(answer);
  }
  void Cancel() override { reply_->Set(Cancelled()); }

 private:
  const std::shared_ptr<PendingReply<DialogAnswer>> reply_;
  IMPLEMENT_REFCOUNTING(DialogCallback);
  DISALLOW_COPY_AND_ASSIGN(DialogCallback);
};

// Answers a permission request once; released unanswered, it refuses.
class PermissionCallback : public CefMediaAccessCallback, public CefPermissionPromptCallback {
 public:
  PermissionCallback(QWebEnginePage* page, const QUrl& origin, QWebEnginePage::Feature feature, uint32_t requested)
      : page_(page), origin_(origin), feature_(feature), requested_(requested) {}
  ~PermissionCallback() override { Give(false); }

  // CefMediaAccessCallback methods.
  void Continue(uint32_t allowed_permissions) override {
    Give(requested_ != 0 && (allowed_permissions & requested_) == requested_);
  }
  void Cancel() override { Give(false); }

  // CefPermissionPromptCallback methods.
  void Continue(cef_permission_request_result_t result) override { Give(result == CEF_PERMISSION_RESULT_ACCEPT); }

 private:
  void Give(bool granted) {
    if (given_.exchange(true))
      return;
    CEF_POST_GUI_TASK(
        BindOnce(&QWebEnginePage::setFeaturePermission, page_, origin_, feature_,
                 granted ? QWebEnginePage::PermissionGrantedByUser : QWebEnginePage::PermissionDeniedByUser));
  }

  // Dereferenced on the GUI thread only.
  const QPointer<QWebEnginePage> page_;
  const QUrl origin_;
  const QWebEnginePage::Feature feature_;
  const uint32_t requested_;
  std::atomic<bool> given_{false};
  IMPLEMENT_REFCOUNTING(PermissionCallback);
  DISALLOW_COPY_AND_ASSIGN(PermissionCallback);
};

// Answers a certificate error once; released unanswered, it refuses.
class CertificateCallback : public CefCallback {
 public:
  CertificateCallback(EnginePage* page, int serial) : page_(page), serial_(serial) {}
  ~CertificateCallback() override { Give(false); }

  // CefCallback methods.
  void Continue() override { Give(true); }
  void Cancel() override { Give(false); }

 private:
  void Give(bool go_on) {
    if (given_.exchange(true))
      return;
    CEF_POST_GUI_TASK(BindOnce(&EnginePage::AnswerCertificateError, page_, serial_, go_on));
  }

  // Dereferenced on the GUI thread only.
  const QPointer<EnginePage> page_;
  const int serial_;
  std::atomic<bool> given_{false};
  IMPLEMENT_REFCOUNTING(CertificateCallback);
  DISALLOW_COPY_AND_ASSIGN(CertificateCallback);
};

// What each engine feature asks of the client: media access, or another
// permission through a prompt.
struct FeaturePermission {
  QWebEnginePage::Feature feature;
  uint32_t media;
  uint32_t other;
};

const FeaturePermission kFeaturePermissions[] = {
    {QWebEnginePage::MediaAudioCapture, CEF_MEDIA_PERMISSION_DEVICE_AUDIO_CAPTURE, CEF_PERMISSION_TYPE_NONE},
    {QWebEnginePage::MediaVideoCapture, CEF_MEDIA_PERMISSION_DEVICE_VIDEO_CAPTURE, CEF_PERMISSION_TYPE_NONE},
    {QWebEnginePage::MediaAudioVideoCapture,
     CEF_MEDIA_PERMISSION_DEVICE_AUDIO_CAPTURE | CEF_MEDIA_PERMISSION_DEVICE_VIDEO_CAPTURE, CEF_PERMISSION_TYPE_NONE},
    {QWebEnginePage::DesktopVideoCapture, CEF_MEDIA_PERMISSION_DESKTOP_VIDEO_CAPTURE, CEF_PERMISSION_TYPE_NONE},
    {QWebEnginePage::DesktopAudioVideoCapture,
     CEF_MEDIA_PERMISSION_DESKTOP_AUDIO_CAPTURE | CEF_MEDIA_PERMISSION_DESKTOP_VIDEO_CAPTURE, CEF_PERMISSION_TYPE_NONE},
    {QWebEnginePage::Notifications, CEF_MEDIA_PERMISSION_NONE, CEF_PERMISSION_TYPE_NOTIFICATIONS},
    {QWebEnginePage::Geolocation, CEF_MEDIA_PERMISSION_NONE, CEF_PERMISSION_TYPE_GEOLOCATION},
    {QWebEnginePage::MouseLock, CEF_MEDIA_PERMISSION_NONE, CEF_PERMISSION_TYPE_POINTER_LOCK},
};

CefRefPtr<CefBrowserHostImpl> BrowserFor(QWebEnginePage* page) {
  return BrowserInfoManager::GetInstance()->GetBrowserForPage(page);
}

// The origin alone: scheme, host and port, as dialogs name it.
QString OriginText(const QUrl& origin) {
  return origin.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
      .toString();
}

// Runs |ask| on the browser UI thread and waits for the client's answer;
// |ask| returns whether the client took the dialog. The page's view going
// meanwhile cancels the wait.
bool AskClient(QWebEnginePage* page,
               CefRefPtr<CefBrowserHostImpl> browser,
               std::function<bool(CefRefPtr<CefBrowserHostImpl>, CefRefPtr<DialogCallback>, bool*)> ask,
               DialogAnswer* answer) {
  auto reply = std::make_shared<PendingReply<DialogAnswer>>();
  CefRefPtr<DialogCallback> callback = new DialogCallback(reply);
  // Not behind events held back for a load error: reading that error takes
  // the engine's own tasks, which do not run while the GUI thread waits here.
  Context::PostUiTask([browser, ask, reply, callback]() mutable {
    bool suppress = false;
    if (!ask(browser, callback, &suppress)) {
      // Declined: the engine's own dialog, or none at all when suppressed.
      DialogAnswer declined = suppress ? Cancelled() : DialogAnswer();
      reply->Set(declined);
    }
    callback = nullptr;
  });
  callback = nullptr;
  EnginePage* engine_page = qobject_cast<EnginePage*>(page);
  if (engine_page)
    engine_page->BeginDialog([reply] { reply->Set(Cancelled()); });
  // Quitting while the client decides: the page gets Cancel.
  if (!reply->Wait(answer))
    *answer = Cancelled();
  if (engine_page)
    engine_page->EndDialog();
  return answer->handled;
}

}  // namespace

std::optional<DialogReply> RunJavaScriptDialog(QWebEnginePage* page,
                                               PageDialog kind,
                                               const QUrl& origin,
                                               const QString& message,
                                               const QString& default_text) {
  Q_ASSERT(Context::CurrentlyOnGui());
  // A page whose window has gone raises no more dialogs, the engine's own
  // included.
  EnginePage* engine_page = qobject_cast<EnginePage*>(page);
  if (engine_page && engine_page->Released())
    return DialogReply();
  CefRefPtr<CefBrowserHostImpl> browser = BrowserFor(page);
  if (!browser)
    return std::nullopt;
  const QString origin_text = OriginText(origin);
  DialogAnswer answer;
  const bool handled = AskClient(
      page, browser,
      [kind, origin_text, message, default_text](CefRefPtr<CefBrowserHostImpl> browser,
                                                 CefRefPtr<DialogCallback> callback, bool* suppress) {
        CefRefPtr<CefJSDialogHandler> handler = browser->GetClient()->GetJSDialogHandler();
        if (!handler)
          return false;
        if (kind == PageDialog::kBeforeUnload)
          return handler->OnBeforeUnloadDialog(browser.get(), CefString(message), false, callback.get());
        const cef_jsdialog_type_t type = kind == PageDialog::kAlert     ? JSDIALOGTYPE_ALERT
                                         : kind == PageDialog::kConfirm ? JSDIALOGTYPE_CONFIRM
                                                                        : JSDIALOGTYPE_PROMPT;
        return handler->OnJSDialog(browser.get(), CefString(origin_text), type, CefString(message),
                                   CefString(default_text), callback.get(), *suppress);
      },
      &answer);
  if (!handled)
    return std::nullopt;
  return DialogReply{answer.success, answer.input};
}

bool RunFileDialog(QWebEnginePage* page,
                   QWebEnginePage::FileSelectionMode mode,
                   const QStringList& old_files,
                   const QStringList& accepted_types,
                   QStringList* files) {
  Q_ASSERT(Context::CurrentlyOnGui());
  CefRefPtr<CefBrowserHostImpl> browser = BrowserFor(page);
  if (!browser)
    return false;
  // Beyond the two public modes the engine passes folder upload (2) and
  // save (3) through the same type.
  cef_file_dialog_mode_t cef_mode = FILE_DIALOG_OPEN;
  switch (static_cast<int>(mode)) {
    case QWebEnginePage::FileSelectOpenMultiple:
      cef_mode = FILE_DIALOG_OPEN_MULTIPLE;
      break;
    case 2:
      cef_mode = FILE_DIALOG_OPEN_FOLDER;
      break;
    case 3:
      cef_mode = FILE_DIALOG_SAVE;
      break;
    default:
      break;
  }
  const QString default_path = old_files.value(0);
  DialogAnswer answer;
  const bool handled = AskClient(
      page, browser,
      [cef_mode, default_path, accepted_types](CefRefPtr<CefBrowserHostImpl> browser,
                                               CefRefPtr<DialogCallback> callback, bool*) {
        CefRefPtr<CefDialogHandler> handler = browser->GetClient()->GetDialogHandler();
        if (!handler)
          return false;
        std::vector<CefString> filters;
        for (const QString& type : accepted_types)
          filters.push_back(CefString(type));
        return handler->OnFileDialog(browser.get(), cef_mode, CefString(), CefString(default_path), filters, 0,
                                     callback.get());
      },
      &answer);
  if (!handled)
    return false;
  *files = answer.files;
  return true;
}

void RequestPermission(CefRefPtr<CefBrowserHostImpl> browser,
                       QWebEnginePage* page,
                       const QUrl& origin,
                       QWebEnginePage::Feature feature) {
  Q_ASSERT(Context::CurrentlyOnGui());
  uint32_t media = CEF_MEDIA_PERMISSION_NONE;
  uint32_t other = CEF_PERMISSION_TYPE_NONE;
  for (const FeaturePermission& known : kFeaturePermissions) {
    if (known.feature == feature) {
      media = known.media;
      other = known.other;
      break;
    }
  }
  static std::atomic<uint64_t> next_prompt_id{1};
  const uint64_t prompt_id = next_prompt_id.fetch_add(1);
  const QString origin_text = OriginText(origin);
  CefRefPtr<PermissionCallback> callback = new PermissionCallback(page, origin, feature, media | other);
  browser->Deliver([media, other, prompt_id, origin_text, callback](CefRefPtr<CefBrowserHostImpl> browser) mutable {
    bool taken = false;
    if (CefRefPtr<CefPermissionHandler> handler = browser->GetClient()->GetPermissionHandler()) {
      if (media)
        taken = handler->OnRequestMediaAccessPermission(browser.get(), browser->GetMainFrame(),
                                                        CefString(origin_text), media, callback.get());
      else
        taken = handler->OnShowPermissionPrompt(browser.get(), prompt_id, CefString(origin_text), other,
                                                callback.get());
    }
    if (!taken)
      callback->Cancel();
    callback = nullptr;
  });
}

void RequestCertificateDecision(CefRefPtr<CefBrowserHostImpl> browser,
                                EnginePage* page,
                                int serial,
                                const QWebEngineCertificateError& error) {
  Q_ASSERT(Context::CurrentlyOnGui());
  const cef_errorcode_t code = static_cast<cef_errorcode_t>(error.error());
  const QString url = error.url().toString();
  CefRefPtr<CefSSLInfo> ssl_info = new SSLInfoImpl(code, error.certificateChain());
  CefRefPtr<CertificateCallback> callback = new CertificateCallback(page, serial);
  browser->Deliver([code, url, ssl_info, callback](CefRefPtr<CefBrowserHostImpl> browser) mutable {
    bool taken = false;
    if (CefRefPtr<CefRequestHandler> handler = browser->GetClient()->GetRequestHandler())
      taken = handler->OnCertificateError(browser.get(), code, CefString(url), ssl_info, callback.get());
    if (!taken)
      callback->Cancel();
    callback = nullptr;
  });
}

}  // namespace cef
