// TestPlugin.cpp - the object model's test plug-in, written the way production modules
// are: hidden visibility, meta classes created lazily under the object-model guard, one
// TIE class per (interface, implementation) pair, and a registration table in the
// "zqyom" section that the kit runs once the library is loaded.
//
// Components:
//   TPBaseComponent      TIEs for QORITestProbe and QORIResolvedInputFilter
//   TPMiddleComponent    derives from TPBaseComponent, its own QORITestProbe TIE
//   TPLeafComponent      derives from TPMiddleComponent, no TIE of its own
//   TPStructureProvider  TIE for QORIInputFilterStructure
// Every class counts its constructions and destructions so the tests can prove that
// each object is freed exactly once.
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "InputFilteringInterfaces/QORInputFilterStructureTie.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "ObjectModelRuntime/QORTie.h"
#include "ObjectModelRuntime/plugin/QORITestProbe.h"
#include "ObjectModelRuntime/plugin/TestPluginProbes.h"

namespace {

// ---- construction / destruction counters -------------------------------------------

struct ClassCounter {
  const char* name;
  std::atomic<int> constructed{0};
  std::atomic<int> destroyed{0};
};

enum Counted {
  kBase,
  kMiddle,
  kLeaf,
  kStructure,
  kTieProbeBase,
  kTieProbeMiddle,
  kTieFilterBase,
  kCountedClasses
};

ClassCounter g_counters[kCountedClasses] = {
    {"TPBaseComponent"},
    {"TPMiddleComponent"},
    {"TPLeafComponent"},
    {"TPStructureProvider"},
    {"TIEQORITestProbeTPBaseComponent"},
    {"TIEQORITestProbeTPMiddleComponent"},
    {"TIEQORIResolvedInputFilterTPBaseComponent"},
};

void Constructed(Counted c) {
  g_counters[c].constructed.fetch_add(1, std::memory_order_relaxed);
}
void Destroyed(Counted c) {
  g_counters[c].destroyed.fetch_add(1, std::memory_order_relaxed);
}

ClassCounter* FindCounter(const char* name) {
  if (!name) return nullptr;
  for (ClassCounter& c : g_counters)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

// ---- registration order --------------------------------------------------------------

constexpr int kOrderCapacity = 64;
std::atomic<int> g_runs{0};
int g_order[kOrderCapacity];

void RecordRun(int number, int registered) {
  int k = g_runs.load(std::memory_order_relaxed);
  if (k < kOrderCapacity) g_order[k] = registered ? number : -number;
  g_runs.store(k + 1, std::memory_order_release);
}

// ---- meta classes --------------------------------------------------------------------

}  // namespace

const QORMetaClass* QORITestProbe::MetaObject() {
  static std::atomic<const QORMetaClass*> s_meta{nullptr};
  return zqy::internal::LazyInterfaceMetaObject(s_meta, "QORITestProbe", IID_QORITestProbe,
                                                &QORBaseUnknown::MetaObject);
}

namespace {

// ---- components ----------------------------------------------------------------------

class TPBaseComponent : public QORBaseUnknown {
 public:
  TPBaseComponent() { Constructed(kBase); }
  ~TPBaseComponent() override { Destroyed(kBase); }

  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, "TPBaseComponent",
                                                  &QORBaseUnknown::MetaObject, "QORTestPlugin",
                                                  sizeof(TPBaseComponent));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }

  // QORITestProbe
  int GetValue() { return _value.load(std::memory_order_relaxed); }
  void SetValue(int value) { _value.store(value, std::memory_order_relaxed); }
  // Virtual IsA(): the most derived class, whichever TIE forwards here.
  const char* ImplementationClass() { return IsA(); }

