// DXLazyMetaObject.h - the lazy creation of a class's meta class, shared by every
// class of the module.
//
// The pointer is tested once without the guard (the common, created case), then again
// under the object-model guard, so exactly one meta class is made per class even when
// threads race for it. Acquire/release on the pointer makes the unguarded test free of
// data races: a thread that sees the pointer also sees the meta class it points to.
#pragma once

#include <atomic>

#include "ObjectModelRuntime/QORMetaClass.h"

template <class Create>
const QORMetaClass* DXLazyMetaObject(std::atomic<const QORMetaClass*>& slot, Create create) {
  return zqy::internal::LazyMetaObject(slot, create);
}

// Meta class of a component class of this module (kind 1, framework of the module).
#define DX_CLASS_META(Class, ParentMeta)                                                           \
  zqy::internal::fct_RetrieveMetaObject(#Class, QORMetaClass::kComponent, (ParentMeta), "QORNull", \
                                        "DataExchangeInputFiltering", sizeof(Class))
