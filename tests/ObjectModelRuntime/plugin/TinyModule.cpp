// TinyModule.cpp - the smallest module of the object model: one late type, no TIE.
// Built more than once, each copy naming its component through TINY_COMPONENT, so
// that tests loading modules by file name or by folder own a module of their own.
#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModuleTable.h"

#ifndef TINY_COMPONENT
#error "TINY_COMPONENT names the component of this copy of the module"
#endif

namespace {

struct TinyComponent : LocalClass<TinyComponent> {
  static constexpr const char* kName = TINY_COMPONENT;
};

QOROMModule* Module();
QOROMModule* RegisterTinyComponent() {
  QORFillDictionary::RegisterFunctionCreation(
      TinyComponent::kName, []() -> QORBaseUnknown* { return new TinyComponent; });
  return Module();
}
QOR_MODULE_TABLE(Module, &RegisterTinyComponent)

}  // namespace