  // QORIResolvedInputFilter
  HRESULT ReadFilterFile(const QORUnicodeString& path) {
    _filterFile = path;
    return S_OK;
  }
  HRESULT GetObjectAttribute(const QORUnicodeString& uid, const QORUnicodeString& name,
                             QORUnicodeString& value) {
    value = uid + "." + name;
    return S_OK;
  }
  HRESULT GetFilterID(QORUnicodeString& id) {
    id = _filterFile.IsEmpty() ? QORUnicodeString("TPFilter") : _filterFile;
    return S_OK;
  }
  // The "value" setting is the probe's value: both interfaces share one object.
  HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value) {
    if (!name.Compare("value")) return E_FAIL;
    value = QORUnicodeString(std::to_string(GetValue()));
    return S_OK;
  }
  HRESULT GetObjectIds(std::vector<QORUnicodeString>& ids) {
    ids.emplace_back("uid-1");
    ids.emplace_back("uid-2");
    return S_OK;
  }

 private:
  std::atomic<int> _value{0};
  QORUnicodeString _filterFile;
};

class TPMiddleComponent : public TPBaseComponent {
 public:
  TPMiddleComponent() { Constructed(kMiddle); }
  ~TPMiddleComponent() override { Destroyed(kMiddle); }

  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, "TPMiddleComponent",
                                                  &TPBaseComponent::MetaObject, "QORTestPlugin",
                                                  sizeof(TPMiddleComponent));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }
};

class TPLeafComponent : public TPMiddleComponent {
 public:
  TPLeafComponent() { Constructed(kLeaf); }
  ~TPLeafComponent() override { Destroyed(kLeaf); }

  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, "TPLeafComponent",
                                                  &TPMiddleComponent::MetaObject, "QORTestPlugin",
                                                  sizeof(TPLeafComponent));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }
};

class TPStructureProvider : public QORBaseUnknown {
 public:
  TPStructureProvider() { Constructed(kStructure); }
  ~TPStructureProvider() override { Destroyed(kStructure); }

  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, "TPStructureProvider",
                                                  &QORBaseUnknown::MetaObject, "QORTestPlugin",
                                                  sizeof(TPStructureProvider));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }

  HRESULT SetInputFile(QORUnicodeString path) {
    _inputFile = std::move(path);
    return S_OK;
  }
  HRESULT GetFilterID(QORUnicodeString& id) {
    id = "TP_STRUCTURE:" + _inputFile;
    return S_OK;
  }
  HRESULT GetFormatUsage(QORUnicodeString& usage) {
    usage = "test";
    return S_OK;
  }
  HRESULT GetColumns(QORListValQORUnicodeString& columns) {
    columns.Append(QORUnicodeString("Tree"));
    return S_OK;
  }
  HRESULT GetColumnDescription(QORUnicodeString, QORUnicodeString&, int32_t&,
                               QORListValQORUnicodeString&) {
    return E_NOTIMPL;
  }
  HRESULT GetRoots(QORRawCollPV& roots) {
    roots.Append(this);
    return S_OK;
  }
  HRESULT GetEntityLabel(void*, QORUnicodeString&, QORListValQORUnicodeString&, bool&) {
    return E_NOTIMPL;
  }
  HRESULT GetEntityData(void*, QORListValQORUnicodeString&, QORListValQORUnicodeString&) {
    return E_NOTIMPL;
  }
  HRESULT GetChildren(void*, QORRawCollPV&) { return S_OK; }
  HRESULT GetEntityValue(void*, QORUnicodeString, QORUnicodeString&, bool&,
                         const QORUnicodeString*) {
    return E_NOTIMPL;
  }
  HRESULT GetEntityAttribute(void*, QORUnicodeString, QORUnicodeString&) { return E_NOTIMPL; }

 private:
  QORUnicodeString _inputFile;
};

// ---- TIE classes ---------------------------------------------------------------------

// What every TIE class of the module does the same way; the TIE classes below add the
// forwarding of their interface's methods and nothing else (no data member: the kit
// keeps the implementation and the count in QORBaseUnknown's fields).
template <class Iface, class Impl>
class TPTie : public Iface {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyTieMetaObject<Iface, Impl>(s_meta, Iface::ClassId());
  }
  QOR_TIE_OBJECT_MODEL(TPTie)

 protected:
  Impl* Target() const { return static_cast<Impl*>(this->_pImpl); }
};

