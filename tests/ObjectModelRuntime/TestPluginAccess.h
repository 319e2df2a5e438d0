// TestPluginAccess.h - loads the test plug-in from disk and reads what it counts.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"
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

inline void PrintTo(const ClassCounts& c, std::ostream* os) {
  *os << "{constructed " << c.constructed << ", destroyed " << c.destroyed << "}";
}

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
    _constructed =
        reinterpret_cast<QORTestPluginCountFn>(dlsym(_handle, kTestPluginConstructedSymbol));
    _destroyed = reinterpret_cast<QORTestPluginCountFn>(dlsym(_handle, kTestPluginDestroyedSymbol));
    _order = reinterpret_cast<QORTestPluginOrderFn>(dlsym(_handle, kTestPluginOrderSymbol));
    ASSERT_NE(_constructed, nullptr);
    ASSERT_NE(_destroyed, nullptr);
    ASSERT_NE(_order, nullptr);
  }
  void TearDown() override {
    QORFailNextAllocations(0);
    if (_handle) dlclose(_handle);
  }

  ClassCounts Counts(const char* className) const {
    ClassCounts c{_constructed(className), _destroyed(className)};
    EXPECT_GE(c.constructed, 0) << className << " is not counted by the plug-in";
    return c;
  }
  static ClassCounts Plus(ClassCounts c, int constructed, int destroyed) {
    return {c.constructed + constructed, c.destroyed + destroyed};
  }

  std::vector<int> RegistrationOrder() const {
    std::vector<int> order(64);
    int runs = _order(order.data(), static_cast<int>(order.size()));
    order.resize(static_cast<size_t>(runs));
    return order;
  }

  // A new component of the late type, asked for the interface iid.
  template <class T = QORBaseUnknown>
  static T* Instantiate(const char* lateType, const IID& iid) {
    void* out = nullptr;
    HRESULT hr = QORInstantiateComponent(lateType, iid, &out);
    EXPECT_EQ(hr, S_OK) << lateType;
    return static_cast<T*>(out);
  }

  template <class T>
  static T* Query(QORBaseUnknown* from, const IID& iid) {
    void* out = nullptr;
    HRESULT hr = from->QueryInterface(iid, &out);
    EXPECT_EQ(hr, S_OK);
    return static_cast<T*>(out);
  }

 private:
  void* _handle = nullptr;
  QORTestPluginCountFn _constructed = nullptr;
  QORTestPluginCountFn _destroyed = nullptr;
  QORTestPluginOrderFn _order = nullptr;
};

// Class names as the plug-in counts them.
inline constexpr const char* kBase = "TPBaseComponent";
inline constexpr const char* kMiddle = "TPMiddleComponent";
inline constexpr const char* kLeaf = "TPLeafComponent";
inline constexpr const char* kStructure = "TPStructureProvider";
inline constexpr const char* kTieProbeBase = "TIEQORITestProbeTPBaseComponent";
inline constexpr const char* kTieProbeMiddle = "TIEQORITestProbeTPMiddleComponent";
inline constexpr const char* kTieFilterBase = "TIEQORIResolvedInputFilterTPBaseComponent";
