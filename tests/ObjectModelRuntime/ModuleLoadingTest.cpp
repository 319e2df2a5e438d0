// Plug-in modules loaded from disk, and creation of their components by late type.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : _name(name) {
    if (const char* old = getenv(name)) _old = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { _old ? setenv(_name.c_str(), _old->c_str(), 1) : unsetenv(_name.c_str()); }

 private:
  std::string _name;
  std::optional<std::string> _old;
};

int TimesLoaded(const std::string& path) {
  const std::vector<std::string> loaded = QORLoadedModules();
  return static_cast<int>(std::count(loaded.begin(), loaded.end(), fs::canonical(path).string()));
}

// A failure reason the host can log as one line, naming what failed.
::testing::AssertionResult IsOneLineReason(const std::string& why, const std::string& names) {
  if (why.empty() || why.find('\n') != std::string::npos || why.find(names) == std::string::npos)
    return ::testing::AssertionFailure() << "not a one-line reason naming " << names << ": " << why;
  return ::testing::AssertionSuccess();
}

using ModuleLoading = TestPluginTest;

TEST_F(ModuleLoading, RegistrationTableRunsOnceInTableOrder) {
  std::vector<int> expected;
  for (int i = 1; i <= kTestPluginRegistrations; ++i) expected.push_back(i);
  EXPECT_EQ(RegistrationOrder(), expected);
  EXPECT_EQ(TimesLoaded(DX_TEST_PLUGIN_PATH), 1);
  // Loading again, under another spelling of the same file too, does nothing.
  const fs::path path(DX_TEST_PLUGIN_PATH);
  const std::string roundabout =
      (path.parent_path() / ".." / path.parent_path().filename() / path.filename()).string();
  for (const std::string& again : {path.string(), roundabout}) {
    std::string why;
    EXPECT_EQ(QORLoadModule(again.c_str(), &why), S_FALSE) << why;
  }
  EXPECT_EQ(RegistrationOrder(), expected);
  EXPECT_EQ(TimesLoaded(DX_TEST_PLUGIN_PATH), 1);
}

TEST_F(ModuleLoading, InstantiationGivesTheInterfaceOrFailsWithNullOutAndFreesEverything) {
  const long live = QORLiveAllocations();
  const ClassCounts base = Counts(kBase);
  auto* filter = Instantiate<QORIResolvedInputFilter>(kBase, IID_QORIResolvedInputFilter);
  ASSERT_NE(filter, nullptr);
  EXPECT_STREQ(filter->GetImpl()->IsA(), kBase);
  EXPECT_EQ(filter->Release(), 0u);

  const struct {
    const char* lateType;
    const IID& iid;
    HRESULT hr;
  } failures[] = {
      {"TPNoSuchComponent", IID_QORBaseUnknown, QOR_E_CLASSNOTREG},
      {nullptr, IID_QORBaseUnknown, QOR_E_CLASSNOTREG},
      {kBase, IID_QORIInputFilterStructure, E_NOINTERFACE},  // made, then freed
  };
  for (const auto& f : failures) {
    void* out = &out;
    EXPECT_EQ(QORInstantiateComponent(f.lateType, f.iid, &out), f.hr) << f.lateType;
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(Counts(kBase), Plus(base, 2, 2));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST(ModuleFiles, ModuleIsFoundByFileNameThroughTheModulePath) {
  ScopedEnv env("QOR_MODULE_PATH",
                (std::string("/nonexistent/qor/modules:") + DX_TEST_NAMED_MODULE_DIR).c_str());
  void* out = nullptr;
  ASSERT_EQ(QORInstantiateComponent("TinyNamedComponent", IID_QORBaseUnknown, &out),
            QOR_E_CLASSNOTREG)
      << "the module was loaded before this test";
  std::string why;
  ASSERT_EQ(QORLoadModule(DX_TEST_NAMED_MODULE_FILE, &why), S_OK) << why;
  EXPECT_EQ(TimesLoaded(std::string(DX_TEST_NAMED_MODULE_DIR) + "/" + DX_TEST_NAMED_MODULE_FILE),
            1);
  EXPECT_EQ(QORLoadModule(DX_TEST_NAMED_MODULE_FILE, &why), S_FALSE);
  ASSERT_EQ(QORInstantiateComponent("TinyNamedComponent", IID_QORBaseUnknown, &out), S_OK);
  EXPECT_STREQ(static_cast<QORBaseUnknown*>(out)->IsA(), "TinyNamedComponent");
  EXPECT_EQ(static_cast<QORBaseUnknown*>(out)->Release(), 0u);
}

TEST(ModuleFiles, LoadModulesLoadsEveryModuleOfTheModulePathAndReportsOtherLibraries) {
  ScopedEnv env("QOR_MODULE_PATH", DX_TEST_SCAN_DIR);
  std::vector<std::string> errors;
  EXPECT_EQ(QORLoadModules(&errors), 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(IsOneLineReason(errors[0], fs::path(DX_TEST_NOT_A_MODULE_PATH).filename()));
  void* out = nullptr;
  ASSERT_EQ(QORInstantiateComponent("TinyScannedComponent", IID_QORBaseUnknown, &out), S_OK);
  static_cast<QORBaseUnknown*>(out)->Release();
  errors.clear();
  EXPECT_EQ(QORLoadModules(&errors), 0);  // nothing new the second time
}

TEST(ModuleFiles, WhatIsNotALoadableModuleIsRefusedWithOneLineReason) {
  ScopedEnv env("QOR_MODULE_PATH", DX_TEST_NAMED_MODULE_DIR);
  const struct {
    const char* path;
    const char* named;
  } refused[] = {
      {DX_TEST_NOT_A_MODULE_PATH, "not_a_module"},  // no registration table, every time
      {DX_TEST_NOT_A_MODULE_PATH, "not_a_module"},
      {DX_HOST_KIT_PATH, ""},
      {"/nonexistent/qor/libqor_missing.so", "libqor_missing.so"},
      {"libqor_missing.so", "libqor_missing.so"},  // not found through the module path
      {"", ""},
  };
  for (const auto& r : refused) {
    std::string why;
    EXPECT_TRUE(QORFailed(QORLoadModule(r.path, &why))) << r.path;
    EXPECT_TRUE(IsOneLineReason(why, r.named)) << r.path;
  }
  EXPECT_EQ(QORLoadModule(nullptr), E_INVALIDARG);
  EXPECT_EQ(TimesLoaded(DX_TEST_NOT_A_MODULE_PATH), 0);
}

TEST(ModulePath, ListsTheFoldersOfQorModulePathOrTheDefaultBesideTheProgram) {
  {
    ScopedEnv env("QOR_MODULE_PATH", "/a/one::/b/two:");
    EXPECT_EQ(QORModulePath(), (std::vector<std::string>{"/a/one", "/b/two"}));
  }
  ScopedEnv env("QOR_MODULE_PATH", nullptr);
  const std::vector<std::string> path = QORModulePath();
  ASSERT_EQ(path.size(), 1u);
  EXPECT_EQ(fs::weakly_canonical(path[0]), fs::weakly_canonical(DX_DEFAULT_MODULE_DIR));
}

}  // namespace
