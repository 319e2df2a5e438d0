// Object holders and weak references: a holder keeps one reference of its own and gives
// it back exactly once; a weak reference follows an object without keeping it alive.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORWeakRef.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

TEST(Holder, CopiesMovesAndAssignmentsGiveEachReferenceBackOnce) {
  std::atomic<int> destroyedA{0}, destroyedB{0};
  auto* a = new LocalCounted(&destroyedA);
  auto* b = new LocalCounted(&destroyedB);
  {
    QORBaseUnknown_var first(a);
    a->Release();  // the creation reference: the holder is now the only owner
    QORBaseUnknown_var copy(first), assigned;
    assigned = copy;
    EXPECT_EQ(a->GetRefCount(), 3);
    QORBaseUnknown_var moved(std::move(copy));
    EXPECT_EQ(copy.Get(), nullptr);
    EXPECT_EQ(moved.Get(), a);
    assigned = std::move(moved);
    assigned = assigned;  // self-assignment keeps the object and its count
    EXPECT_EQ(a->GetRefCount(), 2);
    first = QORBaseUnknown_var(b);  // gives a back, takes b
    EXPECT_EQ(destroyedA.load(), 0);
    assigned = std::move(first);  // the last holder of a
    EXPECT_EQ(destroyedA.load(), 1);
    EXPECT_EQ(b->GetRefCount(), 2);

    QORBaseUnknown_var empty;
    EXPECT_EQ(QORBaseUnknown_var::equal_to(empty, nullptr), 1);
    EXPECT_EQ(QORBaseUnknown_var::equal_to(nullptr, assigned), 0);
    EXPECT_EQ(QORBaseUnknown_var::equal_to(assigned, b), 1);
    EXPECT_FALSE(empty);
    // A call through an empty holder is the caller's programming error.
    EXPECT_THROW(empty->AddRef(), QORNullVarError);
    QORUnicodeString id;
    EXPECT_THROW(QORIInputFilterStructure_var()->GetFilterID(id), std::logic_error);
  }
  EXPECT_EQ(b->GetRefCount(), 1);
  b->Release();
  EXPECT_EQ(destroyedB.load(), 1);
}

TEST(WeakRef, FollowsTheObjectUntilItsLastReleaseAndTakesNoReference) {
  std::atomic<int> destroyedA{0}, destroyedB{0};
  auto* a = new LocalCounted(&destroyedA);
  auto* b = new LocalCounted(&destroyedB);
  EXPECT_EQ(QORWeakRef().Get(), nullptr);
  EXPECT_EQ(QORWeakRef(nullptr).Get(), nullptr);
  auto* weak = new QORWeakRef(a);
  QORWeakRef copy(*weak), retargeted(a), toB(b);
  EXPECT_EQ(a->GetRefCount(), 1);
  delete weak;  // dropping one weak reference affects neither the others nor the object
  EXPECT_EQ(copy.Get(), a);
  retargeted = toB;
  retargeted = retargeted;
  QORWeakRef late(a);  // made later, shares the same fate
  EXPECT_TRUE(late.IsAlive());
  a->Release();
  EXPECT_EQ(destroyedA.load(), 1);
  EXPECT_EQ(copy.Get(), nullptr);
  EXPECT_FALSE(late.IsAlive());
  EXPECT_EQ(QORWeakRef(copy).Get(), nullptr);
  EXPECT_EQ(retargeted.Get(), b);
  b->Release();
  EXPECT_EQ(retargeted.Get(), nullptr);
}

using TypedHolder = TestPluginTest;

TEST_F(TypedHolder, HoldersAndWeakReferencesOfTiesReachTheImplementation) {
  const long live = QORLiveAllocations();
  const ClassCounts bases = Counts(kBase);
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  QORInterface_var<QORITestProbe> probe;
  probe.__CastTo(impl);
  impl->Release();  // the creation reference: the holder outlives it
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->GetMetaObject()->GetInterfaceId(), IID_QORITestProbe);
  EXPECT_EQ(probe->GetRefCount(), 1);
  probe->SetValue(99);

  // Another TIE of one implementation shares its state; a weak reference to a TIE
  // follows the implementation, which outlives the TIE.
  QORWeakRef weak(probe.Get());
  EXPECT_EQ(weak.Get(), impl);
  QORInterface_var<QORIResolvedInputFilter> filter;
  filter.__CastTo(probe.Get());
  std::atomic<int> destroyed{0};
  auto* lacking = new LocalCounted(&destroyed);
  probe.__CastTo(lacking);  // gives back the previous TIE
  lacking->Release();
  EXPECT_EQ(probe.Get(), nullptr);
  ASSERT_TRUE(weak.IsAlive());
  QORUnicodeString value;
  ASSERT_EQ(filter->GetSetting("value", value), S_OK);
  EXPECT_EQ(value.Str(), "99");
  filter.__CastTo(nullptr);
  EXPECT_EQ(weak.Get(), nullptr);
  EXPECT_EQ(Counts(kBase), Plus(bases, 1, 1));
  EXPECT_EQ(QORLiveAllocations(), live);
}

}  // namespace
