// The reference-counted base of every engine interface.
#ifndef CEF_INCLUDE_CEF_BASE_H_
#define CEF_INCLUDE_CEF_BASE_H_
#pragma once

#include <atomic>

#include "include/internal/cef_ptr.h"
#include "include/internal/cef_string.h"
#include "include/internal/cef_types.h"
#include "include/internal/cef_types_wrappers.h"

///
/// All ref-counted framework classes must extend this class. The counts may be
/// changed from any thread.
///
class CefBaseRefCounted {
 public:
  ///
  /// Called to increment the reference count for the object. Should be called
  /// for every new copy of a pointer to a given object.
  ///
  virtual void AddRef() const = 0;

  ///
  /// Called to decrement the reference count for the object. Returns true if
  /// the reference count is 0, in which case the object has deleted itself.
  ///
  virtual bool Release() const = 0;

  ///
  /// Returns true if the reference count is 1.
  ///
  virtual bool HasOneRef() const = 0;

  ///
  /// Returns true if the reference count is at least 1.
  ///
  virtual bool HasAtLeastOneRef() const = 0;

 protected:
  virtual ~CefBaseRefCounted() {}
};

///
/// Atomic reference count used by IMPLEMENT_REFCOUNTING.
///
class CefRefCount {
 public:
  CefRefCount() : ref_count_(0) {}
  CefRefCount(const CefRefCount&) = delete;
  CefRefCount& operator=(const CefRefCount&) = delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }

  /// Returns true when the count has dropped to zero.
  bool Release() const {
    // Acquire-release so that every write made through other references is
    // visible to the thread that deletes the object.
    return ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  }
  bool HasOneRef() const { return ref_count_.load(std::memory_order_acquire) == 1; }
  bool HasAtLeastOneRef() const { return ref_count_.load(std::memory_order_acquire) >= 1; }

 private:
  mutable std::atomic<int> ref_count_;
};

///
/// Adds the reference counting of CefBaseRefCounted to a class; the object
/// deletes itself when the last reference is released.
///
#define IMPLEMENT_REFCOUNTING(ClassName)                            \
 public:                                                            \
  void AddRef() const override { ref_count_.AddRef(); }             \
  bool Release() const override {                                   \
    if (ref_count_.Release()) {                                     \
      delete static_cast<const ClassName*>(this);                   \
      return true;                                                  \
    }                                                               \
    return false;                                                   \
  }                                                                 \
  bool HasOneRef() const override { return ref_count_.HasOneRef(); } \
  bool HasAtLeastOneRef() const override {                          \
    return ref_count_.HasAtLeastOneRef();                           \
  }                                                                 \
                                                                    \
 private:                                                           \
  CefRefCount ref_count_

///
/// Deletes the copy constructor and the assignment of a class.
///
#define DISALLOW_COPY_AND_ASSIGN(TypeName) \
  TypeName(const TypeName&) = delete;      \
  TypeName& operator=(const TypeName&) = delete

#endif  // CEF_INCLUDE_CEF_BASE_H_
