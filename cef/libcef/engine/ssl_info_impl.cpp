#include "libcef/engine/ssl_info_impl.h"

#include <algorithm>
#include <cstring>

namespace cef {

namespace {

class BinaryValueImpl : public CefBinaryValue {
 public:
  explicit BinaryValueImpl(const QByteArray& bytes) : bytes_(bytes) {}

  // CefBinaryValue methods.
  bool IsValid() override { return true; }
  size_t GetSize() override { return static_cast<size_t>(bytes_.size()); }
  const void* GetRawData() override { return bytes_.constData(); }
  size_t GetData(void* buffer, size_t buffer_size, size_t data_offset) override {
    const size_t size = GetSize();
    if (!buffer || data_offset >= size)
      return 0;
    const size_t count = std::min(buffer_size, size - data_offset);
    std::memcpy(buffer, bytes_.constData() + data_offset, count);
    return count;
  }

 private:
  const QByteArray bytes_;
  IMPLEMENT_REFCOUNTING(BinaryValueImpl);
  DISALLOW_COPY_AND_ASSIGN(BinaryValueImpl);
};

class X509CertificateImpl : public CefX509Certificate {
 public:
  explicit X509CertificateImpl(const QList<QSslCertificate>& chain)
      : der_(chain.isEmpty() ? QByteArray() : chain.first().toDer()),
        issuers_(chain.isEmpty() ? 0 : static_cast<size_t>(chain.size() - 1)) {}

  // CefX509Certificate methods.
  CefRefPtr<CefBinaryValue> GetDEREncoded() override {
    return der_.isEmpty() ? nullptr : new BinaryValueImpl(der_);
  }
  size_t GetIssuerChainSize() override { return issuers_; }

 private:
  const QByteArray der_;
  const size_t issuers_;
  IMPLEMENT_REFCOUNTING(X509CertificateImpl);
  DISALLOW_COPY_AND_ASSIGN(X509CertificateImpl);
};

}  // namespace

SSLInfoImpl::SSLInfoImpl(cef_errorcode_t error, const QList<QSslCertificate>& chain)
    : status_(StatusOf(error)), certificate_(new X509CertificateImpl(chain)) {}

cef_cert_status_t SSLInfoImpl::StatusOf(cef_errorcode_t error) {
  switch (error) {
    case ERR_CERT_COMMON_NAME_INVALID:
      return CERT_STATUS_COMMON_NAME_INVALID;
    case ERR_CERT_DATE_INVALID:
      return CERT_STATUS_DATE_INVALID;
    case ERR_CERT_AUTHORITY_INVALID:
      return CERT_STATUS_AUTHORITY_INVALID;
    case ERR_CERT_REVOKED:
      return CERT_STATUS_REVOKED;
    case ERR_CERT_WEAK_SIGNATURE_ALGORITHM:
      return CERT_STATUS_WEAK_SIGNATURE_ALGORITHM;
    case ERR_CERT_WEAK_KEY:
      return CERT_STATUS_WEAK_KEY;
    default:
      return CERT_STATUS_INVALID;
  }
}

}  // namespace cef
