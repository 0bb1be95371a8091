// Registration of custom URL schemes.
#ifndef CEF_INCLUDE_CEF_SCHEME_H_
#define CEF_INCLUDE_CEF_SCHEME_H_
#pragma once

#include "include/cef_base.h"

///
/// Registers custom schemes. This engine registers none, so nothing calls
/// CefApp::OnRegisterCustomSchemes with one.
///
class CefSchemeRegistrar {
 public:
  virtual ~CefSchemeRegistrar() {}
};

#endif  // CEF_INCLUDE_CEF_SCHEME_H_
