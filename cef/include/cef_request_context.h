// Request contexts: the browser data a browser uses.
#ifndef CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
#define CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
#pragma once

#include "include/cef_base.h"

///
/// A request context. Every browser of this engine uses the global context,
/// whose data lives in CefSettings.cache_path; pass null where one is asked.
///
class CefRequestContext : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
