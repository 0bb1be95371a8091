#include "libcef/runtime/backend.h"

#include <cstdio>
#include <string>

#include <QApplication>
#include <QMessageBox>
#include <QOpenGLContext>

#include "include/cef_command_line.h"
#include "libcef/runtime/build_id.h"
#include "libcef/runtime/engine_module.h"
#include "libcef/runtime/gpu_info.h"

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
// expects to find the context in place and warns otherwise, even when the
// views will be drawn without OpenGL. So it is made here, just before the
// module loads, as Qt WebEngine would make it; the renderer is read from it.
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

// How the views are drawn, decided once the driver is loaded for the shared
// context and before the engine reads its switches. Under a software OpenGL
// the engine's GPU blocklist turns WebGL off, although WebGL works there: the
// blocklist is lifted when the application asks for WebGL, and otherwise the
// views do without OpenGL, which costs a camera wall less than half the CPU.
Drawing PrepareDrawing() {
  const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  const bool lifted = flags.contains("--ignore-gpu-blocklist");
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  const bool webgl = lifted || (command_line && command_line->HasSwitch(kEnableSoftwareWebGl));
  const Drawing drawing = ChooseDrawing(OpenGlRenderer(), webgl);
  if (drawing == Drawing::kSoftwareOpenGl && !lifted)
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --ignore-gpu-blocklist").trimmed());
  return drawing;
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
  Drawing drawing = Drawing::kGpu;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    EnsureGlobalShareContext();
    drawing = PrepareDrawing();
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
  if (drawing == Drawing::kSoftware)
    g_backend->UseSoftwareSceneGraph();
  return g_backend;
}

Backend* LoadedBackend() {
  return g_backend;
}

}  // namespace cef