class TIEQORITestProbeTPBaseComponent final : public TPTie<QORITestProbe, TPBaseComponent> {
 public:
  TIEQORITestProbeTPBaseComponent() { Constructed(kTieProbeBase); }
  ~TIEQORITestProbeTPBaseComponent() override { Destroyed(kTieProbeBase); }
  int GetValue() override { return Target()->GetValue(); }
  void SetValue(int value) override { Target()->SetValue(value); }
  const char* ImplementationClass() override { return Target()->ImplementationClass(); }
};

class TIEQORITestProbeTPMiddleComponent final : public TPTie<QORITestProbe, TPMiddleComponent> {
 public:
  TIEQORITestProbeTPMiddleComponent() { Constructed(kTieProbeMiddle); }
  ~TIEQORITestProbeTPMiddleComponent() override { Destroyed(kTieProbeMiddle); }
  int GetValue() override { return Target()->GetValue(); }
  void SetValue(int value) override { Target()->SetValue(value); }
  const char* ImplementationClass() override { return Target()->ImplementationClass(); }
};

class TIEQORIResolvedInputFilterTPBaseComponent final
    : public TPTie<QORIResolvedInputFilter, TPBaseComponent> {
 public:
  TIEQORIResolvedInputFilterTPBaseComponent() { Constructed(kTieFilterBase); }
  ~TIEQORIResolvedInputFilterTPBaseComponent() override { Destroyed(kTieFilterBase); }
  HRESULT ReadFilterFile(const QORUnicodeString& path) override {
    return Target()->ReadFilterFile(path);
  }
  HRESULT GetObjectAttribute(const QORUnicodeString& uid, const QORUnicodeString& name,
                             QORUnicodeString& value) override {
    return Target()->GetObjectAttribute(uid, name, value);
  }
  HRESULT GetFilterID(QORUnicodeString& id) override { return Target()->GetFilterID(id); }
  HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value) override {
    return Target()->GetSetting(name, value);
  }
  HRESULT GetObjectIds(std::vector<QORUnicodeString>& ids) override {
    return Target()->GetObjectIds(ids);
  }
};

// new may give null (host allocator): the creator then gives null too.
template <class Tie, class Impl>
QORBaseUnknown* MakeTie(QORBaseUnknown* implementation, QORBaseUnknown* second) {
  static QORBaseUnknown* s_slot = nullptr;
  return QORCreateTie<Tie, Impl>(implementation, second, s_slot);
}

}  // namespace

// ---- exported TIE creators -----------------------------------------------------------

QOR_EXPORT QORBaseUnknown* CreateTIEQORITestProbeTPBaseComponent(QORBaseUnknown* impl,
                                                                 QORBaseUnknown* second) {
  return MakeTie<TIEQORITestProbeTPBaseComponent, TPBaseComponent>(impl, second);
}
QOR_EXPORT QORBaseUnknown* CreateTIEQORITestProbeTPMiddleComponent(QORBaseUnknown* impl,
                                                                   QORBaseUnknown* second) {
  return MakeTie<TIEQORITestProbeTPMiddleComponent, TPMiddleComponent>(impl, second);
}
QOR_EXPORT QORBaseUnknown* CreateTIEQORIResolvedInputFilterTPBaseComponent(QORBaseUnknown* impl,
                                                                           QORBaseUnknown* second) {
  return MakeTie<TIEQORIResolvedInputFilterTPBaseComponent, TPBaseComponent>(impl, second);
}
QOR_EXPORT QORBaseUnknown* CreateTIEQORIInputFilterStructureTPStructureProvider(
    QORBaseUnknown* impl, QORBaseUnknown* second) {
  return QORInputFilterStructureTie<TPStructureProvider>::Create(impl, second);
}

// ---- creation functions and registration table ---------------------------------------

