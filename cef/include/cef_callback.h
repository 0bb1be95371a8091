// A generic answer to an asynchronous question of the engine.
#ifndef CEF_INCLUDE_CEF_CALLBACK_H_
#define CEF_INCLUDE_CEF_CALLBACK_H_
#pragma once

#include "include/cef_base.h"

///
/// Answers a question once, on any thread; later answers are ignored.
/// Released unanswered, it cancels.
///
class CefCallback : public virtual CefBaseRefCounted {
 public:
  /// Goes on with what was asked about.
  virtual void Continue() = 0;
  /// Refuses it.
  virtual void Cancel() = 0;
};

#endif  // CEF_INCLUDE_CEF_CALLBACK_H_
