// Object holders and weak references: a holder keeps one reference of its own and gives
// it back exactly once; a weak reference follows an object without keeping it alive.
#include <gtest/gtest.h>

#include <utility>

#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORWeakRef.h"

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
  }
  EXPECT_EQ(b->GetRefCount(), 1);
  b->Release();
  EXPECT_EQ(destroyedB.load(), 1);
}

TEST(WeakRef, FollowsTheObjectUntilItsLastReleaseAndTakesNoReference) {
  std::atomic<int> destroyedA{0}, destroyedB{0};
  auto* a = new LocalCounted(&destroyedA);
  auto* b = new LocalCounted(&destroyedB);
  EXPECT_EQ(QORWeakRef(nullptr).Get(), nullptr);
  auto* weak = new QORWeakRef(a);
  QORWeakRef copy(*weak), retargeted(a), toB(b);
  delete weak;  // dropping one weak reference affects neither the others nor the object
  EXPECT_EQ(copy.Get(), a);
  EXPECT_EQ(a->GetRefCount(), 1);
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

}  // namespace
