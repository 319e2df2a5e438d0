// ModuleObjectModelTest.cpp - the module as a citizen of the object model: what it
// exports, its meta classes, reference counts, allocation failures, and the hand-off of
// a reader from the generator.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "GeneratorFixture.h"
#include "ObjectModelRuntime/QORFillDictionary.h"

namespace dxtest {
namespace {

struct Component {
  const char* lateType;
  const char* className;
  bool generator;  // else a reader
};

const Component kComponents[] = {
    {"INPUT_FILTER_GENERATOR", "QORJsonFilterWriter", true},
    {"INPUT_FILTER_READER", "QORResolvedFilter", false},
    {"INPUT_CLOUDFILTER_GENERATOR", "QORCloudJsonFilter", true},
    {"INPUT_CLOUDFILTER_READER", "QORCloudResolvedFilter", false},
};

void PrintTo(const Component& c, std::ostream* os) {
  *os << c.lateType;
}

// One reference on the component's interface (generator or reader).
HRESULT InstantiateAny(const Component& c, Ref<QORBaseUnknown>& out) {
  void* p = nullptr;
  HRESULT hr = QORInstantiateComponent(
      c.lateType, c.generator ? IID_QORIInputFilterGenerator : IID_QORIResolvedInputFilter, &p);
  *out.Out() = static_cast<QORBaseUnknown*>(p);
  return hr;
}

class ModuleComponent : public ::testing::TestWithParam<Component> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    // Meta classes are made on first use; make them before counting allocations.
    Ref<QORBaseUnknown> warm;
    ASSERT_EQ(InstantiateAny(GetParam(), warm), S_OK);
  }
  void TearDown() override { QORFailNextAllocations(0); }
};

TEST_P(ModuleComponent, FailedComponentAllocationGivesAnErrorAndLeaksNothing) {
  const long live = QORLiveAllocations();
  QORFailNextAllocations(1);
  Ref<QORBaseUnknown> object;
  EXPECT_LT(InstantiateAny(GetParam(), object), 0);
  EXPECT_FALSE(object);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_P(ModuleComponent, FailedTieAllocationLeavesTheImplementationAsItWas) {
  const Component& c = GetParam();
  Ref<QORBaseUnknown> object;
  ASSERT_EQ(InstantiateAny(c, object), S_OK);
  QORBaseUnknown* implementation = object->GetImpl();
  const IID& iid = c.generator ? IID_QORIInputFilterGenerator : IID_QORIResolvedInputFilter;
  QORTieCreator creator = QORFillDictionary::FindTieCreator(implementation->GetMetaObject(), iid);
  ASSERT_NE(creator, nullptr);
  const long live = QORLiveAllocations();
  const int32_t count = implementation->GetRefCount();

  QORFailNextAllocations(1);
  EXPECT_EQ(creator(implementation, nullptr), nullptr);
  EXPECT_EQ(QORLiveAllocations(), live);
  EXPECT_EQ(implementation->GetRefCount(), count);

  QORFailNextAllocations(1);
  void* tie = reinterpret_cast<void*>(0x1);
  EXPECT_LT(implementation->QueryInterface(iid, &tie), 0);
  EXPECT_EQ(tie, nullptr);
  EXPECT_EQ(QORLiveAllocations(), live);
  EXPECT_EQ(implementation->GetRefCount(), count);

  // Without the failure a TIE holds one reference of its own on the implementation.
  QORBaseUnknown* made = creator(implementation, nullptr);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(implementation->GetRefCount(), count + 1);
  EXPECT_EQ(made->GetImpl(), implementation);
  EXPECT_EQ(made->Release(), 0u);
  EXPECT_EQ(implementation->GetRefCount(), count);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_P(ModuleComponent, HandedOutInterfaceIsTheOnlyReference) {
  const long live = QORLiveAllocations();
  Ref<QORBaseUnknown> object;
  ASSERT_EQ(InstantiateAny(GetParam(), object), S_OK);
  EXPECT_GT(QORLiveAllocations(), live);
  EXPECT_EQ(object.Detach()->Release(), 0u);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_P(ModuleComponent, ImplementationCarriesItsClassName) {
  const Component& c = GetParam();
  Ref<QORBaseUnknown> object;
  ASSERT_EQ(InstantiateAny(c, object), S_OK);
  QORBaseUnknown* implementation = object->GetImpl();
  EXPECT_STREQ(implementation->IsA(), c.className);
  EXPECT_TRUE(implementation->IsAKindOf(c.className));
  EXPECT_TRUE(implementation->IsAKindOf("QORBaseUnknown"));
  EXPECT_FALSE(implementation->IsAKindOf("QORIInputFilterStructure"));
  // The TIE in hand binds the interface to exactly this class.
  EXPECT_EQ(object->GetMetaObject()->GetImplementationMeta(), implementation->GetMetaObject());
}

INSTANTIATE_TEST_SUITE_P(Components, ModuleComponent, ::testing::ValuesIn(kComponents),
                         [](const ::testing::TestParamInfo<Component>& info) {
                           return std::string(info.param.className);
                         });

class ModuleMeta : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadFilterModule()); }
};

