// Receives a string asynchronously.
#ifndef CEF_INCLUDE_CEF_STRING_VISITOR_H_
#define CEF_INCLUDE_CEF_STRING_VISITOR_H_
#pragma once

#include "include/cef_base.h"

///
/// Receives the result of CefFrame::GetSource and CefFrame::GetText.
///
class CefStringVisitor : public virtual CefBaseRefCounted {
 public:
  ///
  /// Called on the browser UI thread with the requested text.
  ///
  virtual void Visit(const CefString& string) = 0;
};

#endif  // CEF_INCLUDE_CEF_STRING_VISITOR_H_
