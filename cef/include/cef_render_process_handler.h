// Handler for the render process.
#ifndef CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
#pragma once

#include "include/cef_base.h"

///
/// Render process handler. Renderers run the engine's own code only, so
/// nothing calls one.
///
class CefRenderProcessHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
