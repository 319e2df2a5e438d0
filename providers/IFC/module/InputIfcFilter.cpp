// InputIfcFilter.cpp - the IFC provider module: its registration table, the late type
// "INPUT_IFC_FILTER" and the TIE that binds QORIInputFilterStructure to the provider.
#include <new>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "QORIfcFilterStructure.h"
#include "TIEQORIInputFilterStructureQORIfcFilterStructure.h"

namespace {

QORBaseUnknown* CreateQORIfcFilterStructure() {
  return new QORIfcFilterStructure();
}

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
QOROMModule* const s_pModule = new (s_moduleStorage)
    QOROMModule(QOROMModuleInfo{&s_registrationTable[0], &s_registrationTable[3]});
QOROMModule* Module() {
  return s_pModule;
}

}  // namespace

QORBaseUnknown* CreateTIEQORIInputFilterStructureQORIfcFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second) {
  return TIEQORIInputFilterStructureQORIfcFilterStructure::Create(implementation, second);
}
