// Reference-counting smart pointer used for every engine object.
#ifndef CEF_INCLUDE_INTERNAL_CEF_PTR_H_
#define CEF_INCLUDE_INTERNAL_CEF_PTR_H_
#pragma once

#include <cstddef>
#include <utility>

///
/// Smart pointer that holds one reference to a reference-counted object. Copying
/// and destroying it may happen on any thread, because the counts are atomic.
///
template <class T>
class CefRefPtr {
 public:
  typedef T element_type;

  CefRefPtr() : ptr_(nullptr) {}
  CefRefPtr(std::nullptr_t) : ptr_(nullptr) {}
  CefRefPtr(T* p) : ptr_(p) {
    if (ptr_)
      ptr_->AddRef();
  }
  CefRefPtr(const CefRefPtr<T>& r) : CefRefPtr(r.ptr_) {}
  template <typename U>
  CefRefPtr(const CefRefPtr<U>& r) : CefRefPtr(r.get()) {}
  CefRefPtr(CefRefPtr<T>&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }
  template <typename U>
  CefRefPtr(CefRefPtr<U>&& r) noexcept : ptr_(r.release()) {}
  ~CefRefPtr() {
    if (ptr_)
      ptr_->Release();
  }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  CefRefPtr<T>& operator=(T* p) {
    // AddRef first so that self-assignment is safe.
    if (p)
      p->AddRef();
    T* old = ptr_;
    ptr_ = p;
    if (old)
      old->Release();
    return *this;
  }
  CefRefPtr<T>& operator=(const CefRefPtr<T>& r) { return *this = r.ptr_; }
  template <typename U>
  CefRefPtr<T>& operator=(const CefRefPtr<U>& r) {
    return *this = r.get();
  }
  CefRefPtr<T>& operator=(CefRefPtr<T>&& r) noexcept {
    CefRefPtr<T>(std::move(r)).swap(*this);
    return *this;
  }
  CefRefPtr<T>& operator=(std::nullptr_t) { return *this = static_cast<T*>(nullptr); }

  void swap(CefRefPtr<T>& r) noexcept { std::swap(ptr_, r.ptr_); }

  /// Gives up the reference without releasing it; the caller owns it then.
  T* release() {
    T* p = ptr_;
    ptr_ = nullptr;
    return p;
  }

 private:
  T* ptr_;
};

template <class T, class U>
bool operator==(const CefRefPtr<T>& a, const CefRefPtr<U>& b) {
  return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const CefRefPtr<T>& a, const CefRefPtr<U>& b) {
  return a.get() != b.get();
}
template <class T, class U>
bool operator==(const CefRefPtr<T>& a, const U* b) {
  return a.get() == b;
}
template <class T, class U>
bool operator!=(const CefRefPtr<T>& a, const U* b) {
  return a.get() != b;
}
template <class T>
bool operator==(const CefRefPtr<T>& a, std::nullptr_t) {
  return !a;
}
template <class T>
bool operator!=(const CefRefPtr<T>& a, std::nullptr_t) {
  return static_cast<bool>(a);
}

/// A plain pointer that is only valid for the length of a call.
template <class T>
using CefRawPtr = T*;

#endif  // CEF_INCLUDE_INTERNAL_CEF_PTR_H_
