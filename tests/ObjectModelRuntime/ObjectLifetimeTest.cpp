// Lifetimes of components and their TIEs, and how interfaces are found.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORWeakRef.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

using ObjectLifetime = TestPluginTest;

TEST_F(ObjectLifetime, TiesAndImplementationAreFreedTogetherInEveryReleaseOrder) {
  // Holders: 0 the implementation, 1 a probe TIE, 2 a filter TIE.
  std::array<size_t, 3> order = {0, 1, 2};
  do {
    SCOPED_TRACE(::testing::Message() << "release order " << order[0] << order[1] << order[2]);
    const long live = QORLiveAllocations();
    const ClassCounts base = Counts(kBase), probeTie = Counts(kTieProbeBase),
                      filterTie = Counts(kTieFilterBase);
    auto* probe = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
    ASSERT_NE(probe, nullptr);
    QORBaseUnknown* impl = probe->GetImpl();
    impl->AddRef();
    auto* filter = Query<QORIResolvedInputFilter>(impl, IID_QORIResolvedInputFilter);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(QORLiveAllocations(), live + 3);
    std::array<QORBaseUnknown*, 3> holders = {impl, probe, filter};

    for (size_t step = 0; step < 3; ++step) {
      EXPECT_EQ(Counts(kBase).destroyed, base.destroyed) << "freed before step " << step;
      // Whatever is still held works on the live implementation.
      if (holders[1]) probe->SetValue(static_cast<int>(40 + step));
      QORUnicodeString value;
      if (holders[2]) {
        EXPECT_EQ(filter->GetSetting("value", value), S_OK);
      }
      if (holders[1] && holders[2]) {
        EXPECT_EQ(value.Str(), std::to_string(40 + step));
      }
      holders[order[step]]->Release();
      holders[order[step]] = nullptr;
    }
    EXPECT_EQ(Counts(kBase), Plus(base, 1, 1));
    EXPECT_EQ(Counts(kTieProbeBase), Plus(probeTie, 1, 1));
    EXPECT_EQ(Counts(kTieFilterBase), Plus(filterTie, 1, 1));
    EXPECT_EQ(QORLiveAllocations(), live);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(ObjectLifetime, TieAnswersItsOwnInterfaceAsksItsImplementationForOthersAndIsHeld) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  const ClassCounts probeTies = Counts(kTieProbeBase);
  const long live = QORLiveAllocations();

  // Own interface: the same TIE, one more reference, no new TIE.
  EXPECT_EQ(Query<QORITestProbe>(probe, IID_QORITestProbe), probe);
  EXPECT_EQ(probe->Release(), 1u);
  EXPECT_EQ(Counts(kTieProbeBase), probeTies);
  EXPECT_EQ(Query<QORBaseUnknown>(probe, IID_QORBaseUnknown), impl);
  impl->Release();

  // Another interface, by identifier or by name: a TIE of the same implementation.
  void* out = nullptr;
  ASSERT_EQ(probe->QueryInterface("QORIResolvedInputFilter", &out), S_OK);
  auto* filter = static_cast<QORIResolvedInputFilter*>(out);
  EXPECT_EQ(filter->GetMetaObject()->GetInterfaceId(), IID_QORIResolvedInputFilter);
  EXPECT_EQ(filter->GetImpl(), impl);
  EXPECT_EQ(filter->IsEqual(probe), 1);
  EXPECT_EQ(filter->IsEqual(nullptr), 0);

  // Unknown, unregistered for this class, unnamed: refused, nothing made or held.
  const int32_t implRefs = impl->GetRefCount(), probeRefs = probe->GetRefCount();
  const IID unknown = {0xdeadbeef, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
  for (QORBaseUnknown* from : {impl, static_cast<QORBaseUnknown*>(probe)}) {
    for (const IID* iid : {&unknown, &IID_QORIInputFilterGenerator}) {
      out = &out;
      EXPECT_EQ(from->QueryInterface(*iid, &out), E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
    for (const char* name : {"QORINoSuchInterface", static_cast<const char*>(nullptr)}) {
      out = &out;
      EXPECT_EQ(from->QueryInterface(name, &out), E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
  }
  EXPECT_EQ(impl->GetRefCount(), implRefs);
  EXPECT_EQ(probe->GetRefCount(), probeRefs);
  EXPECT_EQ(QORLiveAllocations(), live + 1);

  // A typed holder casts across interfaces; a weak reference to a TIE follows the
  // implementation, which lives as long as any TIE.
  QORWeakRef weak(probe);
  EXPECT_EQ(weak.Get(), impl);
  QORInterface_var<QORITestProbe> held;
  held.__CastTo(filter);
  ASSERT_TRUE(held);
  held->SetValue(7);
  EXPECT_EQ(probe->GetValue(), 7);
  EXPECT_THROW(QORInterface_var<QORITestProbe>()->GetValue(), QORNullVarError);
  for (QORBaseUnknown* o :
       {static_cast<QORBaseUnknown*>(filter), impl, static_cast<QORBaseUnknown*>(probe)})
    o->Release();
  EXPECT_TRUE(weak.IsAlive());
  std::atomic<int> destroyed{0};
  auto* lacking = new LocalCounted(&destroyed);
  held.__CastTo(lacking);  // lacks the interface: the holder gives its TIE back, holds nothing
  lacking->Release();
  EXPECT_EQ(held.Get(), nullptr);
  EXPECT_EQ(weak.Get(), nullptr);
}

TEST_F(ObjectLifetime, AllocationFailuresGiveNullAndLeakNothing) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  const long live = QORLiveAllocations();
  const ClassCounts base = Counts(kBase), ties = Counts(kTieProbeBase);
  const int32_t refs = impl->GetRefCount();

  void* out = &out;
  QORFailNextAllocations(1);  // the TIE
  EXPECT_EQ(impl->QueryInterface(IID_QORITestProbe, &out), E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(impl->GetRefCount(), refs);
  out = &out;
  QORFailNextAllocations(1);  // the component
  EXPECT_EQ(QORInstantiateComponent(kBase, IID_QORITestProbe, &out), E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(QORLiveAllocations(), live);
  EXPECT_EQ(Counts(kTieProbeBase), ties);
  EXPECT_EQ(Counts(kBase), base);

  // The hook is spent: the next query works.
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  probe->Release();
  impl->Release();
  EXPECT_EQ(QORLiveAllocations(), live - 1);
}

}  // namespace
