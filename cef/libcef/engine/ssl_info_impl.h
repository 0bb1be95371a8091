// The certificate of a connection that the engine found wanting, as the API
// hands it to the client.
#ifndef CEF_LIBCEF_ENGINE_SSL_INFO_IMPL_H_
#define CEF_LIBCEF_ENGINE_SSL_INFO_IMPL_H_
#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>

#include "include/cef_ssl_info.h"

namespace cef {

///
/// Made on the Qt GUI thread from what the engine reports, read on any
/// thread: it copies everything and never changes.
///
class SSLInfoImpl : public CefSSLInfo {
 public:
  /// |chain| is the server's own certificate first, then those vouching for it.
  SSLInfoImpl(cef_errorcode_t error, const QList<QSslCertificate>& chain);

  // CefSSLInfo methods.
  cef_cert_status_t GetCertStatus() override { return status_; }
  CefRefPtr<CefX509Certificate> GetX509Certificate() override { return certificate_; }

  /// The cef_cert_status_t flag that stands for |error|.
  static cef_cert_status_t StatusOf(cef_errorcode_t error);

 private:
  const cef_cert_status_t status_;
  const CefRefPtr<CefX509Certificate> certificate_;
  IMPLEMENT_REFCOUNTING(SSLInfoImpl);
  DISALLOW_COPY_AND_ASSIGN(SSLInfoImpl);
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_SSL_INFO_IMPL_H_
