// InputIfcFilter.cpp - the IFC provider module: its registration table, the late type
// "INPUT_IFC_FILTER" and the TIE that binds QORIInputFilterStructure to the provider.
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModuleTable.h"
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

QOR_MODULE_TABLE(Module, &RegisterIfcFilter, &RegisterIfcFilterTie)

}  // namespace

QORBaseUnknown* CreateTIEQORIInputFilterStructureQORIfcFilterStructure(
    QORBaseUnknown* implementation, QORBaseUnknown* second) {
  return TIEQORIInputFilterStructureQORIfcFilterStructure::Create(implementation, second);
}
