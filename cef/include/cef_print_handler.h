// Handler for printing.
#ifndef CEF_INCLUDE_CEF_PRINT_HANDLER_H_
#define CEF_INCLUDE_CEF_PRINT_HANDLER_H_
#pragma once

#include "include/cef_base.h"

///
/// Print handler. Printing is not offered, so nothing calls one.
///
class CefPrintHandler : public virtual CefBaseRefCounted {};

#endif  // CEF_INCLUDE_CEF_PRINT_HANDLER_H_
