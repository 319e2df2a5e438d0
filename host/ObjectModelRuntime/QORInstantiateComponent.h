// QORInstantiateComponent.h - creates a component by late type and hands out one of
// its interfaces.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"

// On success out holds one reference, released by the caller. On failure out is
// null and the result is negative: QOR_E_CLASSNOTREG for an unknown late type,
// E_OUTOFMEMORY when the creation function gives nothing, E_NOINTERFACE when the
// component does not support the interface.
QOR_KIT_API HRESULT QORInstantiateComponent(const char* lateType, const IID& iid, void** out);
