// QORInstantiateComponent.cpp - creation by late type.
#include "ObjectModelRuntime/QORInstantiateComponent.h"

#include "ObjectModelRuntime/QORFillDictionary.h"

HRESULT QORInstantiateComponent(const char* lateType, const IID& iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  QORCreationFunction create = QORFillDictionary::FindCreationFunction(lateType);
  if (!create) return QOR_E_CLASSNOTREG;
  QORBaseUnknown* object = create();
  if (!object) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(iid, out);
  object->Release();  // the creation reference; the interface keeps the object alive
  if (QORFailed(hr)) *out = nullptr;
  return hr;
}
