// InputIfcFilter.cpp - the IFC provider module: its registration table, the late type
// "INPUT_IFC_FILTER" and the TIE that binds QORIInputFilterStructure to the provider.
#include <atomic>
#include <new>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "QORIfcFilterStructure.h"
#include "TIEQORIInputFilterStructureQORIfcFilterStructure.h"

namespace {

std::atomic<const QORMetaClass*> s_tieMeta{nullptr};
QORBaseUnknown* s_pObjectSlot = nullptr;

QORBaseUnknown* NullCreator() { return nullptr; }
QORBaseUnknown* CreateQORIfcFilterStructure() { return new QORIfcFilterStructure(); }

QOROMModule* Module();

QOROMModule* RegisterIfcFilter() {
  QORFillDictionary::RegisterFunctionCreation("INPUT_IFC_FILTER", &CreateQORIfcFilterStructure);
  return Module();
}
QOROMModule* RegisterIfcFilterTie() {
  QORFillDictionary::Register(QORIfcFilterStructure::MetaObject(),
                              QORIInputFilterStructure::MetaObject(),
                              &CreateTIEQORIInputFilterStructureQORIfcFilterStructure, nullptr, 1);
  return Module();
}

__attribute__((section("zqyom"), used)) QORRegistrationFunction const s_registrationTable[] = {
    nullptr, &RegisterIfcFilter, &RegisterIfcFilterTie, nullptr};

alignas(QOROMModule) unsigned char s_moduleStorage[sizeof(QOROMModule)];
QOROMModule* const s_pModule =
    new (s_moduleStorage) QOROMModule(QOROMModuleInfo{&s_registrationTable[0], &s_registrationTable[3]});
QOROMModule* Module() { return s_pModule; }

}  // namespace

const QORMetaClass* TIEQORIInputFilterStructureQORIfcFilterStructure::MetaObject() {
  return zqy::internal::LazyMetaObject(s_tieMeta, [] {
    return zqy::internal::Tie_InitMetaObject(IID_QORIInputFilterStructure, "QORIInputFilterStructure",
                                             QORIInputFilterStructure::MetaObject(),
                                             QORIfcFilterStructure::MetaObject(), QORMetaClass::kTie);
  });
}

QORBaseUnknown* CreateTIEQORIInputFilterStructureQORIfcFilterStructure(QORBaseUnknown* implementation,
                                                                      QORBaseUnknown* second) {
  auto* tie = new TIEQORIInputFilterStructureQORIfcFilterStructure();
  if (!tie) return nullptr;
  const QORMetaClass* meta = QORIfcFilterStructure::MetaObject();
  Tie_Construct(tie, TIEQORIInputFilterStructureQORIfcFilterStructure::MetaObject(), implementation,
                meta->GetClassId(), meta->GetTypeOfClass(), s_pObjectSlot, &NullCreator, second);
  return tie;
}
