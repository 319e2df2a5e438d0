// Lifetimes of components and their TIEs, and how interfaces are found.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

const IID kUnknownIid = {0xdeadbeef, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

using ObjectLifetime = TestPluginTest;

TEST_F(ObjectLifetime, LastReleaseOfInstantiatedTieFreesTieAndImplementationOnce) {
  const long live = QORLiveAllocations();
  const ClassCounts base = Counts(kBase), tie = Counts(kTieProbeBase);

  auto* probe = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(Counts(kBase), Plus(base, 1, 0));
  EXPECT_EQ(Counts(kTieProbeBase), Plus(tie, 1, 0));
  EXPECT_EQ(QORLiveAllocations(), live + 2);
  // The creation reference is gone: the TIE alone keeps the implementation.
  EXPECT_EQ(probe->GetImpl()->GetRefCount(), 1);

  probe->SetValue(7);
  EXPECT_EQ(probe->GetValue(), 7);
  EXPECT_EQ(probe->Release(), 0u);

  EXPECT_EQ(Counts(kBase), Plus(base, 1, 1));
  EXPECT_EQ(Counts(kTieProbeBase), Plus(tie, 1, 1));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(ObjectLifetime, TiesAndImplementationAreFreedTogetherInEveryReleaseOrder) {
  // Holders: 0 the implementation, 1 a probe TIE, 2 a filter TIE.
  std::array<int, 3> order = {0, 1, 2};
  int permutations = 0;
  do {
    SCOPED_TRACE(::testing::Message() << "release order " << order[0] << order[1] << order[2]);
    const long live = QORLiveAllocations();
    const ClassCounts base = Counts(kBase), probeTie = Counts(kTieProbeBase),
                      filterTie = Counts(kTieFilterBase);

    QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
    ASSERT_NE(impl, nullptr);
    auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
    auto* filter = Query<QORIResolvedInputFilter>(impl, IID_QORIResolvedInputFilter);
    ASSERT_NE(probe, nullptr);
    ASSERT_NE(filter, nullptr);
    std::array<QORBaseUnknown*, 3> holders = {impl, probe, filter};

    for (int step = 0; step < 3; ++step) {
      holders[static_cast<size_t>(order[static_cast<size_t>(step)])]->Release();
      holders[static_cast<size_t>(order[static_cast<size_t>(step)])] = nullptr;
      if (step < 2) {
        EXPECT_EQ(Counts(kBase).destroyed, base.destroyed) << "freed after step " << step;
        // Whatever is still held keeps working on the live implementation.
        if (holders[1]) {
          static_cast<QORITestProbe*>(holders[1])->SetValue(40 + step);
          EXPECT_EQ(static_cast<QORITestProbe*>(holders[1])->GetValue(), 40 + step);
        }
        if (holders[2]) {
          QORUnicodeString id;
          EXPECT_EQ(static_cast<QORIResolvedInputFilter*>(holders[2])->GetFilterID(id), S_OK);
          EXPECT_STREQ(id, "TPFilter");
        }
      }
    }
    EXPECT_EQ(Counts(kBase), Plus(base, 1, 1));
    EXPECT_EQ(Counts(kTieProbeBase), Plus(probeTie, 1, 1));
    EXPECT_EQ(Counts(kTieFilterBase), Plus(filterTie, 1, 1));
    EXPECT_EQ(QORLiveAllocations(), live);
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(permutations, 6);
}

TEST_F(ObjectLifetime, TieHeldTwiceIsFreedOnlyByItsLastRelease) {
  const ClassCounts tie = Counts(kTieProbeBase);
  auto* probe = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->AddRef(), 2u);
  EXPECT_EQ(probe->Release(), 1u);
  EXPECT_EQ(Counts(kTieProbeBase).destroyed, tie.destroyed);
  EXPECT_EQ(probe->GetValue(), 0);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_EQ(Counts(kTieProbeBase), Plus(tie, 1, 1));
}

TEST_F(ObjectLifetime, TieAnswersItsOwnInterfaceWithItselfAndOthersFromItsImplementation) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  const ClassCounts probeTies = Counts(kTieProbeBase);

  // Own interface: the same TIE, one more reference, no new TIE.
  void* again = nullptr;
  ASSERT_EQ(probe->QueryInterface(IID_QORITestProbe, &again), S_OK);
  EXPECT_EQ(again, probe);
  EXPECT_EQ(probe->GetRefCount(), 2);
  EXPECT_EQ(Counts(kTieProbeBase), probeTies);
  probe->Release();

  // The base interface: the implementation itself.
  void* base = nullptr;
  ASSERT_EQ(probe->QueryInterface(IID_QORBaseUnknown, &base), S_OK);
  EXPECT_EQ(base, impl);
  static_cast<QORBaseUnknown*>(base)->Release();

  // Another interface: a TIE of the same implementation, sharing its state.
  auto* filter = Query<QORIResolvedInputFilter>(probe, IID_QORIResolvedInputFilter);
  ASSERT_NE(filter, nullptr);
  EXPECT_NE(static_cast<void*>(filter), static_cast<void*>(probe));
  EXPECT_EQ(filter->GetImpl(), impl);
  EXPECT_EQ(filter->IsEqual(probe), 1);
  probe->SetValue(1234);
  QORUnicodeString value;
  ASSERT_EQ(filter->GetSetting("value", value), S_OK);
  EXPECT_STREQ(value, "1234");

  filter->Release();
  probe->Release();
  impl->Release();
}

TEST_F(ObjectLifetime, TiesOfDifferentObjectsAreNotEqual) {
  auto* a = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
  auto* b = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->IsEqual(b), 0);
  EXPECT_EQ(a->IsEqual(nullptr), 0);
  EXPECT_EQ(a->IsEqual(a->GetImpl()), 1);
  a->Release();
  b->Release();
}

