#include "libcef/runtime/gpu_info.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScopedPointer>

namespace cef {

const char kEnableSoftwareWebGl[] = "enable-software-webgl";

QByteArray OpenGlRenderer() {
  // Qt's global shared context, made just before the engine loads, has
  // loaded the driver already, so asking it costs about a millisecond.
  // Without one, a context of our own does the same.
  QOpenGLContext* context = QOpenGLContext::globalShareContext();
  QScopedPointer<QOpenGLContext> own;
  if (!context) {
    own.reset(new QOpenGLContext());
    if (!own->create())
      return QByteArray();
    context = own.data();
  }
  QOffscreenSurface surface;
  surface.setFormat(context->format());
  surface.create();
  if (!surface.isValid() || !context->makeCurrent(&surface))
    return QByteArray();
  const QByteArray renderer(reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER)));
  context->doneCurrent();
  return renderer;
}

bool IsSoftwareRenderer(const QByteArray& renderer) {
  // Hardware drivers built on LLVM name "LLVM" too ("AMD Radeon ... LLVM
  // 15.0.6"), so the software ones are named whole.
  static const char* const kSoftware[] = {
      "llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader",
      "gdi generic", "microsoft basic render driver",
  };
  const QByteArray name = renderer.toLower();
  for (const char* software : kSoftware) {
    if (name.contains(software))
      return true;
  }
  return false;
}

Drawing ChooseDrawing(const QByteArray& renderer, bool webgl) {
  // Without OpenGL the software scene graph is the only one that can draw.
  if (renderer.isEmpty())
    return Drawing::kSoftware;
  if (!IsSoftwareRenderer(renderer))
    return Drawing::kGpu;
  return webgl ? Drawing::kSoftwareOpenGl : Drawing::kSoftware;
}

}  // namespace cef