TEST_F(ModuleMeta, CloudClassesDeriveFromTheirFilterClasses) {
  Ref<QORIInputFilterGenerator> writer, cloudWriter;
  Ref<QORIResolvedInputFilter> reader, cloudReader;
  ASSERT_EQ(Instantiate("INPUT_FILTER_GENERATOR", writer), S_OK);
  ASSERT_EQ(Instantiate("INPUT_CLOUDFILTER_GENERATOR", cloudWriter), S_OK);
  ASSERT_EQ(Instantiate("INPUT_FILTER_READER", reader), S_OK);
  ASSERT_EQ(Instantiate("INPUT_CLOUDFILTER_READER", cloudReader), S_OK);

  EXPECT_EQ(cloudWriter->GetImpl()->GetMetaObject()->GetParent(),
            writer->GetImpl()->GetMetaObject());
  EXPECT_EQ(cloudReader->GetImpl()->GetMetaObject()->GetParent(),
            reader->GetImpl()->GetMetaObject());
  EXPECT_EQ(writer->GetImpl()->GetMetaObject()->GetParent(), QORBaseUnknown::MetaObject());
  EXPECT_TRUE(cloudWriter->GetImpl()->IsAKindOf("QORJsonFilterWriter"));
  EXPECT_FALSE(writer->GetImpl()->IsAKindOf("QORCloudJsonFilter"));
  EXPECT_FALSE(writer->GetImpl()->IsAKindOf("QORResolvedFilter"));
  // A generator is not a reader, nor the other way round.
  void* p = nullptr;
  EXPECT_EQ(writer->QueryInterface(IID_QORIResolvedInputFilter, &p), E_NOINTERFACE);
  EXPECT_EQ(reader->QueryInterface(IID_QORIInputFilterGenerator, &p), E_NOINTERFACE);
}

std::string Mangled(const char* function) {
  return "_Z" + std::to_string(std::strlen(function)) + function + "P14QORBaseUnknownS0_";
}

TEST_F(ModuleMeta, ModuleExportsItsMarkerAndTieCreatorsOnly) {
  const std::string path = LoadedModulePath();
  ASSERT_FALSE(path.empty());
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr) << dlerror();

  using Marker = int (*)();
  auto marker =
      reinterpret_cast<Marker>(dlsym(handle, "ZQ_SYSTEMS_KIT2_INTERNAL_DXInputFilterServices"));
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(marker(), 1);

  const std::pair<const char*, const char*> creators[] = {
      {"CreateTIEQORIInputFilterGeneratorQORJsonFilterWriter", "INPUT_FILTER_GENERATOR"},
      {"CreateTIEQORIInputFilterGeneratorQORCloudJsonFilter", "INPUT_CLOUDFILTER_GENERATOR"},
      {"CreateTIEQORIResolvedInputFilterQORResolvedFilter", "INPUT_FILTER_READER"},
      {"CreateTIEQORIResolvedInputFilterQORCloudResolvedFilter", "INPUT_CLOUDFILTER_READER"},
  };
  for (const auto& [name, lateType] : creators) {
    void* exported = dlsym(handle, Mangled(name).c_str());
    EXPECT_NE(exported, nullptr) << name;
    // The dictionary holds the very function the module exports.
    Ref<QORBaseUnknown> object;
    const bool isGenerator = std::strstr(name, "Generator") != nullptr;
    ASSERT_EQ(InstantiateAny(Component{lateType, "", isGenerator}, object), S_OK);
    EXPECT_EQ(reinterpret_cast<void*>(QORFillDictionary::FindTieCreator(
                  object->GetImpl()->GetMetaObject(),
                  isGenerator ? IID_QORIInputFilterGenerator : IID_QORIResolvedInputFilter)),
              exported)
        << name;
  }
  for (const char* hidden :
       {"_ZN19QORJsonFilterWriter10MetaObjectEv", "_ZN17QORResolvedFilter10MetaObjectEv",
        "_ZTV19QORJsonFilterWriter", "_ZN2dx12g_dumpSwitchE"})
    EXPECT_EQ(dlsym(handle, hidden), nullptr) << hidden;
  dlclose(handle);

  // Nothing of the module's own classes is visible outside it.
  FILE* nm = popen(("nm -D -C --defined-only '" + path + "' 2>/dev/null").c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::string listing;
  char line[4096];
  while (std::fgets(line, sizeof(line), nm)) listing += line;
  ASSERT_EQ(pclose(nm), 0);
  ASSERT_NE(listing.find("ZQ_SYSTEMS_KIT2_INTERNAL_DXInputFilterServices"), std::string::npos);
  size_t start = 0;
  int creatorsSeen = 0;
  while (start < listing.size()) {
    size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    std::string entry = listing.substr(start, end - start);
    start = end + 1;
    // "address type name": the name is what follows the type letter.
    size_t nameAt = entry.find(' ', entry.find(' ') + 1);
    if (nameAt == std::string::npos) continue;
    std::string name = entry.substr(nameAt + 1);
    if (name.rfind("CreateTIE", 0) == 0 || name.rfind("TIEQOR", 0) == 0) {
      creatorsSeen += name.rfind("CreateTIE", 0) == 0;
      continue;
    }
    for (const char* internal : {"QORJsonFilterWriter", "QORResolvedFilter", "QORCloudJsonFilter",
                                 "QORCloudResolvedFilter", "FilterSettingsStore", "MappingEntry"})
      EXPECT_EQ(name.find(internal), std::string::npos) << "exported: " << name;
    EXPECT_NE(name.rfind("dx::", 0), 0u) << "exported: " << name;
  }
  EXPECT_EQ(creatorsSeen, 4);
}

