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
