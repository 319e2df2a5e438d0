// QOROMModuleTable.h - the bootstrap every plug-in module writes the same way: its
// registration table in the "zqyom" section and its module object.
//
//   namespace {
//   QOROMModule* Module();
//   QOROMModule* RegisterThing() { ...; return Module(); }
//   QOR_MODULE_TABLE(Module, &RegisterThing, &RegisterOtherThing)
//   }  // namespace
//
// The table is bounded by null slots; the module info points at the first slot and at
// the last one, just behind the last function. The module object is built in place
// while the library loads and never destroyed: the kit keeps pointers to it.
#pragma once

#include <new>

#include "ObjectModelRuntime/QOROMModule.h"

#define QOR_MODULE_TABLE(ModuleFunction, ...)                                                   \
  __attribute__((section("zqyom"), used))                                                       \
  QORRegistrationFunction const s_registrationTable[] = {nullptr, __VA_ARGS__, nullptr};        \
  alignas(QOROMModule) unsigned char s_moduleStorage[sizeof(QOROMModule)];                      \
  QOROMModule* const s_pModule = new (s_moduleStorage) QOROMModule(QOROMModuleInfo{             \
      &s_registrationTable[0],                                                                  \
      &s_registrationTable[sizeof(s_registrationTable) / sizeof(s_registrationTable[0]) - 1]}); \
  QOROMModule* ModuleFunction() {                                                               \
    return s_pModule;                                                                           \
  }