// Where a section of an ELF file lies (its address in the file's own layout), and the
// range the loader makes read-only after relocation (PT_GNU_RELRO); empty when absent.
struct ElfLayout {
  uint64_t tableAddress = 0, tableSize = 0;
  uint64_t relroStart = 0, relroEnd = 0;
};

bool ReadElfLayout(const std::string& path, const char* section, ElfLayout& layout) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  const std::string bytes = all.str();
  if (bytes.size() < sizeof(Elf64_Ehdr)) return false;
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
    return false;
  auto sectionAt = [&](size_t i) {
    Elf64_Shdr s;
    std::memcpy(&s, bytes.data() + header.e_shoff + i * sizeof(Elf64_Shdr), sizeof(s));
    return s;
  };
  if (header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr) > bytes.size()) return false;
  const Elf64_Shdr names = sectionAt(header.e_shstrndx);
  for (size_t i = 0; i < header.e_shnum; ++i) {
    const Elf64_Shdr s = sectionAt(i);
    if (std::strcmp(bytes.c_str() + names.sh_offset + s.sh_name, section) == 0) {
      layout.tableAddress = s.sh_addr;
      layout.tableSize = s.sh_size;
    }
  }
  for (size_t i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr p;
    std::memcpy(&p, bytes.data() + header.e_phoff + i * sizeof(Elf64_Phdr), sizeof(p));
    if (p.p_type == PT_GNU_RELRO)
      layout.relroStart = p.p_vaddr, layout.relroEnd = p.p_vaddr + p.p_memsz;
  }
  return true;
}

// The permissions ("r-xp"...) of the mapping of this process that holds address.
std::string MappingPermissions(uintptr_t address) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    unsigned long long from = 0, to = 0;
    char permissions[5] = {};
    if (std::sscanf(line.c_str(), "%llx-%llx %4s", &from, &to, permissions) == 3 &&
        address >= from && address < to)
      return permissions;
  }
  return "";
}

TEST(ModuleTable, RegistrationTableIsReadOnlyOnceLoaded) {
  ASSERT_TRUE(LoadFilterModule());
  const std::string path = LoadedModulePath();
  ASSERT_FALSE(path.empty());
  ElfLayout layout;
  ASSERT_TRUE(ReadElfLayout(path, "zqyom", layout)) << path;
  ASSERT_GT(layout.tableSize, 0u) << "no zqyom section in " << path;
  ASSERT_LT(layout.relroStart, layout.relroEnd) << "no RELRO segment in " << path;
  EXPECT_GE(layout.tableAddress, layout.relroStart);
  EXPECT_LE(layout.tableAddress + layout.tableSize, layout.relroEnd);

  // Loaded: the table sits on a page that cannot be written, and still reads as the kit
  // expects: a null slot, the nine registration functions, a null slot.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr) << dlerror();
  link_map* map = nullptr;
  ASSERT_EQ(dlinfo(handle, RTLD_DI_LINKMAP, &map), 0) << dlerror();
  auto* const* table = reinterpret_cast<void* const*>(map->l_addr + layout.tableAddress);
  const std::string permissions = MappingPermissions(reinterpret_cast<uintptr_t>(table));
  EXPECT_EQ(permissions.substr(0, 2), "r-") << permissions;
  EXPECT_EQ(table[0], nullptr);
  for (int slot = 1; slot <= 9; ++slot) EXPECT_NE(table[slot], nullptr) << slot;
  EXPECT_EQ(table[10], nullptr);
  EXPECT_DEATH(*const_cast<void* volatile*>(&table[0]) = handle, "");
  dlclose(handle);
}

