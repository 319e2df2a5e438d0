// QORTie.cpp - the TIE functions.
#include "ObjectModelRuntime/QORTie.h"

void Tie_Construct(QORBaseUnknown* tie, const QORMetaClass*, QORBaseUnknown* implementation,
                   const CLSID&, int, QORBaseUnknown*&, QORBaseUnknown* (*)(), QORBaseUnknown*) {
  tie->_pImpl = implementation;
  tie->_refCount.store(1, std::memory_order_relaxed);
  if (implementation) implementation->AddRef();
}

ULONG Tie_AddRef(QORBaseUnknown*, int, std::atomic<int32_t>* count) {
  return static_cast<ULONG>(count->fetch_add(1, std::memory_order_relaxed) + 1);
}

ULONG Tie_Release(int& deleteFlag, QORBaseUnknown* tie, int) {
  int32_t left = tie->_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  deleteFlag = left == 0 ? 1 : 0;
  return static_cast<ULONG>(left < 0 ? 0 : left);
}

HRESULT Tie_Query(QORBaseUnknown* tie, const QORMetaClass* tieMeta, int, const IID& iid,
                  void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (tieMeta && iid == tieMeta->GetInterfaceId()) {
    tie->AddRef();
    *out = tie;
    return S_OK;
  }
  if (!tie->_pImpl) return E_NOINTERFACE;
  return tie->_pImpl->QueryInterface(iid, out);
}

void Tie_Destruct(QORBaseUnknown* tie, int) {
  QORBaseUnknown* impl = tie->_pImpl;
  tie->_pImpl = nullptr;
  if (impl) impl->Release();
}
