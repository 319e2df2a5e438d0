// DXTieSupport.h - the kit's TIE facility under the names the module's TIE classes use.
#pragma once

#include "ObjectModelRuntime/QORTie.h"

// The kit's TIE facility under the module's names.
template <class Tie, class Impl>
QORBaseUnknown* DXCreateTie(QORBaseUnknown* implementation, QORBaseUnknown* second,
                            QORBaseUnknown*& slot) {
  return QORCreateTie<Tie, Impl>(implementation, second, slot);
}

#define DX_TIE_OBJECT_MODEL(Self) QOR_TIE_OBJECT_MODEL(Self)