class ReaderHandOff : public GeneratorFixture {
 protected:
  void SetUp() override {
    GeneratorFixture::SetUp();
    model.columnNames = {"tree", "X"};
    model.columns["tree"] = TestColumn{"T", 0, {}};
    model.columns["X"] = TestColumn{"x", 3, {}};
  }
  TestEntity* Entity(const std::string& uid, const std::string& x) {
    TestEntity* e = model.Add(uid, uid, {uid});
    e->values["X"] = {x, false};
    return e;
  }
  static std::string Attribute(QORIResolvedInputFilter* reader, const char* uid) {
    QORUnicodeString value("<none>");
    reader->GetObjectAttribute(uid, "X", value);
    return value.Str();
  }
};

TEST_F(ReaderHandOff, EachHandOffIsANewReaderOverTheDocumentOfThatMoment) {
  model.roots = {Entity("u1", "first")};
  ASSERT_EQ(Generate(), S_OK);
  Ref<QORIResolvedInputFilter> first, second;
  ASSERT_EQ(generator->GetResolvedFilter(first.Out()), S_OK);
  ASSERT_EQ(generator->GetResolvedFilter(second.Out()), S_OK);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_NE(first->GetImpl(), second->GetImpl());
  EXPECT_STREQ(first->GetImpl()->IsA(), "QORResolvedFilter");

  model.roots = {Entity("u2", "later")};
  ASSERT_EQ(Generate(), S_OK);
  Ref<QORIResolvedInputFilter> third;
  ASSERT_EQ(generator->GetResolvedFilter(third.Out()), S_OK);
  EXPECT_EQ(Attribute(first.Get(), "u1"), "first");
  EXPECT_EQ(Attribute(first.Get(), "u2"), "<none>");
  EXPECT_EQ(Attribute(third.Get(), "u1"), "<none>");
  EXPECT_EQ(Attribute(third.Get(), "u2"), "later");
}

TEST_F(ReaderHandOff, ReaderOutlivesTheGeneratorAndFreesEverythingOnRelease) {
  const long live = QORLiveAllocations();
  model.roots = {Entity("u1", "kept")};
  ASSERT_EQ(Generate(), S_OK);
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
  EXPECT_EQ(generator.Detach()->Release(), 0u);

  EXPECT_EQ(Attribute(reader.Get(), "u1"), "kept");
  EXPECT_EQ(reader->GetImpl()->GetRefCount(), 1);
  EXPECT_EQ(reader.Detach()->Release(), 0u);
  // Less than at the start: the generator the fixture made is gone too.
  EXPECT_LT(QORLiveAllocations(), live);
  Ref<QORIInputFilterGenerator> again;
  ASSERT_EQ(Instantiate("INPUT_FILTER_GENERATOR", again), S_OK);
  EXPECT_EQ(QORLiveAllocations(), live);
  generator = std::move(again);
}

TEST_F(ReaderHandOff, FailedHandOffLeavesTheOutPointerAlone) {
  auto* const sentinel = reinterpret_cast<QORIResolvedInputFilter*>(0x5e);
  QORIResolvedInputFilter* out = sentinel;
  // Nothing generated yet: an empty document.
  EXPECT_LT(generator->GetResolvedFilter(&out), 0);
  EXPECT_EQ(out, sentinel);

  model.roots = {model.Add("a", "No uid anywhere")};
  model.roots[0]->children = {model.Add("b", "Nor here")};
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(generator->GetResolvedFilter(&out), E_FAIL);
  EXPECT_EQ(out, sentinel);

  model.roots = {Entity("u1", "x")};
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_LT(generator->GetResolvedFilter(nullptr), 0);
  QORFailNextAllocations(1);
  EXPECT_LT(generator->GetResolvedFilter(&out), 0);
  QORFailNextAllocations(0);
  EXPECT_EQ(out, sentinel);
}

}  // namespace
}  // namespace dxtest
