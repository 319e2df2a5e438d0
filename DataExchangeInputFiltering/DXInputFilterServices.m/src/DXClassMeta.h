// DXClassMeta.h - the meta class of a component class of this module, made on first
// use through the kit's LazyMetaObject (one meta class per class even when threads race).
#pragma once

#include <atomic>

#include "ObjectModelRuntime/QORMetaClass.h"

// Meta class of a component class of this module (kind 1, framework of the module).
#define DX_CLASS_META(Class, ParentMeta)                                                           \
  zqy::internal::fct_RetrieveMetaObject(#Class, QORMetaClass::kComponent, (ParentMeta), "QORNull", \
                                        "DataExchangeInputFiltering", sizeof(Class))
