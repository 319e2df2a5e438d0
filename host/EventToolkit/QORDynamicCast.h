// QORDynamicCast.h - a cast checked on the object model's meta classes: the object's
// class must be T's class or derive from it.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"

template <class T>
T* QORDynamicCast(QORBaseUnknown* p) {
  if (!p || !p->IsAKindOf(T::MetaObject()->GetName())) return nullptr;
  return static_cast<T*>(p);
}
