// A request as the engine reported it.
#ifndef CEF_LIBCEF_ENGINE_REQUEST_IMPL_H_
#define CEF_LIBCEF_ENGINE_REQUEST_IMPL_H_
#pragma once

#include <QString>

#include "include/cef_request.h"

namespace cef {

/// Immutable: made on the GUI thread, read on any.
class RequestImpl : public CefRequest {
 public:
  RequestImpl(const QString& url, const QString& method) : url_(url), method_(method) {}

  // CefRequest methods.
  CefString GetURL() override { return CefString(url_); }
  CefString GetMethod() override { return CefString(method_); }

 private:
  const QString url_;
  const QString method_;
  IMPLEMENT_REFCOUNTING(RequestImpl);
  DISALLOW_COPY_AND_ASSIGN(RequestImpl);
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_REQUEST_IMPL_H_
