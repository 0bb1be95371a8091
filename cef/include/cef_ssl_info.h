// What is known about a connection's SSL state.
#ifndef CEF_INCLUDE_CEF_SSL_INFO_H_
#define CEF_INCLUDE_CEF_SSL_INFO_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_x509_certificate.h"

///
/// The SSL state of a connection whose certificate was found wanting. It does
/// not change; any thread.
///
class CefSSLInfo : public virtual CefBaseRefCounted {
 public:
  /// What is wrong with the certificate, cef_cert_status_t flags combined.
  virtual cef_cert_status_t GetCertStatus() = 0;
  /// The certificate the server presented.
  virtual CefRefPtr<CefX509Certificate> GetX509Certificate() = 0;
};

#endif  // CEF_INCLUDE_CEF_SSL_INFO_H_
