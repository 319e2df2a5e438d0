// InputStepFilter.cpp - the STEP provider module: its registration table, the late type
// "INPUT_STEP_FILTER" and the TIE that binds QORIInputFilterStructure to the provider.
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModuleTable.h"
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

QOR_MODULE_TABLE(Module, &RegisterStepFilter, &RegisterStepFilterTie)

}  // namespace

QORBaseUnknown* CreateTIEQORIInputFilterStructureQORStepFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second) {
  return TIEQORIInputFilterStructureQORStepFilterStructure::Create(implementation, second);
}
