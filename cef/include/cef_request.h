// A request a browser makes.
#ifndef CEF_INCLUDE_CEF_REQUEST_H_
#define CEF_INCLUDE_CEF_REQUEST_H_
#pragma once

#include "include/cef_base.h"

///
/// A request, as the engine makes it. Read-only here; may be read on any
/// thread.
///
class CefRequest : public virtual CefBaseRefCounted {
 public:
  /// The fully qualified address.
  virtual CefString GetURL() = 0;
  /// The method: "GET", "POST" and the like.
  virtual CefString GetMethod() = 0;
};

#endif  // CEF_INCLUDE_CEF_REQUEST_H_
