// Plug-in modules loaded from disk, and creation of their components by late type.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : _name(name) {
    if (const char* old = getenv(name)) _old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (_old)
      setenv(_name.c_str(), _old->c_str(), 1);
    else
      unsetenv(_name.c_str());
  }

 private:
  std::string _name;
  std::optional<std::string> _old;
};

bool IsLoaded(const std::string& path) {
  const std::string canonical = fs::canonical(path).string();
  std::vector<std::string> loaded = QORLoadedModules();
  return std::count(loaded.begin(), loaded.end(), canonical) == 1;
}

// A failure reason the host can log as one line.
::testing::AssertionResult IsOneLineReason(const std::string& why) {
  if (why.empty()) return ::testing::AssertionFailure() << "no reason given";
  if (why.find('\n') != std::string::npos)
    return ::testing::AssertionFailure() << "reason spans lines: " << why;
  return ::testing::AssertionSuccess();
}

using ModuleLoading = TestPluginTest;

TEST_F(ModuleLoading, RegistrationTableRanOnceInTableOrder) {
  std::vector<int> expected;
  for (int i = 1; i <= kTestPluginRegistrations; ++i) expected.push_back(i);
  EXPECT_EQ(RegistrationOrder(), expected);
  EXPECT_TRUE(IsLoaded(DX_TEST_PLUGIN_PATH));
}

TEST_F(ModuleLoading, LoadingTheSameModuleAgainDoesNothing) {
  const std::vector<int> before = RegistrationOrder();
  const std::vector<std::string> loaded = QORLoadedModules();
  std::string why;
  EXPECT_EQ(QORLoadModule(DX_TEST_PLUGIN_PATH, &why), S_FALSE) << why;
  // Another spelling of the same file is the same module.
  const fs::path path(DX_TEST_PLUGIN_PATH);
  const std::string roundabout =
      (path.parent_path() / ".." / path.parent_path().filename() / path.filename()).string();
  EXPECT_EQ(QORLoadModule(roundabout.c_str(), &why), S_FALSE) << why;
  EXPECT_EQ(RegistrationOrder(), before);
  EXPECT_EQ(QORLoadedModules(), loaded);
}

