// TIEQORIResolvedInputFilterQORResolvedFilter.cpp - meta class and creation of the TIE.
#include "TIEQORIResolvedInputFilterQORResolvedFilter.h"

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
QORBaseUnknown* s_pObjectSlot = nullptr;
}  // namespace

const QORMetaClass* TIEQORIResolvedInputFilterQORResolvedFilter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return zqy::internal::Tie_InitMetaObject(IID_QORIResolvedInputFilter, "QORIResolvedInputFilter",
                                             QORIResolvedInputFilter::MetaObject(),
                                             QORResolvedFilter::MetaObject(), QORMetaClass::kTie);
  });
}

QORBaseUnknown* CreateTIEQORIResolvedInputFilterQORResolvedFilter(QORBaseUnknown* implementation,
                                                                  QORBaseUnknown* second) {
  return DXCreateTie<TIEQORIResolvedInputFilterQORResolvedFilter, QORResolvedFilter>(
      implementation, second, s_pObjectSlot);
}
