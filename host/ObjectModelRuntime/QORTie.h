// QORTie.h - the TIE functions: how a TIE object binds one interface to one
// implementation object.
//
// A TIE is an object of the interface's class whose methods forward to the
// implementation. It counts its own references and holds one reference on the
// implementation, so the implementation lives while any TIE of it does. A TIE class
// calls these functions from its QueryInterface, AddRef, Release and destructor:
//
//   ULONG Release() override {
//     int del = 0;
//     ULONG n = Tie_Release(del, this, MetaObject()->GetTypeOfClass());
//     if (del) delete this;   // virtual destructor calls Tie_Destruct
//     return n;
//   }
#pragma once

#include <atomic>

#include "ObjectModelRuntime/QORBaseUnknown.h"

// Records the implementation object and a count of one in the TIE, and takes one
// reference on the implementation. slot and creator are the TIE class's; the kit
// does not need them.
QOR_KIT_API void Tie_Construct(QORBaseUnknown* tie, const QORMetaClass* tieMeta,
                               QORBaseUnknown* implementation, const CLSID& implementationClassId,
                               int implementationTypeOfClass, QORBaseUnknown*& slot,
                               QORBaseUnknown* (*creator)(), QORBaseUnknown* second);
QOR_KIT_API ULONG Tie_AddRef(QORBaseUnknown* implementation, int typeOfClass,
                             std::atomic<int32_t>* count);
// Drops one reference of the TIE; sets deleteFlag when the TIE must delete itself.
QOR_KIT_API ULONG Tie_Release(int& deleteFlag, QORBaseUnknown* tie, int typeOfClass);
// The TIE's own interface answers itself; any other goes to the implementation.
QOR_KIT_API HRESULT Tie_Query(QORBaseUnknown* tie, const QORMetaClass* tieMeta, int flag,
                              const IID& iid, void** out);
// Releases the TIE's reference on its implementation.
QOR_KIT_API void Tie_Destruct(QORBaseUnknown* tie, int typeOfClass);

// The creation function recorded with a TIE: a TIE cannot be made by itself.
inline QORBaseUnknown* QORNullTieCreator() {
  return nullptr;
}

// Allocates a TIE of class Tie (with a static MetaObject()) over an implementation of
// class Impl and binds the two; null when the host allocator gives nothing. slot is
// the TIE class's own.
template <class Tie, class Impl>
QORBaseUnknown* QORCreateTie(QORBaseUnknown* implementation, QORBaseUnknown* second,
                             QORBaseUnknown*& slot) {
  Tie* tie = new Tie();
  if (!tie) return nullptr;
  const QORMetaClass* implementationMeta = Impl::MetaObject();
  Tie_Construct(tie, Tie::MetaObject(), implementation, implementationMeta->GetClassId(),
                implementationMeta->GetTypeOfClass(), slot, &QORNullTieCreator, second);
  return tie;
}

// The TIE's own half of the object model, the same in every TIE class: Self names the
// concrete TIE class, which has a static MetaObject(). The members are reached through
// this-> so that a TIE class template over its interface can use it too.
#define QOR_TIE_OBJECT_MODEL(Self)                                                           \
 public:                                                                                     \
  using QORBaseUnknown::QueryInterface;                                                      \
  HRESULT QueryInterface(const IID& iid, void** out) override {                              \
    return Tie_Query(this, Self::MetaObject(), 1, iid, out);                                 \
  }                                                                                          \
  ULONG AddRef() override {                                                                  \
    return Tie_AddRef(this->_pImpl, Self::MetaObject()->GetTypeOfClass(), &this->_refCount); \
  }                                                                                          \
  ULONG Release() override {                                                                 \
    int deleteFlag = 0;                                                                      \
    ULONG left = Tie_Release(deleteFlag, this, Self::MetaObject()->GetTypeOfClass());        \
    if (deleteFlag) delete this;                                                             \
    return left;                                                                             \
  }                                                                                          \
  ~Self() override {                                                                         \
    Tie_Destruct(this, Self::MetaObject()->GetTypeOfClass());                                \
  }                                                                                          \
  const QORMetaClass* GetMetaObject() const override {                                       \
    return Self::MetaObject();                                                               \
  }
