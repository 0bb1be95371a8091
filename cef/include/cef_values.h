// Value containers passed between processes.
#ifndef CEF_INCLUDE_CEF_VALUES_H_
#define CEF_INCLUDE_CEF_VALUES_H_
#pragma once

#include <cstddef>

#include "include/cef_base.h"

///
/// A list of values. This engine never fills one; the type exists for the
/// handler signatures that carry it.
///
class CefListValue : public virtual CefBaseRefCounted {};

///
/// A block of bytes that does not change. Any thread.
///
class CefBinaryValue : public virtual CefBaseRefCounted {
 public:
  /// True while the value holds its bytes.
  virtual bool IsValid() = 0;
  /// The number of bytes.
  virtual size_t GetSize() = 0;
  /// The bytes themselves, valid as long as this object lives.
  virtual const void* GetRawData() = 0;
  ///
  /// Copies up to |buffer_size| bytes from |data_offset| on into |buffer|.
  /// Returns the number of bytes copied.
  ///
  virtual size_t GetData(void* buffer, size_t buffer_size, size_t data_offset) = 0;
};

#endif  // CEF_INCLUDE_CEF_VALUES_H_
