// What the engine's drawing will run on, learnt before the engine starts.
#ifndef CEF_LIBCEF_RUNTIME_GPU_INFO_H_
#define CEF_LIBCEF_RUNTIME_GPU_INFO_H_
#pragma once

#include <QByteArray>

namespace cef {

///
/// GUI thread, with the application object in place and the engine not yet
/// loaded: the OpenGL renderer string (GL_RENDERER) of the context the
/// engine will share, or an empty string when there is no OpenGL.
///
QByteArray OpenGlRenderer();

///
/// Any thread: true when |renderer| names an OpenGL implementation that draws
/// on the CPU (Mesa's llvmpipe, softpipe and swrast, SwiftShader, Windows'
/// own fallbacks), for which the engine's GPU blocklist turns WebGL off.
///
bool IsSoftwareRenderer(const QByteArray& renderer);

///
/// The switch with which an application asks for WebGL under a software
/// OpenGL. It changes nothing on a GPU, whose blocklist stays in charge.
///
extern const char kEnableSoftwareWebGl[];

///
/// How the engine's views are drawn.
///
enum class Drawing {
  /// Qt Quick's OpenGL scene graph on a GPU.
  kGpu,
  /// The OpenGL scene graph on a software OpenGL, with the engine's GPU
  /// blocklist lifted so that pages get WebGL.
  kSoftwareOpenGl,
  /// Qt Quick's software scene graph: the engine composites on the CPU and
  /// pages get no WebGL. Far cheaper than drawing through a software OpenGL.
  kSoftware,
};

///
/// Any thread: the drawing for the OpenGL |renderer| (empty when there is no
/// OpenGL), with |webgl| when WebGL was asked for under a software OpenGL.
///
Drawing ChooseDrawing(const QByteArray& renderer, bool webgl);

}  // namespace cef

#endif  // CEF_LIBCEF_RUNTIME_GPU_INFO_H_
