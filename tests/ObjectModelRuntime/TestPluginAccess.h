// TestPluginAccess.h - loads the test plug-in from disk and reads what it counts.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "ObjectModelRuntime/plugin/QORITestProbe.h"
#include "ObjectModelRuntime/plugin/TestPluginProbes.h"

// Constructions and destructions of one plug-in class, read at one moment.
struct ClassCounts {
  int constructed = 0;
  int destroyed = 0;
  bool operator==(const ClassCounts&) const = default;
};

// Fixture for tests that use the plug-in's components. The module is loaded once per
// process (later loads answer S_FALSE); its probes are found with dlsym.
class TestPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    HRESULT hr = QORLoadModule(DX_TEST_PLUGIN_PATH, &why);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << why;
    _handle = dlopen(DX_TEST_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(_handle, nullptr) << dlerror();
    _count = reinterpret_cast<QORTestPluginCountFn>(dlsym(_handle, kTestPluginCountSymbol));
    _order = reinterpret_cast<QORTestPluginOrderFn>(dlsym(_handle, kTestPluginOrderSymbol));
    ASSERT_TRUE(_count && _order) << dlerror();
  }
  void TearDown() override {
    QORFailNextAllocations(0);
    if (_handle) dlclose(_handle);
  }

  ClassCounts Counts(const char* className) const {
    ClassCounts c{_count(className, 0), _count(className, 1)};
    EXPECT_GE(c.constructed, 0) << className << " is not counted by the plug-in";
    return c;
  }
  static ClassCounts Plus(ClassCounts c, int constructed, int destroyed) {
    return {c.constructed + constructed, c.destroyed + destroyed};
  }

  std::vector<int> RegistrationOrder() const {
    std::vector<int> order(64);
    order.resize(static_cast<size_t>(_order(order.data(), static_cast<int>(order.size()))));
    return order;
  }

  // A new component of the late type, asked for the interface iid.
  template <class T = QORBaseUnknown>
  static T* Instantiate(const char* lateType, const IID& iid) {
    void* out = nullptr;
    EXPECT_EQ(QORInstantiateComponent(lateType, iid, &out), S_OK) << lateType;
    return static_cast<T*>(out);
  }

  template <class T>
  static T* Query(QORBaseUnknown* from, const IID& iid) {
    void* out = nullptr;
    EXPECT_EQ(from->QueryInterface(iid, &out), S_OK);
    return static_cast<T*>(out);
  }

 private:
  void* _handle = nullptr;
  QORTestPluginCountFn _count = nullptr;
  QORTestPluginOrderFn _order = nullptr;
};

// Class names as the plug-in counts them.
inline constexpr const char* kBase = "TPBaseComponent";
inline constexpr const char* kMiddle = "TPMiddleComponent";
inline constexpr const char* kLeaf = "TPLeafComponent";
inline constexpr const char* kTieProbeBase = "TIEQORITestProbeTPBaseComponent";
inline constexpr const char* kTieProbeMiddle = "TIEQORITestProbeTPMiddleComponent";
inline constexpr const char* kTieFilterBase = "TIEQORIResolvedInputFilterTPBaseComponent";
