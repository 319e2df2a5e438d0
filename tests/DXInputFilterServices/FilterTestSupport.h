// FilterTestSupport.h - what every test of the input-filtering module shares: loading
// the module as the host does, owning interface pointers, scratch folders, JSON
// comparison through an independent parser, and child processes for the switches the
// module fixes while it loads.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"

namespace dxtest {

using Names = std::vector<std::string>;

inline constexpr const char* kModuleFile = "libDXInputFilterServices.so";

// Loads the module once per process; false with the reason when it cannot.
::testing::AssertionResult LoadFilterModule();
// The module file as loaded (empty before LoadFilterModule succeeded).
std::string LoadedModulePath();
// Where a symbol the module does not export lies in this process, from the module
// file's symbol table (null when absent, or when the file was stripped).
void* HiddenSymbol(const std::string& mangledName);

// Owns one reference of an interface pointer handed out by the module.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Reset(); }
  T* operator->() const { return _p; }
  T* Get() const { return _p; }
  explicit operator bool() const { return _p != nullptr; }
  // Where an out parameter lands; releases what was held.
  T** Out() {
    Reset();
    return &_p;
  }
  void Reset() {
    if (_p) std::exchange(_p, nullptr)->Release();
  }

 private:
  T* _p = nullptr;
};

template <class T>
HRESULT Instantiate(const char* lateType, Ref<T>& out) {
  void* p = nullptr;
  HRESULT hr = QORInstantiateComponent(lateType, T::ClassId(), &p);
  *out.Out() = static_cast<T*>(p);
  return hr;
}

// A scratch folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return _path; }
  std::string File(const std::string& name) const { return _path + "/" + name; }
  // Writes text into the named file and gives its path.
  std::string Write(const std::string& name, std::string_view text) const;

 private:
  std::string _path;
};

std::optional<std::string> ReadFile(const std::string& path);

// Compact text of a JSON text as an independent parser reads it, member order kept;
// "<invalid JSON>" when it does not parse. Comparing two of them compares documents.
std::string Json(std::string_view text);
// Compact text of the value at a JSON pointer ("" is the whole document), or
// "<missing>".
std::string JsonAt(std::string_view text, std::string_view pointer);
// The source path the generator keeps from its last generation; the interface has no
// way to ask it, so it is read from the implementation class.
std::string GeneratorSourcePath(QORIInputFilterGenerator* generator);

// Saves the generator's document to a new file of dir and gives the file's text;
// "<not saved>" when saving fails.
std::string SavedDocument(QORIInputFilterGenerator* generator, const TempDir& dir);

// Variables to set (a value) or remove (none).
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// The module reads its switches once, while it loads, and this program links it: that
// is before main. True when this process started with every variable of env as given
// (a value, or unset), or is the child started for this test: the test goes on here.
// Otherwise the running test is run again in a child process started so, its outcome
// reported in this one, and false tells the test to stop. A folder the test made before
// is the parent's: the child finds it through the variable that names it.
bool RunsHere(const EnvChanges& env);
#define DX_IN_PROCESS(env) \
  if (!::dxtest::RunsHere(env)) return

}  // namespace dxtest
