// TIEQORIInputFilterGeneratorQORCloudJsonFilter.cpp - meta class and creation of the TIE.
#include "TIEQORIInputFilterGeneratorQORCloudJsonFilter.h"

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
QORBaseUnknown* s_pObjectSlot = nullptr;
}  // namespace

const QORMetaClass* TIEQORIInputFilterGeneratorQORCloudJsonFilter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return zqy::internal::Tie_InitMetaObject(IID_QORIInputFilterGenerator,
                                             "QORIInputFilterGenerator",
                                             QORIInputFilterGenerator::MetaObject(),
                                             QORCloudJsonFilter::MetaObject(), QORMetaClass::kTie);
  });
}

QORBaseUnknown* CreateTIEQORIInputFilterGeneratorQORCloudJsonFilter(QORBaseUnknown* implementation,
                                                                    QORBaseUnknown* second) {
  return DXCreateTie<TIEQORIInputFilterGeneratorQORCloudJsonFilter, QORCloudJsonFilter>(
      implementation, second, s_pObjectSlot);
}
