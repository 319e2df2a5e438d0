// TestPlugin.cpp - the object model's test plug-in, written the way production modules
// are: hidden visibility, meta classes created lazily, one TIE class per (interface,
// implementation) pair, and a registration table that the kit runs once the library is
// loaded.
//
//   TPBaseComponent      TIEs for QORITestProbe and QORIResolvedInputFilter
//   TPMiddleComponent    derives from TPBaseComponent, its own QORITestProbe TIE
//   TPLeafComponent      derives from TPMiddleComponent, no TIE of its own
// Every class counts its constructions and destructions so the tests can prove that
// each object is freed exactly once.
#include <atomic>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModuleTable.h"
#include "ObjectModelRuntime/QORTie.h"
#include "ObjectModelRuntime/plugin/QORITestProbe.h"
#include "ObjectModelRuntime/plugin/TestPluginProbes.h"

namespace {

struct ClassCounter {
  const char* name;
  std::atomic<int> constructed{0};
  std::atomic<int> destroyed{0};
};

enum Counted { kBase, kMiddle, kLeaf, kTieProbeBase, kTieProbeMiddle, kTieFilterBase };

ClassCounter g_counters[] = {
    {"TPBaseComponent"},
    {"TPMiddleComponent"},
    {"TPLeafComponent"},
    {"TIEQORITestProbeTPBaseComponent"},
    {"TIEQORITestProbeTPMiddleComponent"},
    {"TIEQORIResolvedInputFilterTPBaseComponent"},
};

// An empty base, so that TIE classes keep no data member of their own.
template <Counted C>
struct CountedLife {
  CountedLife() { g_counters[C].constructed.fetch_add(1, std::memory_order_relaxed); }
  ~CountedLife() { g_counters[C].destroyed.fetch_add(1, std::memory_order_relaxed); }
};

constexpr int kOrderCapacity = 64;
std::atomic<int> g_runs{0};
int g_order[kOrderCapacity];

void RecordRun(int number, int registered) {
  int k = g_runs.load(std::memory_order_relaxed);
  if (k < kOrderCapacity) g_order[k] = registered ? number : -number;
  g_runs.store(k + 1, std::memory_order_release);
}

}  // namespace

const QORMetaClass* QORITestProbe::MetaObject() {
  static std::atomic<const QORMetaClass*> s_meta{nullptr};
  return zqy::internal::LazyInterfaceMetaObject(s_meta, "QORITestProbe", IID_QORITestProbe,
                                                &QORBaseUnknown::MetaObject);
}

namespace {

// The object-model half of a component class Self deriving from Parent.
template <class Self, class Parent, Counted C>
class TPClass : public Parent, private CountedLife<C> {
 public:
  static const char* Name() { return g_counters[C].name; }
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, Name(), &Parent::MetaObject,
                                                  "QORTestPlugin", sizeof(Self));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
};

class TPBaseComponent : public TPClass<TPBaseComponent, QORBaseUnknown, kBase> {
 public:
  int GetValue() { return _value.load(std::memory_order_relaxed); }
  void SetValue(int value) { _value.store(value, std::memory_order_relaxed); }
  // The "value" setting is the probe's value: both interfaces share one object.
  HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value) {
    if (!name.Compare("value")) return E_FAIL;
    value = QORUnicodeString(std::to_string(GetValue()));
    return S_OK;
  }

 private:
  std::atomic<int> _value{0};
};

class TPMiddleComponent : public TPClass<TPMiddleComponent, TPBaseComponent, kMiddle> {};
class TPLeafComponent : public TPClass<TPLeafComponent, TPMiddleComponent, kLeaf> {};

// What every TIE class does the same way; the classes below add the forwarding.
template <class Iface, class Impl, Counted C>
class TPTie : public Iface, private CountedLife<C> {
 public:
  using Interface = Iface;
  using Implementation = Impl;
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyTieMetaObject<Iface, Impl>(s_meta, Iface::ClassId());
  }
  QOR_TIE_OBJECT_MODEL(TPTie)

 protected:
  Impl* Target() const { return static_cast<Impl*>(this->_pImpl); }
};

template <class Impl, Counted C>
class TPProbeTie final : public TPTie<QORITestProbe, Impl, C> {
 public:
  int GetValue() override { return this->Target()->GetValue(); }
  void SetValue(int value) override { this->Target()->SetValue(value); }
  // Virtual IsA(): the most derived class, whichever TIE forwards here.
  const char* ImplementationClass() override { return this->Target()->IsA(); }
};

class TPFilterTie final : public TPTie<QORIResolvedInputFilter, TPBaseComponent, kTieFilterBase> {
 public:
  HRESULT ReadFilterFile(const QORUnicodeString&) override { return E_NOTIMPL; }
  HRESULT GetObjectAttribute(const QORUnicodeString&, const QORUnicodeString&,
                             QORUnicodeString&) override {
    return E_NOTIMPL;
  }
  HRESULT GetFilterID(QORUnicodeString& id) override {
    id = "TPFilter";
    return S_OK;
  }
  HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value) override {
    return Target()->GetSetting(name, value);
  }
  HRESULT GetObjectIds(std::vector<QORUnicodeString>&) override { return E_NOTIMPL; }
};

// ---- creation functions and registration table ---------------------------------------

QOROMModule* Module();

template <class C>
QORBaseUnknown* Create() {
  return new C;
}

// new may give null (host allocator): the creator then gives null too.
template <class Tie>
QORBaseUnknown* CreateTie(QORBaseUnknown* implementation, QORBaseUnknown* second) {
  static QORBaseUnknown* s_slot = nullptr;
  return QORCreateTie<Tie, typename Tie::Implementation>(implementation, second, s_slot);
}

// Registration number N of the table: a late type, or a TIE class's binding.
template <int N, class C>
QOROMModule* LateType() {
  RecordRun(N, QORFillDictionary::RegisterFunctionCreation(C::Name(), &Create<C>));
  return Module();
}
template <int N, class Tie>
QOROMModule* Binding() {
  RecordRun(N,
            QORFillDictionary::Register(Tie::Implementation::MetaObject(),
                                        Tie::Interface::MetaObject(), &CreateTie<Tie>, nullptr, 1));
  return Module();
}

QOR_MODULE_TABLE(Module, &LateType<1, TPBaseComponent>,
                 &Binding<2, TPProbeTie<TPBaseComponent, kTieProbeBase>>, &Binding<3, TPFilterTie>,
                 &LateType<4, TPMiddleComponent>,
                 &Binding<5, TPProbeTie<TPMiddleComponent, kTieProbeMiddle>>,
                 &LateType<6, TPLeafComponent>)
static_assert(std::size(s_registrationTable) == kTestPluginRegistrations + 2);

}  // namespace

// ---- probes for the tests ------------------------------------------------------------

extern "C" QOR_EXPORT int QORTestPlugin_Count(const char* className, int destroyed) {
  for (const ClassCounter& c : g_counters)
    if (className && std::strcmp(c.name, className) == 0)
      return (destroyed ? c.destroyed : c.constructed).load(std::memory_order_relaxed);
  return -1;
}

extern "C" QOR_EXPORT int QORTestPlugin_RegistrationOrder(int* order, int capacity) {
  int runs = g_runs.load(std::memory_order_acquire);
  for (int i = 0; i < runs && i < capacity && i < kOrderCapacity; ++i) order[i] = g_order[i];
  return runs;
}
