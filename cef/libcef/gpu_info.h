// What the engine's drawing will run on, learnt before the engine starts.
#ifndef CEF_LIBCEF_GPU_INFO_H_
#define CEF_LIBCEF_GPU_INFO_H_
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

}  // namespace cef

#endif  // CEF_LIBCEF_GPU_INFO_H_
