// Chromium's network error names and codes.
#ifndef CEF_LIBCEF_ENGINE_NET_ERROR_H_
#define CEF_LIBCEF_ENGINE_NET_ERROR_H_
#pragma once

#include <QString>

#include "include/internal/cef_types.h"

namespace cef {

///
/// Returns the code of a short error name such as "ERR_CONNECTION_REFUSED",
/// or ERR_NONE when the name is unknown.
///
cef_errorcode_t NetErrorFromName(const QString& name);

///
/// Returns the short name of |code|, such as "ERR_CONNECTION_REFUSED", or
/// "ERR_FAILED" when the code is unknown.
///
QString NetErrorToName(int code);

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_NET_ERROR_H_
