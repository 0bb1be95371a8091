// The engine module's side of the runtime: the backend the runtime calls.
#include <QQuickWindow>

#include "libcef/engine/browser_context.h"
#include "libcef/engine/browser_host_impl.h"
#include "libcef/engine/browser_info_manager.h"
#include "libcef/runtime/backend.h"
#include "libcef/runtime/build_id.h"
#include "libcef/runtime/context.h"
#include "libcef/runtime/thread_util.h"

namespace QtWebEngineCore {
// The engine core's own entry for its sub-processes, exported by
// libQt5WebEngineCore; Qt's helper executable is nothing but a call to it.
int processMain(int argc, const char** argv);
}  // namespace QtWebEngineCore

namespace cef {

namespace {

class EngineBackend : public Backend {
 public:
  // Backend methods.
  int ProcessMain(int argc, const char** argv) override { return QtWebEngineCore::processMain(argc, argv); }

  void CreateBrowser(const CefWindowInfo& info,
                     CefRefPtr<CefClient> client,
                     const QString& url,
                     const CefBrowserSettings& settings,
                     int id) override {
    CefBrowserHostImpl::Create(info, client, url, settings, id);
  }

  void UseSoftwareSceneGraph() override {
    CEF_REQUIRE_GUI_THREAD();
    // Before the engine starts: it reads the choice to decide how it composites.
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
  }

  void CloseAllBrowsers() override { BrowserInfoManager::GetInstance()->DestroyAllBrowsers(); }

  void ReleaseProfile() override { BrowserContext::Release(); }
};

}  // namespace

}  // namespace cef

cef::Backend* cef_engine_backend() {
  static cef::EngineBackend backend;
  return &backend;
}

const char* cef_engine_build_id() {
  return CEF_BUILD_ID;
}
