// QORBaseUnknown_var.h - smart holders: one counted pointer each.
//
//   QORIInputFilterStructure_var provider;
//   provider.__CastTo(pUnknown);   // queries the interface, holds its own reference
//   if (QORBaseUnknown_var::equal_to(provider, nullptr)) return E_FAIL;
//   provider->SetInputFile(path);  // a null holder goes to ThrowErrorNullVar
#pragma once

#include <utility>

#include "ObjectModelRuntime/QORBaseUnknown.h"

class QOR_KIT_API QORBaseUnknown_var {
 public:
  QORBaseUnknown_var() = default;
  // Takes a reference of its own on p.
  QORBaseUnknown_var(QORBaseUnknown* p) : _p(p) {
    if (_p) _p->AddRef();
  }
  QORBaseUnknown_var(const QORBaseUnknown_var& other) : QORBaseUnknown_var(other._p) {}
  QORBaseUnknown_var(QORBaseUnknown_var&& other) noexcept : _p(std::exchange(other._p, nullptr)) {}
  QORBaseUnknown_var& operator=(QORBaseUnknown_var other) noexcept {
    std::swap(_p, other._p);
    return *this;
  }
  ~QORBaseUnknown_var() {
    if (_p) _p->Release();
  }

  // Holds the base interface queried from p (a reference of its own) and releases
  // what it held before.
  void __CastTo(QORBaseUnknown* p) { CastTo(p, IID_QORBaseUnknown); }

  QORBaseUnknown* operator->() const {
    if (!_p) ThrowErrorNullVar();
    return _p;
  }
  QORBaseUnknown* Get() const { return _p; }
  explicit operator bool() const { return _p != nullptr; }

  // True when the holder holds exactly p (null included).
  static int equal_to(const QORBaseUnknown_var& a, const QORBaseUnknown* p) {
    return a._p == p ? 1 : 0;
  }
  static int equal_to(const QORBaseUnknown* p, const QORBaseUnknown_var& a) {
    return equal_to(a, p);
  }

  // Called for any use of a null holder; it throws QORNullVarError and never returns.
  [[noreturn]] static void ThrowErrorNullVar();

 protected:
  void CastTo(QORBaseUnknown* p, const IID& iid);
  QORBaseUnknown* _p = nullptr;
};

// Typed holder of an interface T (which names its identifier with T::ClassId()).
template <class T>
class QORInterface_var : public QORBaseUnknown_var {
 public:
  QORInterface_var() = default;
  QORInterface_var(T* p) : QORBaseUnknown_var(p) {}
  void __CastTo(QORBaseUnknown* p) { CastTo(p, T::ClassId()); }
  T* operator->() const {
    if (!_p) ThrowErrorNullVar();
    return static_cast<T*>(_p);
  }
  T* Get() const { return static_cast<T*>(_p); }
};

#include <stdexcept>
// What ThrowErrorNullVar throws: a programming error of the caller.
class QOR_KIT_API QORNullVarError : public std::logic_error {
 public:
  QORNullVarError() : std::logic_error("call through a null object holder") {}
};