TEST_F(ObjectLifetime, QueryForUnknownInterfaceFailsWithNullOutAndCreatesNothing) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  const long live = QORLiveAllocations();
  const int32_t implRefs = impl->GetRefCount(), probeRefs = probe->GetRefCount();

  void* out = &out;  // anything but null
  EXPECT_EQ(impl->QueryInterface(kUnknownIid, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_EQ(probe->QueryInterface(kUnknownIid, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = &out;
  // Registered somewhere, but not for this class.
  EXPECT_EQ(impl->QueryInterface(IID_QORIInputFilterGenerator, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  EXPECT_EQ(QORLiveAllocations(), live);
  EXPECT_EQ(impl->GetRefCount(), implRefs);
  EXPECT_EQ(probe->GetRefCount(), probeRefs);
  probe->Release();
  impl->Release();
}

TEST_F(ObjectLifetime, QueryInterfaceByNameFindsRegisteredInterfacesOnly) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);

  void* out = nullptr;
  ASSERT_EQ(impl->QueryInterface("QORIResolvedInputFilter", &out), S_OK);
  auto* filter = static_cast<QORIResolvedInputFilter*>(out);
  ASSERT_NE(filter, nullptr);
  EXPECT_EQ(filter->GetMetaObject()->GetInterfaceId(), IID_QORIResolvedInputFilter);
  QORUnicodeString id;
  EXPECT_EQ(filter->GetFilterID(id), S_OK);

  // By name through a TIE as well.
  out = nullptr;
  ASSERT_EQ(filter->QueryInterface("QORITestProbe", &out), S_OK);
  auto* probe = static_cast<QORITestProbe*>(out);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->GetMetaObject()->GetInterfaceId(), IID_QORITestProbe);

  out = &out;
  EXPECT_EQ(impl->QueryInterface("QORINoSuchInterface", &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_EQ(impl->QueryInterface(static_cast<const char*>(nullptr), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  probe->Release();
  filter->Release();
  impl->Release();
}

TEST_F(ObjectLifetime, DerivedClassWithoutTieIsServedByNearestParentsTie) {
  const ClassCounts leaf = Counts(kLeaf), middle = Counts(kMiddle), base = Counts(kBase);
  const ClassCounts middleTies = Counts(kTieProbeMiddle), baseTies = Counts(kTieProbeBase);
  const long live = QORLiveAllocations();

  QORBaseUnknown* impl = Instantiate(kLeaf, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);

  // TPMiddleComponent's TIE, not TPBaseComponent's, although both bind QORITestProbe.
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  EXPECT_STREQ(probe->GetMetaObject()->GetImplementationMeta()->GetName(), kMiddle);
  EXPECT_EQ(Counts(kTieProbeMiddle), Plus(middleTies, 1, 0));
  EXPECT_EQ(Counts(kTieProbeBase), baseTies);
  EXPECT_STREQ(probe->ImplementationClass(), kLeaf);

  // Only TPBaseComponent binds QORIResolvedInputFilter: two levels up.
  auto* filter = Query<QORIResolvedInputFilter>(impl, IID_QORIResolvedInputFilter);
  ASSERT_NE(filter, nullptr);
  EXPECT_STREQ(filter->GetMetaObject()->GetImplementationMeta()->GetName(), kBase);
  EXPECT_EQ(filter->GetImpl(), impl);

  impl->Release();
  filter->Release();
  EXPECT_EQ(Counts(kLeaf).destroyed, leaf.destroyed);
  probe->Release();

  EXPECT_EQ(Counts(kLeaf), Plus(leaf, 1, 1));
  EXPECT_EQ(Counts(kMiddle), Plus(middle, 1, 1));
  EXPECT_EQ(Counts(kBase), Plus(base, 1, 1));
  EXPECT_EQ(Counts(kTieProbeMiddle), Plus(middleTies, 1, 1));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(ObjectLifetime, FailedTieAllocationGivesNullAndLeaksNothing) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  const long live = QORLiveAllocations();
  const ClassCounts ties = Counts(kTieProbeBase);
  const int32_t refs = impl->GetRefCount();

  QORFailNextAllocations(1);
  void* out = &out;
  EXPECT_EQ(impl->QueryInterface(IID_QORITestProbe, &out), E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(QORLiveAllocations(), live);
  EXPECT_EQ(Counts(kTieProbeBase), ties);
  // The implementation gained no reference from the failed attempt.
  EXPECT_EQ(impl->GetRefCount(), refs);

  // The hook is spent: the next query works.
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  probe->Release();
  impl->Release();
  EXPECT_EQ(QORLiveAllocations(), live - 1);
}

}  // namespace
