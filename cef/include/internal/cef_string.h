// CefString: the engine's UTF-16 string, and the C structure behind it.
#ifndef CEF_INCLUDE_INTERNAL_CEF_STRING_H_
#define CEF_INCLUDE_INTERNAL_CEF_STRING_H_
#pragma once

#include <cstddef>
#include <string>

#include <QString>

typedef char16_t char16;

///
/// A UTF-16 string as it crosses the engine's C boundary. |dtor| frees |str|
/// when the structure owns it; it is null when |str| is borrowed.
///
typedef struct _cef_string_utf16_t {
  char16* str;
  size_t length;
  void (*dtor)(char16* str);
} cef_string_utf16_t;
typedef cef_string_utf16_t cef_string_t;

///
/// Sets |output| to the |src_len| characters at |src|, copying them when |copy|
/// is true and borrowing them otherwise. Returns true on success.
///
int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output, int copy);

///
/// Frees the characters of |str| if it owns them, and empties it.
///
void cef_string_utf16_clear(cef_string_utf16_t* str);

///
/// Converts UTF-8 to UTF-16 into |output|, which owns the result. Invalid
/// sequences become U+FFFD. Returns true on success.
///
int cef_string_utf8_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output);

#define cef_string_set cef_string_utf16_set
#define cef_string_clear cef_string_utf16_clear

///
/// Owning or attached UTF-16 string. A CefString constructed from a pointer to
/// a cef_string_t writes through to that structure without owning it; every
/// other CefString owns its characters. Not thread-safe; copies are independent.
///
class CefString {
 public:
  typedef cef_string_t struct_type;

  CefString() : string_(nullptr), owner_(false) {}
  CefString(const CefString& str) : CefString() { FromString16(str.ToString16()); }
  CefString(CefString&& str) noexcept;
  CefString(const std::string& src) : CefString() { FromString(src); }
  CefString(const char* src) : CefString() {
    if (src)
      FromString(std::string(src));
  }
  CefString(const std::u16string& src) : CefString() { FromString16(src); }
  CefString(const char16* src) : CefString() {
    if (src)
      FromString16(std::u16string(src));
  }
  CefString(const QString& src) : CefString() { FromQString(src); }
  /// Copies the characters of |src|.
  CefString(const struct_type* src) : CefString() {
    if (src && src->str)
      FromString16(std::u16string(src->str, src->length));
  }
  /// Attaches to |str| without owning it: assignments write into |str|.
  CefString(struct_type* str) : string_(str), owner_(false) {}
  ~CefString() { ClearAndFree(); }

  CefString& operator=(const CefString& str) {
    if (this != &str)
      FromString16(str.ToString16());
    return *this;
  }
  CefString& operator=(const std::string& str) {
    FromString(str);
    return *this;
  }
  CefString& operator=(const char* str) {
    FromString(str ? std::string(str) : std::string());
    return *this;
  }
  CefString& operator=(const std::u16string& str) {
    FromString16(str);
    return *this;
  }
  CefString& operator=(const QString& str) {
    FromQString(str);
    return *this;
  }

  const char16* c_str() const { return string_ ? string_->str : nullptr; }
  size_t length() const { return string_ ? string_->length : 0; }
  size_t size() const { return length(); }
  bool empty() const { return length() == 0; }
  int compare(const CefString& str) const;
  void clear();

  /// The structure this string writes to, or null for an empty owning string.
  struct_type* GetStruct() const { return string_; }

  /// UTF-8 copy of the text.
  std::string ToString() const;
  /// UTF-16 copy of the text.
  std::u16string ToString16() const;
  /// The text unchanged as a QString; an empty string when there is none.
  QString ToQString() const;

  bool FromString(const std::string& str);
  bool FromString16(const std::u16string& str);
  bool FromQString(const QString& str);
  /// ASCII only, as in CEF; other bytes are taken as Latin-1.
  bool FromASCII(const char* str);

  operator std::string() const { return ToString(); }

 private:
  // Makes sure there is a structure to write into.
  void AllocIfNeeded();
  void ClearAndFree();

  struct_type* string_;
  bool owner_;
};

inline bool operator<(const CefString& a, const CefString& b) { return a.compare(b) < 0; }
inline bool operator==(const CefString& a, const CefString& b) { return a.compare(b) == 0; }
inline bool operator!=(const CefString& a, const CefString& b) { return a.compare(b) != 0; }

#endif  // CEF_INCLUDE_INTERNAL_CEF_STRING_H_