TEST_F(ModuleLoading, InstantiatedLateTypeIsCreatedThroughItsTieAndFreedByLastRelease) {
  const long live = QORLiveAllocations();
  const ClassCounts provider = Counts(kStructure);
  void* out = nullptr;
  ASSERT_EQ(QORInstantiateComponent(kStructure, IID_QORIInputFilterStructure, &out), S_OK);
  auto* structure = static_cast<QORIInputFilterStructure*>(out);
  ASSERT_NE(structure, nullptr);
  EXPECT_EQ(structure->GetMetaObject()->GetTypeOfClass(), QORMetaClass::kTie);
  EXPECT_STREQ(structure->GetImpl()->IsA(), kStructure);
  QORRawCollPV roots;
  EXPECT_EQ(structure->GetRoots(roots), S_OK);
  ASSERT_EQ(roots.Size(), 1);
  EXPECT_EQ(roots[1], structure->GetImpl());
  EXPECT_EQ(Counts(kStructure), Plus(provider, 1, 0));

  structure->Release();
  EXPECT_EQ(Counts(kStructure), Plus(provider, 1, 1));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(ModuleLoading, InstantiatingUnknownLateTypeFailsWithNullOut) {
  void* out = &out;
  HRESULT hr = QORInstantiateComponent("TPNoSuchComponent", IID_QORBaseUnknown, &out);
  EXPECT_EQ(hr, QOR_E_CLASSNOTREG);
  EXPECT_TRUE(QORFailed(hr));
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_TRUE(QORFailed(QORInstantiateComponent(nullptr, IID_QORBaseUnknown, &out)));
  EXPECT_EQ(out, nullptr);
}

TEST_F(ModuleLoading, InstantiatingWhenCreationFunctionGivesNothingFailsWithNullOut) {
  const long live = QORLiveAllocations();
  const ClassCounts base = Counts(kBase);
  QORFailNextAllocations(1);
  void* out = &out;
  HRESULT hr = QORInstantiateComponent(kBase, IID_QORITestProbe, &out);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Counts(kBase), base);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(ModuleLoading, InstantiatingWithUnsupportedInterfaceFailsAndFreesTheComponent) {
  const long live = QORLiveAllocations();
  const ClassCounts provider = Counts(kStructure);
  void* out = &out;
  HRESULT hr = QORInstantiateComponent(kStructure, IID_QORITestProbe, &out);
  EXPECT_EQ(hr, E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Counts(kStructure), Plus(provider, 1, 1));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST(ModuleFiles, ModuleIsFoundByFileNameThroughTheModulePath) {
  const std::string modulePath =
      std::string("/nonexistent/qor/modules:") + DX_TEST_NAMED_MODULE_DIR;
  ScopedEnv env("QOR_MODULE_PATH", modulePath.c_str());

  void* out = &out;
  ASSERT_EQ(QORInstantiateComponent("TinyNamedComponent", IID_QORBaseUnknown, &out),
            QOR_E_CLASSNOTREG)
      << "the module was loaded before this test";
  std::string why;
  ASSERT_EQ(QORLoadModule(DX_TEST_NAMED_MODULE_FILE, &why), S_OK) << why;
  EXPECT_TRUE(IsLoaded(std::string(DX_TEST_NAMED_MODULE_DIR) + "/" + DX_TEST_NAMED_MODULE_FILE));
  EXPECT_EQ(QORLoadModule(DX_TEST_NAMED_MODULE_FILE, &why), S_FALSE);

  const long live = QORLiveAllocations();
  ASSERT_EQ(QORInstantiateComponent("TinyNamedComponent", IID_QORBaseUnknown, &out), S_OK);
  auto* component = static_cast<QORBaseUnknown*>(out);
  ASSERT_NE(component, nullptr);
  EXPECT_STREQ(component->IsA(), "TinyNamedComponent");
  EXPECT_EQ(QORLiveAllocations(), live + 1);
  EXPECT_EQ(component->Release(), 0u);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST(ModuleFiles, LoadModulesLoadsEveryModuleOfTheModulePathAndReportsOtherLibraries) {
  ScopedEnv env("QOR_MODULE_PATH", DX_TEST_SCAN_DIR);
  std::vector<std::string> errors;
  EXPECT_EQ(QORLoadModules(&errors), 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(fs::path(DX_TEST_NOT_A_MODULE_PATH).filename().string()),
            std::string::npos)
      << errors[0];
  EXPECT_TRUE(IsOneLineReason(errors[0]));

  void* out = nullptr;
  ASSERT_EQ(QORInstantiateComponent("TinyScannedComponent", IID_QORBaseUnknown, &out), S_OK);
  static_cast<QORBaseUnknown*>(out)->Release();

  // A second scan finds nothing new to load.
  errors.clear();
  EXPECT_EQ(QORLoadModules(&errors), 0);
}

TEST(ModuleFiles, LibraryWithoutRegistrationTableIsRefusedEveryTime) {
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(::testing::Message() << "attempt " << attempt);
    std::string why;
    EXPECT_TRUE(QORFailed(QORLoadModule(DX_TEST_NOT_A_MODULE_PATH, &why)));
    EXPECT_TRUE(IsOneLineReason(why));
  }
  std::vector<std::string> loaded = QORLoadedModules();
  EXPECT_EQ(
      std::count(loaded.begin(), loaded.end(), fs::canonical(DX_TEST_NOT_A_MODULE_PATH).string()),
      0);
}

TEST(ModuleFiles, HostKitLibraryIsNotAModule) {
  std::string why;
  EXPECT_TRUE(QORFailed(QORLoadModule(DX_HOST_KIT_PATH, &why)));
  EXPECT_TRUE(IsOneLineReason(why));
}

TEST(ModuleFiles, MissingModuleIsRefusedWithOneLineReason) {
  std::string why;
  EXPECT_TRUE(QORFailed(QORLoadModule("/nonexistent/qor/libqor_missing.so", &why)));
  EXPECT_TRUE(IsOneLineReason(why));
  EXPECT_NE(why.find("libqor_missing.so"), std::string::npos) << why;

  ScopedEnv env("QOR_MODULE_PATH", DX_TEST_NAMED_MODULE_DIR);
  why.clear();
  EXPECT_TRUE(QORFailed(QORLoadModule("libqor_missing.so", &why)));
  EXPECT_TRUE(IsOneLineReason(why));
  EXPECT_NE(why.find("libqor_missing.so"), std::string::npos) << why;

  why.clear();
  EXPECT_EQ(QORLoadModule("", &why), E_INVALIDARG);
  EXPECT_TRUE(IsOneLineReason(why));
  EXPECT_EQ(QORLoadModule(nullptr), E_INVALIDARG);
}

TEST(ModulePath, ListsTheFoldersOfQorModulePathSkippingEmptyOnes) {
  ScopedEnv env("QOR_MODULE_PATH", "/a/one::/b/two:");
  EXPECT_EQ(QORModulePath(), (std::vector<std::string>{"/a/one", "/b/two"}));
}

TEST(ModulePath, DefaultsToLibModulesBesideTheProgramsBinFolder) {
  ScopedEnv env("QOR_MODULE_PATH", nullptr);
  std::vector<std::string> path = QORModulePath();
  ASSERT_EQ(path.size(), 1u);
  EXPECT_EQ(fs::weakly_canonical(path[0]), fs::weakly_canonical(DX_DEFAULT_MODULE_DIR));
}

}  // namespace
