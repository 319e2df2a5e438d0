// TIEQORIInputFilterGeneratorQORJsonFilterWriter.cpp - meta class and creation of the TIE.
#include "TIEQORIInputFilterGeneratorQORJsonFilterWriter.h"

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
QORBaseUnknown* s_pObjectSlot = nullptr;
}  // namespace

const QORMetaClass* TIEQORIInputFilterGeneratorQORJsonFilterWriter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return zqy::internal::Tie_InitMetaObject(IID_QORIInputFilterGenerator,
                                             "QORIInputFilterGenerator",
                                             QORIInputFilterGenerator::MetaObject(),
                                             QORJsonFilterWriter::MetaObject(), QORMetaClass::kTie);
  });
}

QORBaseUnknown* CreateTIEQORIInputFilterGeneratorQORJsonFilterWriter(QORBaseUnknown* implementation,
                                                                     QORBaseUnknown* second) {
  return DXCreateTie<TIEQORIInputFilterGeneratorQORJsonFilterWriter, QORJsonFilterWriter>(
      implementation, second, s_pObjectSlot);
}
