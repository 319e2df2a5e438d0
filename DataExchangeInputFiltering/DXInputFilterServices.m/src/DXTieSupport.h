// DXTieSupport.h - what every TIE class of the module shares: the creation of a TIE
// object over an implementation, and the null creation function handed to the kit.
#pragma once

#include "ObjectModelRuntime/QORTie.h"

// The creation function recorded with each TIE: a TIE cannot be made by itself.
inline QORBaseUnknown* DXNullTieCreator() {
  return nullptr;
}

// Allocates a TIE with the host allocator (null when that fails, and nothing else is
// called) and binds it to the implementation.
template <class Tie, class Impl>
QORBaseUnknown* DXCreateTie(QORBaseUnknown* implementation, QORBaseUnknown* second,
                            QORBaseUnknown*& slot) {
  Tie* tie = new Tie();
  if (!tie) return nullptr;
  const QORMetaClass* implementationMeta = Impl::MetaObject();
  Tie_Construct(tie, Tie::MetaObject(), implementation, implementationMeta->GetClassId(),
                implementationMeta->GetTypeOfClass(), slot, &DXNullTieCreator, second);
  return tie;
}

// The TIE's own half of the object model, identical in every TIE class: Self names
// the concrete TIE class (its static MetaObject), Base the interface.
#define DX_TIE_OBJECT_MODEL(Self)                                                     \
 public:                                                                              \
  using QORBaseUnknown::QueryInterface;                                               \
  HRESULT QueryInterface(const IID& iid, void** out) override {                       \
    return Tie_Query(this, Self::MetaObject(), 1, iid, out);                          \
  }                                                                                   \
  ULONG AddRef() override {                                                           \
    return Tie_AddRef(_pImpl, Self::MetaObject()->GetTypeOfClass(), &_refCount);      \
  }                                                                                   \
  ULONG Release() override {                                                          \
    int deleteFlag = 0;                                                               \
    ULONG left = Tie_Release(deleteFlag, this, Self::MetaObject()->GetTypeOfClass()); \
    if (deleteFlag) delete this;                                                      \
    return left;                                                                      \
  }                                                                                   \
  ~Self() override {                                                                  \
    Tie_Destruct(this, Self::MetaObject()->GetTypeOfClass());                         \
  }                                                                                   \
  const QORMetaClass* GetMetaObject() const override {                                \
    return Self::MetaObject();                                                        \
  }
