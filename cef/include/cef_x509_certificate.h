// A server's X.509 certificate.
#ifndef CEF_INCLUDE_CEF_X509_CERTIFICATE_H_
#define CEF_INCLUDE_CEF_X509_CERTIFICATE_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_values.h"

///
/// The certificate a server presented, the server's own first in its chain.
/// It does not change; any thread.
///
class CefX509Certificate : public virtual CefBaseRefCounted {
 public:
  /// The server's own certificate in DER encoding; null when there is none.
  virtual CefRefPtr<CefBinaryValue> GetDEREncoded() = 0;
  /// The number of certificates that came with it to vouch for it.
  virtual size_t GetIssuerChainSize() = 0;
};

#endif  // CEF_INCLUDE_CEF_X509_CERTIFICATE_H_
