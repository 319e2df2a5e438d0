// DXInputFilterServices.cpp - the module's bootstrap: the module object, the
// environment switches and the registration table.
//
// Everything here runs from static initialisers while the library loads, in the order
// of the definitions below (one translation unit, so the order is the language's):
// the module object first, then the four switches. The kit then runs the registration
// table, whose rows each make one registration and return the module object.
#include "DXModuleSwitches.h"
#include "DataExchangeUtilities/QORDXEnvironmentVariable.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QORGetEnv.h"
#include "ObjectModelRuntime/QOROMModuleTable.h"
#include "QORCloudJsonFilter.h"
#include "QORCloudResolvedFilter.h"
#include "QORJsonFilterWriter.h"
#include "QORResolvedFilter.h"
#include "TIEQORIInputFilterGeneratorQORCloudJsonFilter.h"
#include "TIEQORIInputFilterGeneratorQORJsonFilterWriter.h"
#include "TIEQORIResolvedInputFilterQORCloudResolvedFilter.h"
#include "TIEQORIResolvedInputFilterQORResolvedFilter.h"
#include "fctCreateDXWebViewer.h"

namespace {

QOROMModule* Module();

// Creation functions by late type: null when the host allocator gives nothing.
QORBaseUnknown* CreateQORCloudJsonFilter() {
  return new QORCloudJsonFilter();
}
QORBaseUnknown* CreateQORCloudResolvedFilter() {
  return new QORCloudResolvedFilter();
}
QORBaseUnknown* CreateQORJsonFilterWriter() {
  return new QORJsonFilterWriter();
}
QORBaseUnknown* CreateQORResolvedFilter() {
  return new QORResolvedFilter();
}

QOROMModule* RegisterCloudFilterGenerator() {
  QORFillDictionary::RegisterFunctionCreation("INPUT_CLOUDFILTER_GENERATOR",
                                              &CreateQORCloudJsonFilter);
  return Module();
}
QOROMModule* RegisterCloudFilterGeneratorTie() {
  QORFillDictionary::Register(QORCloudJsonFilter::MetaObject(),
                              QORIInputFilterGenerator::MetaObject(),
                              &CreateTIEQORIInputFilterGeneratorQORCloudJsonFilter, nullptr, 1);
  return Module();
}
QOROMModule* RegisterCloudFilterReader() {
  QORFillDictionary::RegisterFunctionCreation("INPUT_CLOUDFILTER_READER",
                                              &CreateQORCloudResolvedFilter);
  return Module();
}
QOROMModule* RegisterCloudFilterReaderTie() {
  QORFillDictionary::Register(QORCloudResolvedFilter::MetaObject(),
                              QORIResolvedInputFilter::MetaObject(),
                              &CreateTIEQORIResolvedInputFilterQORCloudResolvedFilter, nullptr, 1);
  return Module();
}
QOROMModule* RegisterFilterGenerator() {
  QORFillDictionary::RegisterFunctionCreation("INPUT_FILTER_GENERATOR", &CreateQORJsonFilterWriter);
  return Module();
}
QOROMModule* RegisterFilterGeneratorTie() {
  QORFillDictionary::Register(QORJsonFilterWriter::MetaObject(),
                              QORIInputFilterGenerator::MetaObject(),
                              &CreateTIEQORIInputFilterGeneratorQORJsonFilterWriter, nullptr, 1);
  return Module();
}
QOROMModule* RegisterFilterReader() {
  QORFillDictionary::RegisterFunctionCreation("INPUT_FILTER_READER", &CreateQORResolvedFilter);
  return Module();
}
QOROMModule* RegisterDialogFactory() {
  QORFillDictionary::Register("DXWebViewer", &fctCreateDXWebViewer);
  return Module();
}
QOROMModule* RegisterFilterReaderTie() {
  QORFillDictionary::Register(QORResolvedFilter::MetaObject(),
                              QORIResolvedInputFilter::MetaObject(),
                              &CreateTIEQORIResolvedInputFilterQORResolvedFilter, nullptr, 1);
  return Module();
}

// The build links the table's section among the data that is read-only once relocated
// (cmake/ModuleTableReadOnly.ld), so nothing can rewrite the table.
QOR_MODULE_TABLE(Module, &RegisterCloudFilterGenerator, &RegisterCloudFilterGeneratorTie,
                 &RegisterCloudFilterReader, &RegisterCloudFilterReaderTie,
                 &RegisterFilterGenerator, &RegisterFilterGeneratorTie, &RegisterFilterReader,
                 &RegisterFilterReaderTie, &RegisterDialogFactory)

}  // namespace

namespace dx {
bool g_dumpSwitch =
    QORDXEnvironmentVariable::HasBeenSet(QORDXUnicodeString("KWT_DUMP_QORResolvedFilter"));
int16_t g_testModeSwitch = QORGetEnv("DXWebViewerForKWT") ? 1 : 0;
int16_t g_saveAndUseSwitch = QORGetEnv("QORDX_SAVEANDUSE_JSONFILTER") ? 1 : 0;
QORUnicodeString g_temporaryDirectory(QORGetEnv("QORTemp"));
}  // namespace dx

// Marker that the host looks up to recognise the module.
extern "C" QOR_EXPORT int ZQ_SYSTEMS_KIT2_INTERNAL_DXInputFilterServices() {
  return 1;
}
