// QOROMModule.cpp - loading plug-in modules with dlopen and running their tables.
#include "ObjectModelRuntime/QOROMModule.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "ObjectModelRuntime/QORGetEnv.h"

struct QORModuleLoader {
  // Modules whose static initialisers ran but whose table has not run yet.
  static std::vector<QOROMModule*>& Pending() {
    static auto* pending = new std::vector<QOROMModule*>();
    return *pending;
  }
  static std::vector<std::string>& Loaded() {
    static auto* loaded = new std::vector<std::string>();
    return *loaded;
  }
  static std::recursive_mutex& Mutex() {
    static auto* m = new std::recursive_mutex();
    return *m;
  }

  // Runs the tables of the modules announced since the last call; returns how many.
  static int RunPending(const std::string& path) {
    std::vector<QOROMModule*> modules;
    modules.swap(Pending());
    for (QOROMModule* module : modules) {
      module->_path = path;
      for (QORRegistrationFunction const* f = module->_info.first; f && f != module->_info.last;
           ++f) {
        if (*f) (*f)();
      }
    }
    return static_cast<int>(modules.size());
  }
};

QOROMModule::QOROMModule(const QOROMModuleInfo& info) : _info(info) {
  std::lock_guard<std::recursive_mutex> lock(QORModuleLoader::Mutex());
  QORModuleLoader::Pending().push_back(this);
}

std::vector<std::string> QORModulePath() {
  return QORSearchPath("QOR_MODULE_PATH", "lib/modules", QOR_INSTALLED_MODULE_DIR);
}

std::vector<std::string> QORLoadedModules() {
  std::lock_guard<std::recursive_mutex> lock(QORModuleLoader::Mutex());
  return QORModuleLoader::Loaded();
}

HRESULT QORLoadModule(const char* fileOrPath, std::string* error) {
  auto fail = [&](HRESULT hr, std::string why) {
    if (error) *error = std::move(why);
    return hr;
  };
  if (!fileOrPath || !*fileOrPath) return fail(E_INVALIDARG, "no module name given");
  std::string path = fileOrPath;
  if (path.find('/') == std::string::npos) {
    for (const std::string& folder : QORModulePath()) {
      std::string candidate = folder + "/" + path;
      if (access(candidate.c_str(), R_OK) == 0) {
        path = candidate;
        break;
      }
    }
    if (path.find('/') == std::string::npos)
      return fail(QOR_E_CLASSNOTREG, "module " + path + " not found in the module path");
  }
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return fail(E_FAIL, "cannot open module " + path);
  std::string canonical(resolved);

  std::lock_guard<std::recursive_mutex> lock(QORModuleLoader::Mutex());
  auto& loaded = QORModuleLoader::Loaded();
  if (std::find(loaded.begin(), loaded.end(), canonical) != loaded.end()) return S_FALSE;
  // Modules stay loaded for the life of the process: meta classes, TIE creators and
  // objects of theirs may be referenced from anywhere.
  void* handle = dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    const char* why = dlerror();
    QORModuleLoader::Pending().clear();
    return fail(E_FAIL, std::string("cannot load module: ") + (why ? why : canonical));
  }
  loaded.push_back(canonical);
  if (QORModuleLoader::RunPending(canonical) == 0) {
    // Not a module: forget it, or the next attempt would answer "already loaded".
    // No table ran, so nothing was loaded behind it.
    loaded.pop_back();
    return fail(E_FAIL, "not a module of the object model (no registration table): " + canonical);
  }
  return S_OK;
}

int QORLoadModules(std::vector<std::string>* errors) {
  int count = 0;
  for (const std::string& folder : QORModulePath()) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) continue;
    std::vector<std::string> files;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
        files.push_back(folder + "/" + name);
    }
    closedir(dir);
    std::sort(files.begin(), files.end());  // a stable, repeatable load order
    for (const std::string& file : files) {
      std::string why;
      HRESULT hr = QORLoadModule(file.c_str(), &why);
      if (hr == S_OK)
        ++count;
      else if (QORFailed(hr) && errors)
        errors->push_back(why);
    }
  }
  return count;
}
