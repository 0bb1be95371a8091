// Value containers passed between processes.
#ifndef CEF_INCLUDE_CEF_VALUES_H_
#define CEF_INCLUDE_CEF_VALUES_H_
#pragma once

#include "include/cef_base.h"

///
/// A list of values. This engine never fills one; the type exists for the
/// handler signatures that carry it.
///
class CefListValue : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_VALUES_H_
