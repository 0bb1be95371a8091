#include "include/internal/cef_string.h"

#include <cstdlib>
#include <cstring>

#include "include/internal/cef_types_wrappers.h"

namespace {

void FreeChars(char16* str) {
  delete[] str;
}

}  // namespace

int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output, int copy) {
  if (!output)
    return 0;
  cef_string_utf16_clear(output);
  if (!src || src_len == 0)
    return 1;
  if (copy) {
    char16* chars = new char16[src_len + 1];
    std::memcpy(chars, src, src_len * sizeof(char16));
    chars[src_len] = 0;
    output->str = chars;
    output->dtor = FreeChars;
  } else {
    output->str = const_cast<char16*>(src);
    output->dtor = nullptr;
  }
  output->length = src_len;
  return 1;
}

void cef_string_utf16_clear(cef_string_utf16_t* str) {
  if (!str)
    return;
  if (str->dtor && str->str)
    str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

int cef_string_utf8_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  const QString text = QString::fromUtf8(src, static_cast<int>(src_len));
  return cef_string_utf16_set(reinterpret_cast<const char16*>(text.utf16()), static_cast<size_t>(text.size()),
                              output, true);
}

CefString::CefString(CefString&& str) noexcept : string_(nullptr), owner_(false) {
  if (str.owner_) {
    string_ = str.string_;
    owner_ = true;
    str.string_ = nullptr;
    str.owner_ = false;
  } else {
    FromString16(str.ToString16());
  }
}

void CefString::AllocIfNeeded() {
  if (!string_) {
    string_ = new cef_string_t{nullptr, 0, nullptr};
    owner_ = true;
  }
}

void CefString::ClearAndFree() {
  if (owner_ && string_) {
    cef_string_clear(string_);
    delete string_;
  }
  string_ = nullptr;
  owner_ = false;
}

void CefString::clear() {
  if (string_)
    cef_string_clear(string_);
}

int CefString::compare(const CefString& str) const {
  const size_t a = length();
  const size_t b = str.length();
  const size_t n = a < b ? a : b;
  for (size_t i = 0; i < n; ++i) {
    if (c_str()[i] != str.c_str()[i])
      return c_str()[i] < str.c_str()[i] ? -1 : 1;
  }
  return a == b ? 0 : (a < b ? -1 : 1);
}

std::string CefString::ToString() const {
  return ToQString().toStdString();
}

std::u16string CefString::ToString16() const {
  if (empty())
    return std::u16string();
  return std::u16string(c_str(), length());
}

QString CefString::ToQString() const {
  if (empty())
    return QString();
  return QString::fromUtf16(c_str(), static_cast<int>(length()));
}

bool CefString::FromString(const std::string& str) {
  AllocIfNeeded();
  return cef_string_utf8_to_utf16(str.data(), str.size(), string_) != 0;
}

bool CefString::FromString16(const std::u16string& str) {
  AllocIfNeeded();
  return cef_string_utf16_set(str.data(), str.size(), string_, true) != 0;
}

bool CefString::FromQString(const QString& str) {
  AllocIfNeeded();
  return cef_string_utf16_set(reinterpret_cast<const char16*>(str.utf16()), static_cast<size_t>(str.size()), string_,
                              true) != 0;
}

bool CefString::FromASCII(const char* str) {
  return FromQString(QString::fromLatin1(str ? str : ""));
}

namespace cef_internal {

void CopyString(const cef_string_t& src, cef_string_t* dst) {
  cef_string_set(src.str, src.length, dst, true);
}

}  // namespace cef_internal

using cef_internal::CopyString;

CefSettings& CefSettings::operator=(const CefSettings& r) {
  if (this == &r)
    return *this;
  Clear();
  // Copy the plain fields, then give every string field a copy of its own.
  std::memcpy(static_cast<cef_settings_t*>(this), static_cast<const cef_settings_t*>(&r), sizeof(cef_settings_t));
  cef_string_t* mine[] = {&browser_subprocess_path, &cache_path,        &root_cache_path, &user_data_path,
                          &user_agent,              &product_version,   &locale,          &log_file,
                          &javascript_flags,        &resources_dir_path, &locales_dir_path, &accept_language_list};
  for (cef_string_t* s : mine) {
    const cef_string_t borrowed = *s;
    *s = cef_string_t{nullptr, 0, nullptr};
    CopyString(borrowed, s);
  }
  return *this;
}

void CefSettings::Clear() {
  cef_string_t* mine[] = {&browser_subprocess_path, &cache_path,        &root_cache_path, &user_data_path,
                          &user_agent,              &product_version,   &locale,          &log_file,
                          &javascript_flags,        &resources_dir_path, &locales_dir_path, &accept_language_list};
  for (cef_string_t* s : mine)
    cef_string_clear(s);
}

CefBrowserSettings& CefBrowserSettings::operator=(const CefBrowserSettings& r) {
  if (this == &r)
    return *this;
  Clear();
  std::memcpy(static_cast<cef_browser_settings_t*>(this), static_cast<const cef_browser_settings_t*>(&r),
              sizeof(cef_browser_settings_t));
  cef_string_t* mine[] = {&standard_font_family, &default_encoding};
  for (cef_string_t* s : mine) {
    const cef_string_t borrowed = *s;
    *s = cef_string_t{nullptr, 0, nullptr};
    CopyString(borrowed, s);
  }
  return *this;
}

void CefBrowserSettings::Clear() {
  cef_string_clear(&standard_font_family);
  cef_string_clear(&default_encoding);
}

CefWindowInfo& CefWindowInfo::operator=(const CefWindowInfo& r) {
  if (this == &r)
    return *this;
  cef_string_clear(&window_name);
  std::memcpy(static_cast<cef_window_info_t*>(this), static_cast<const cef_window_info_t*>(&r),
              sizeof(cef_window_info_t));
  window_name = cef_string_t{nullptr, 0, nullptr};
  CopyString(r.window_name, &window_name);
  return *this;
}
