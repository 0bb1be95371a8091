#include "libcef/backend.h"

#include <cstdio>
#include <string>

#include <QApplication>
#include <QMessageBox>
#include <QOpenGLContext>

#include "libcef/build_id.h"
#include "libcef/engine_module.h"
#include "libcef/gpu_info.h"

QT_BEGIN_NAMESPACE
// Qt's global shared OpenGL context, which QOpenGLContext::globalShareContext
// returns; QtGui exports the setter for Qt's own modules.
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace cef {

namespace {

Backend* g_backend = nullptr;
QOpenGLContext* g_share_context = nullptr;

void DeleteShareContext() {
  qt_gl_set_global_share_context(nullptr);
  delete g_share_context;
  g_share_context = nullptr;
}

// The engine draws through contexts that share with Qt's global one. Qt
// WebEngine makes that context inside the QApplication constructor when the
// program links it, which costs the first window its start; loaded later, it
// expects to find the context in place and warns otherwise. So it is made
// here, just before the module loads, as Qt WebEngine would make it.
void EnsureGlobalShareContext() {
  if (qt_gl_global_share_context())
    return;
  g_share_context = new QOpenGLContext();
  g_share_context->setFormat(QSurfaceFormat::defaultFormat());
  g_share_context->create();
  qt_gl_set_global_share_context(g_share_context);
  // Before the application object goes, while OpenGL is still there.
  qAddPostRoutine(DeleteShareContext);
}

// Under a software OpenGL the engine's GPU blocklist turns WebGL off,
// although WebGL works there; on a real GPU the blocklist stays in charge.
// Decided once the driver is loaded for the shared context, before the
// engine reads its switches.
void LiftBlocklistForSoftwareOpenGl() {
  const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (flags.contains("--ignore-gpu-blocklist") || !IsSoftwareRenderer(OpenGlRenderer()))
    return;
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --ignore-gpu-blocklist").trimmed());
}

// A program started from a desktop entry has no terminal: the user is told
// what is missing, and the program ends with an error once the box closes.
void ReportMissingEngine(const std::string& error) {
  std::fprintf(stderr, "The browser engine cannot be loaded: %s\n", error.c_str());
  static bool reported = false;
  if (reported || !qobject_cast<QApplication*>(QCoreApplication::instance()))
    return;
  reported = true;
  QMessageBox* box = new QMessageBox(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                                     QString::fromUtf8("无法加载浏览器引擎，程序将退出。"), QMessageBox::Ok);
  box->setInformativeText(QString::fromStdString(error));
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QMessageBox::finished, [] { QCoreApplication::exit(1); });
  box->open();
}

}  // namespace

Backend* GetBackend() {
  if (g_backend)
    return g_backend;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    EnsureGlobalShareContext();
    LiftBlocklistForSoftwareOpenGl();
  }
  std::string error;
  using Entry = Backend* (*)();
  const Entry entry =
      reinterpret_cast<Entry>(FindEngineModuleFunction("cef_engine_backend", CEF_ENGINE_MODULE_FILE, &error));
  using BuildId = const char* (*)();
  const BuildId build_id =
      entry ? reinterpret_cast<BuildId>(FindEngineModuleFunction("cef_engine_build_id", CEF_ENGINE_MODULE_FILE, &error))
            : nullptr;
  if (!entry || !build_id) {
    ReportMissingEngine(error);
    return nullptr;
  }
  if (std::string(build_id()) != CEF_BUILD_ID) {
    ReportMissingEngine(std::string(CEF_ENGINE_MODULE_FILE) + " comes from another build than the program");
    return nullptr;
  }
  g_backend = entry();
  return g_backend;
}

Backend* LoadedBackend() {
  return g_backend;
}

}  // namespace cef
