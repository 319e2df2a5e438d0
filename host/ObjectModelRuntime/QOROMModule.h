// QOROMModule.h - plug-in modules of the object model and how the kit loads them.
//
// A module carries a registration table: an array of functions that take nothing
// and return the module object, bounded by null slots. Its static initialisers build
// the module object from a QOROMModuleInfo pointing at the table's first slot and
// just behind its last function. The kit dlopens the module, picks up the module
// object that the initialisers built, and runs the table in order.
//
// Module path: the folders listed in QOR_MODULE_PATH (":"-separated), else the folder
// lib/modules beside the program's bin/ folder (lib/<package>/modules once installed).
#pragma once

#include <string>
#include <vector>

#include "SystemStrings/QORTypes.h"

class QOROMModule;
typedef QOROMModule* (*QORRegistrationFunction)();

struct QOROMModuleInfo {
  QORRegistrationFunction const* first;
  QORRegistrationFunction const* last;
};

class QOR_KIT_API QOROMModule {
 public:
  // Announces the module to the kit; the kit runs its table once dlopen returns.
  explicit QOROMModule(const QOROMModuleInfo& info);
  const QOROMModuleInfo& GetInfo() const { return _info; }
  // The file the module was loaded from (empty for a module linked into the program).
  const std::string& GetPath() const { return _path; }

 private:
  friend struct QORModuleLoader;
  QOROMModuleInfo _info;
  std::string _path;
};

// Loads one module file (a path, or a file name looked up in the module path) and
// runs its registration table. Loading the same file again does nothing. On failure
// returns a negative code and, when error is given, a one-line reason.
QOR_KIT_API HRESULT QORLoadModule(const char* fileOrPath, std::string* error = nullptr);
// Loads every "*.so" module of the module path; returns how many loaded, and the
// reasons of the failures in errors.
QOR_KIT_API int QORLoadModules(std::vector<std::string>* errors = nullptr);
QOR_KIT_API std::vector<std::string> QORModulePath();
// Paths of the modules loaded so far, in load order.
QOR_KIT_API std::vector<std::string> QORLoadedModules();
