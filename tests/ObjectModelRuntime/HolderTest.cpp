// Object holders: each holds one reference of its own and gives it back exactly once.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

TEST(Holder, ConstructionTakesAReferenceAndDestructionGivesItBack) {
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  {
    QORBaseUnknown_var holder(object);
    EXPECT_EQ(object->GetRefCount(), 2);
    EXPECT_EQ(holder.Get(), object);
    EXPECT_EQ(holder->GetRefCount(), 2);
  }
  EXPECT_EQ(object->GetRefCount(), 1);
  EXPECT_EQ(destroyed.load(), 0);
  object->Release();
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(Holder, LastHolderFreesTheObjectOnce) {
  std::atomic<int> destroyed{0};
  const long live = QORLiveAllocations();
  {
    QORBaseUnknown_var first(new LocalCounted(&destroyed));
    ASSERT_TRUE(first);
    first->Release();  // the creation reference: the holder is now the only owner
    QORBaseUnknown_var copy(first);
    EXPECT_EQ(copy.Get(), first.Get());
    EXPECT_EQ(first->GetRefCount(), 2);
    QORBaseUnknown_var assigned;
    assigned = copy;
    EXPECT_EQ(first->GetRefCount(), 3);
    first = QORBaseUnknown_var();
    copy = QORBaseUnknown_var();
    EXPECT_EQ(destroyed.load(), 0);
    EXPECT_EQ(assigned->GetRefCount(), 1);
  }
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST(Holder, MoveTransfersTheReferenceAndEmptiesTheSource) {
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  {
    QORBaseUnknown_var source(object);
    QORBaseUnknown_var moved(std::move(source));
    EXPECT_EQ(source.Get(), nullptr);
    EXPECT_EQ(moved.Get(), object);
    EXPECT_EQ(object->GetRefCount(), 2);

    QORBaseUnknown_var target;
    target = std::move(moved);
    EXPECT_EQ(moved.Get(), nullptr);
    EXPECT_EQ(target.Get(), object);
    EXPECT_EQ(object->GetRefCount(), 2);
  }
  EXPECT_EQ(object->GetRefCount(), 1);
  object->Release();
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(Holder, AssignmentReleasesThePreviouslyHeldObject) {
  std::atomic<int> destroyedA{0}, destroyedB{0};
  auto* a = new LocalCounted(&destroyedA);
  auto* b = new LocalCounted(&destroyedB);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  QORBaseUnknown_var holder(a);
  a->Release();
  holder = QORBaseUnknown_var(b);
  EXPECT_EQ(destroyedA.load(), 1);
  EXPECT_EQ(b->GetRefCount(), 2);

  // Move-assigning over a held object releases it too.
  std::atomic<int> destroyedC{0};
  QORBaseUnknown_var other(new LocalCounted(&destroyedC));
  other->Release();
  other = std::move(holder);
  EXPECT_EQ(destroyedC.load(), 1);
  EXPECT_EQ(b->GetRefCount(), 2);

  other = other;  // self-assignment keeps the object and its count
  EXPECT_EQ(b->GetRefCount(), 2);
  other = QORBaseUnknown_var();
  EXPECT_EQ(b->GetRefCount(), 1);
  b->Release();
  EXPECT_EQ(destroyedB.load(), 1);
}

TEST(Holder, EqualToNullTellsEmptyFromHoldingHolders) {
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  QORBaseUnknown_var empty;
  QORBaseUnknown_var holding(object);
  EXPECT_EQ(QORBaseUnknown_var::equal_to(empty, nullptr), 1);
  EXPECT_EQ(QORBaseUnknown_var::equal_to(nullptr, empty), 1);
  EXPECT_EQ(QORBaseUnknown_var::equal_to(holding, nullptr), 0);
  EXPECT_EQ(QORBaseUnknown_var::equal_to(nullptr, holding), 0);
  EXPECT_EQ(QORBaseUnknown_var::equal_to(holding, object), 1);
  EXPECT_EQ(QORBaseUnknown_var::equal_to(empty, object), 0);
  EXPECT_FALSE(empty);
  EXPECT_TRUE(holding);
  object->Release();
}

TEST(Holder, CallThroughNullHolderThrowsNullVarError) {
  QORBaseUnknown_var empty;
  EXPECT_THROW(empty->AddRef(), QORNullVarError);
  QORIInputFilterStructure_var structure;
  QORUnicodeString id;
  EXPECT_THROW(structure->GetFilterID(id), QORNullVarError);
  // A programming error of the caller, catchable as such.
  EXPECT_THROW(QORBaseUnknown_var::ThrowErrorNullVar(), std::logic_error);
}

TEST(Holder, CastToNullReleasesWhatWasHeld) {
  std::atomic<int> destroyed{0};
  QORBaseUnknown_var holder(new LocalCounted(&destroyed));
  ASSERT_TRUE(holder);
  holder->Release();
  holder.__CastTo(nullptr);
  EXPECT_EQ(holder.Get(), nullptr);
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(Holder, CastToUnsupportedInterfaceLeavesHolderEmptyAndReleasesPrevious) {
  std::atomic<int> destroyedA{0}, destroyedB{0};
  auto* b = new LocalCounted(&destroyedB);
  ASSERT_NE(b, nullptr);
  QORInterface_var<QORIResolvedInputFilter> holder;
  // Seed the holder with an object it will have to give back.
  QORBaseUnknown_var seed(new LocalCounted(&destroyedA));
  seed->Release();
  static_cast<QORBaseUnknown_var&>(holder) = seed;
  seed = QORBaseUnknown_var();

  holder.__CastTo(b);  // LocalCounted has no TIE for the interface
  EXPECT_EQ(holder.Get(), nullptr);
  EXPECT_EQ(destroyedA.load(), 1);
  EXPECT_EQ(b->GetRefCount(), 1);
  b->Release();
  EXPECT_EQ(destroyedB.load(), 1);
}

using TypedHolder = TestPluginTest;

TEST_F(TypedHolder, CastToQueriesItsInterfaceAndHoldsItsOwnReference) {
  const long live = QORLiveAllocations();
  const ClassCounts provider = Counts(kStructure);
  QORBaseUnknown* impl = Instantiate(kStructure, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  {
    QORIInputFilterStructure_var structure;
    structure.__CastTo(impl);
    ASSERT_FALSE(QORBaseUnknown_var::equal_to(structure, nullptr));
    EXPECT_EQ(structure->GetMetaObject()->GetInterfaceId(), IID_QORIInputFilterStructure);
    EXPECT_EQ(structure->GetRefCount(), 1);

    // The holder outlives the caller's own reference.
    impl->Release();
    EXPECT_EQ(Counts(kStructure).destroyed, provider.destroyed);
    EXPECT_EQ(structure->SetInputFile("model.ifc"), S_OK);
    QORUnicodeString id;
    EXPECT_EQ(structure->GetFilterID(id), S_OK);
    EXPECT_STREQ(id, "TP_STRUCTURE:model.ifc");
  }
  EXPECT_EQ(Counts(kStructure), Plus(provider, 1, 1));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(TypedHolder, CastToReleasesPreviousObject) {
  const ClassCounts providers = Counts(kStructure), bases = Counts(kBase);
  QORIInputFilterStructure_var structure;
  {
    QORBaseUnknown_var first(Instantiate(kStructure, IID_QORBaseUnknown));
    first->Release();
    structure.__CastTo(first.Get());
  }
  ASSERT_TRUE(structure);
  EXPECT_EQ(Counts(kStructure), Plus(providers, 1, 0));

  // Casting an object that lacks the interface still gives back the previous one.
  QORBaseUnknown* base = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(base, nullptr);
  structure.__CastTo(base);
  EXPECT_EQ(structure.Get(), nullptr);
  EXPECT_EQ(Counts(kStructure), Plus(providers, 1, 1));
  base->Release();
  EXPECT_EQ(Counts(kBase), Plus(bases, 1, 1));
}

TEST_F(TypedHolder, CastToFromAnotherInterfacesTieReachesTheSameImplementation) {
  auto* probe = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  probe->SetValue(99);
  QORInterface_var<QORIResolvedInputFilter> filter;
  filter.__CastTo(probe);
  probe->Release();
  ASSERT_TRUE(filter);
  QORUnicodeString value;
  ASSERT_EQ(filter->GetSetting("value", value), S_OK);
  EXPECT_STREQ(value, "99");

  // Copies of a typed holder share the TIE.
  const ClassCounts ties = Counts(kTieFilterBase);
  QORInterface_var<QORIResolvedInputFilter> copy = filter;
  EXPECT_EQ(copy.Get(), filter.Get());
  EXPECT_EQ(filter->GetRefCount(), 2);
  QORInterface_var<QORIResolvedInputFilter> moved = std::move(copy);
  EXPECT_EQ(copy.Get(), nullptr);
  EXPECT_EQ(filter->GetRefCount(), 2);
  EXPECT_EQ(Counts(kTieFilterBase), ties);
}

}  // namespace
