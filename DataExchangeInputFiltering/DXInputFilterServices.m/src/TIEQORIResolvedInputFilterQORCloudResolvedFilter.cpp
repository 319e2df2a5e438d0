// TIEQORIResolvedInputFilterQORCloudResolvedFilter.cpp - meta class and creation of the TIE.
#include "TIEQORIResolvedInputFilterQORCloudResolvedFilter.h"

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
QORBaseUnknown* s_pObjectSlot = nullptr;
}  // namespace

const QORMetaClass* TIEQORIResolvedInputFilterQORCloudResolvedFilter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return zqy::internal::Tie_InitMetaObject(IID_QORIResolvedInputFilter, "QORIResolvedInputFilter",
                                             QORIResolvedInputFilter::MetaObject(),
                                             QORCloudResolvedFilter::MetaObject(),
                                             QORMetaClass::kTie);
  });
}

QORBaseUnknown* CreateTIEQORIResolvedInputFilterQORCloudResolvedFilter(
    QORBaseUnknown* implementation, QORBaseUnknown* second) {
  return DXCreateTie<TIEQORIResolvedInputFilterQORCloudResolvedFilter, QORCloudResolvedFilter>(
      implementation, second, s_pObjectSlot);
}
