// QORWeakRef.h - a weak reference to a component's implementation object.
//
// It does not keep the object alive; Get() answers null once the object is
// destroyed. Event handlers hold one on their target so that an event reaching a
// destroyed dialog is dropped instead of calling into freed memory.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"

class QOR_KIT_API QORWeakRef {
 public:
  QORWeakRef() = default;
  // Refers to the implementation object of target (never to a TIE).
  explicit QORWeakRef(QORBaseUnknown* target);
  QORWeakRef(const QORWeakRef& other);
  QORWeakRef& operator=(const QORWeakRef& other);
  ~QORWeakRef();

  // The object while it lives, else null. No reference is taken.
  QORBaseUnknown* Get() const;
  bool IsAlive() const { return Get() != nullptr; }

 private:
  QORWeakControl* _pControl = nullptr;
};
