// ModuleObjectModelTest.cpp - the module as a citizen of the object model: what it
// exports and registers, allocation failures, and the hand-off of a reader from the
// generator.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "GeneratorFixture.h"

namespace dxtest {
namespace {

struct Component {
  const char* lateType;
  const char* className;
  const char* parentClass;
  bool generator;  // else a reader
};

const Component kComponents[] = {
    {"INPUT_FILTER_GENERATOR", "QORJsonFilterWriter", "QORBaseUnknown", true},
    {"INPUT_FILTER_READER", "QORResolvedFilter", "QORBaseUnknown", false},
    {"INPUT_CLOUDFILTER_GENERATOR", "QORCloudJsonFilter", "QORJsonFilterWriter", true},
    {"INPUT_CLOUDFILTER_READER", "QORCloudResolvedFilter", "QORResolvedFilter", false},
};

const IID& Iid(bool generator) {
  return generator ? IID_QORIInputFilterGenerator : IID_QORIResolvedInputFilter;
}

// Each late type makes its own class, bound to its interface by a TIE, derived from the
// class it extends; a generator is not a reader, nor the other way round.
TEST(ModuleMeta, EachComponentIsItsClassBoundByATie) {
  ASSERT_TRUE(LoadFilterModule());
  for (const Component& c : kComponents) {
    Ref<QORBaseUnknown> object;
    void* p = nullptr;
    ASSERT_EQ(QORInstantiateComponent(c.lateType, Iid(c.generator), &p), S_OK);
    *object.Out() = static_cast<QORBaseUnknown*>(p);
    QORBaseUnknown* implementation = object->GetImpl();
    EXPECT_STREQ(implementation->IsA(), c.className);
    EXPECT_STREQ(implementation->GetMetaObject()->GetParent()->GetName(), c.parentClass);
    EXPECT_TRUE(implementation->IsAKindOf(c.parentClass));
    EXPECT_TRUE(
        object->IsAKindOf(c.generator ? "QORIInputFilterGenerator" : "QORIResolvedInputFilter"));
    EXPECT_EQ(object->GetMetaObject()->GetImplementationMeta(), implementation->GetMetaObject());
    EXPECT_EQ(object->QueryInterface(Iid(!c.generator), &p), E_NOINTERFACE);
    EXPECT_EQ(implementation->GetRefCount(), 1);
    // A failed allocation gives an error and leaks nothing.
    const long live = QORLiveAllocations();
    QORFailNextAllocations(1);
    EXPECT_LT(QORInstantiateComponent(c.lateType, Iid(c.generator), &p), 0);
    QORFailNextAllocations(0);
    EXPECT_EQ(QORLiveAllocations(), live);
  }
}

// Hosts that embed the module make its components through these.
TEST(ModuleMeta, ModuleExportsItsTieCreators) {
  ASSERT_TRUE(LoadFilterModule());
  const std::string path = LoadedModulePath();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr) << dlerror();
  for (const Component& c : kComponents) {
    const std::string name =
        std::string("CreateTIE") +
        (c.generator ? "QORIInputFilterGenerator" : "QORIResolvedInputFilter") + c.className;
    void* exported =
        dlsym(handle, ("_Z" + std::to_string(name.size()) + name + "P14QORBaseUnknownS0_").c_str());
    EXPECT_NE(exported, nullptr) << name;
  }
  dlclose(handle);
}

class ReaderHandOff : public GeneratorFixture {
 protected:
  void SetUp() override {
    GeneratorFixture::SetUp();
    shape.columns = {0, 1};
  }
  // The one root's "Name" as a reader answers it, by the uid of entity i.
  static std::string Name(QORIResolvedInputFilter* reader, uint64_t i) {
    QORUnicodeString value("<none>");
    reader->GetObjectAttribute(QORUnicodeString(synth::UidString(i)), "Name", value);
    return value.Str();
  }
};

// Each hand-off is a new reader over the document of that moment, and outlives the
// generator.
TEST_F(ReaderHandOff, EachHandOffIsANewReaderOverTheDocumentOfThatMoment) {
  shape.children = {{synth::kRoots, {1}}};
  ASSERT_EQ(Generate(), S_OK);
  Ref<QORIResolvedInputFilter> first;
  ASSERT_EQ(generator->GetResolvedFilter(first.Out()), S_OK);
  EXPECT_STREQ(first->GetImpl()->IsA(), "QORResolvedFilter");

  shape.children = {{synth::kRoots, {2}}};
  ASSERT_EQ(Generate(), S_OK);
  Ref<QORIResolvedInputFilter> third;
  ASSERT_EQ(generator->GetResolvedFilter(third.Out()), S_OK);
  generator.Reset();
  EXPECT_EQ(Name(first.Get(), 1), "Element 1");
  EXPECT_EQ(Name(first.Get(), 2), "<none>");
  EXPECT_EQ(Name(third.Get(), 1), "<none>");
  EXPECT_EQ(Name(third.Get(), 2), "Element 2");
  EXPECT_EQ(third->GetImpl()->GetRefCount(), 1);
}

TEST_F(ReaderHandOff, FailedHandOffLeavesTheOutPointerAlone) {
  auto* const sentinel = reinterpret_cast<QORIResolvedInputFilter*>(0x5e);
  QORIResolvedInputFilter* out = sentinel;
  // Nothing generated yet: an empty document.
  EXPECT_LT(generator->GetResolvedFilter(&out), 0);
  shape.children = {{synth::kRoots, {1}}, {1, {2}}};
  shape.withoutUid = {1, 2};
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(generator->GetResolvedFilter(&out), E_FAIL);
  shape.withoutUid.clear();
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_LT(generator->GetResolvedFilter(nullptr), 0);
  QORFailNextAllocations(1);
  EXPECT_LT(generator->GetResolvedFilter(&out), 0);
  QORFailNextAllocations(0);
  EXPECT_EQ(out, sentinel);
}

}  // namespace
}  // namespace dxtest
