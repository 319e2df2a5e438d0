// InputStepFilter.cpp - the STEP provider module: its registration table, the late type
// "INPUT_STEP_FILTER" and the TIE that binds QORIInputFilterStructure to the provider.
#include <new>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "QORStepFilterStructure.h"
#include "TIEQORIInputFilterStructureQORStepFilterStructure.h"

namespace {

QORBaseUnknown* CreateQORStepFilterStructure() {
  return new QORStepFilterStructure();
}

QOROMModule* Module();

QOROMModule* RegisterStepFilter() {
  QORFillDictionary::RegisterFunctionCreation("INPUT_STEP_FILTER", &CreateQORStepFilterStructure);
  return Module();
}
QOROMModule* RegisterStepFilterTie() {
  QORFillDictionary::Register(QORStepFilterStructure::MetaObject(),
                              QORIInputFilterStructure::MetaObject(),
                              &CreateTIEQORIInputFilterStructureQORStepFilterStructure, nullptr, 1);
  return Module();
}

__attribute__((section("zqyom"), used)) QORRegistrationFunction const s_registrationTable[] = {
    nullptr, &RegisterStepFilter, &RegisterStepFilterTie, nullptr};

alignas(QOROMModule) unsigned char s_moduleStorage[sizeof(QOROMModule)];
QOROMModule* const s_pModule = new (s_moduleStorage)
    QOROMModule(QOROMModuleInfo{&s_registrationTable[0], &s_registrationTable[3]});
QOROMModule* Module() {
  return s_pModule;
}

}  // namespace

QORBaseUnknown* CreateTIEQORIInputFilterStructureQORStepFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second) {
  return TIEQORIInputFilterStructureQORStepFilterStructure::Create(implementation, second);
}