namespace {

QORBaseUnknown* CreateTPBaseComponent() {
  return new TPBaseComponent;
}
QORBaseUnknown* CreateTPMiddleComponent() {
  return new TPMiddleComponent;
}
QORBaseUnknown* CreateTPLeafComponent() {
  return new TPLeafComponent;
}
QORBaseUnknown* CreateTPStructureProvider() {
  return new TPStructureProvider;
}

QOROMModule* Reg1();
QOROMModule* Reg2();
QOROMModule* Reg3();
QOROMModule* Reg4();
QOROMModule* Reg5();
QOROMModule* Reg6();
QOROMModule* Reg7();
QOROMModule* Reg8();

__attribute__((section("zqyom"), used)) QORRegistrationFunction const s_table[] = {
    nullptr, &Reg1, &Reg2, &Reg3, &Reg4, &Reg5, &Reg6, &Reg7, &Reg8, nullptr};
static_assert(sizeof(s_table) / sizeof(s_table[0]) == kTestPluginRegistrations + 2);

QOROMModule s_module(QOROMModuleInfo{&s_table[0], &s_table[kTestPluginRegistrations + 1]});

QOROMModule* Reg1() {
  RecordRun(1,
            QORFillDictionary::RegisterFunctionCreation("TPBaseComponent", &CreateTPBaseComponent));
  return &s_module;
}
QOROMModule* Reg2() {
  RecordRun(2,
            QORFillDictionary::Register(TPBaseComponent::MetaObject(), QORITestProbe::MetaObject(),
                                        &CreateTIEQORITestProbeTPBaseComponent, nullptr, 1));
  return &s_module;
}
QOROMModule* Reg3() {
  RecordRun(3, QORFillDictionary::Register(
                   TPBaseComponent::MetaObject(), QORIResolvedInputFilter::MetaObject(),
                   &CreateTIEQORIResolvedInputFilterTPBaseComponent, nullptr, 1));
  return &s_module;
}
QOROMModule* Reg4() {
  RecordRun(4, QORFillDictionary::RegisterFunctionCreation("TPMiddleComponent",
                                                           &CreateTPMiddleComponent));
  return &s_module;
}
QOROMModule* Reg5() {
  RecordRun(
      5, QORFillDictionary::Register(TPMiddleComponent::MetaObject(), QORITestProbe::MetaObject(),
                                     &CreateTIEQORITestProbeTPMiddleComponent, nullptr, 1));
  return &s_module;
}
QOROMModule* Reg6() {
  RecordRun(6,
            QORFillDictionary::RegisterFunctionCreation("TPLeafComponent", &CreateTPLeafComponent));
  return &s_module;
}
QOROMModule* Reg7() {
  RecordRun(7, QORFillDictionary::RegisterFunctionCreation("TPStructureProvider",
                                                           &CreateTPStructureProvider));
  return &s_module;
}
QOROMModule* Reg8() {
  RecordRun(8, QORFillDictionary::Register(
                   TPStructureProvider::MetaObject(), QORIInputFilterStructure::MetaObject(),
                   &CreateTIEQORIInputFilterStructureTPStructureProvider, nullptr, 1));
  return &s_module;
}

}  // namespace

// ---- probes for the tests ------------------------------------------------------------

extern "C" QOR_EXPORT int QORTestPlugin_Constructed(const char* className) {
  ClassCounter* c = FindCounter(className);
  return c ? c->constructed.load(std::memory_order_relaxed) : -1;
}

extern "C" QOR_EXPORT int QORTestPlugin_Destroyed(const char* className) {
  ClassCounter* c = FindCounter(className);
  return c ? c->destroyed.load(std::memory_order_relaxed) : -1;
}

extern "C" QOR_EXPORT int QORTestPlugin_RegistrationOrder(int* order, int capacity) {
  int runs = g_runs.load(std::memory_order_acquire);
  for (int i = 0; i < runs && i < capacity && i < kOrderCapacity; ++i) order[i] = g_order[i];
  return runs;
}
