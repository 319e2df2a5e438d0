// Weak references: they follow an object without keeping it alive.
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORWeakRef.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

TEST(WeakRef, GivesTheObjectWhileItLivesAndNullAfterItsLastRelease) {
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  QORWeakRef weak(object);
  EXPECT_EQ(weak.Get(), object);
  EXPECT_TRUE(weak.IsAlive());
  // It takes no reference.
  EXPECT_EQ(object->GetRefCount(), 1);

  object->AddRef();
  object->Release();
  EXPECT_EQ(weak.Get(), object);

  object->Release();
  EXPECT_EQ(destroyed.load(), 1);
  EXPECT_EQ(weak.Get(), nullptr);
  EXPECT_FALSE(weak.IsAlive());
}

TEST(WeakRef, EmptyOrNullTargetRefersToNothing) {
  QORWeakRef empty;
  EXPECT_EQ(empty.Get(), nullptr);
  QORWeakRef toNull(nullptr);
  EXPECT_EQ(toNull.Get(), nullptr);
  QORWeakRef copy(toNull);
  EXPECT_EQ(copy.Get(), nullptr);
}

TEST(WeakRef, CopiesFollowTheSameObjectAndOutliveIt) {
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  auto* weak = new QORWeakRef(object);
  QORWeakRef copy(*weak);
  QORWeakRef assigned;
  assigned = copy;
  delete weak;  // dropping one weak reference affects neither the others nor the object
  EXPECT_EQ(copy.Get(), object);
  EXPECT_EQ(assigned.Get(), object);
  QORWeakRef late(object);  // a second weak reference made later shares the same fate
  object->Release();
  EXPECT_EQ(copy.Get(), nullptr);
  EXPECT_EQ(assigned.Get(), nullptr);
  EXPECT_EQ(late.Get(), nullptr);
  QORWeakRef copyOfExpired(copy);
  EXPECT_EQ(copyOfExpired.Get(), nullptr);
}

TEST(WeakRef, AssignmentRetargetsToTheOtherObject) {
  std::atomic<int> destroyedA{0}, destroyedB{0};
  auto* a = new LocalCounted(&destroyedA);
  auto* b = new LocalCounted(&destroyedB);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  QORWeakRef weak(a);
  QORWeakRef toB(b);
  weak = toB;
  EXPECT_EQ(weak.Get(), b);
  weak = weak;
  EXPECT_EQ(weak.Get(), b);
  a->Release();
  EXPECT_EQ(weak.Get(), b);
  b->Release();
  EXPECT_EQ(weak.Get(), nullptr);
  EXPECT_EQ(toB.Get(), nullptr);
}

using WeakRefToComponent = TestPluginTest;

TEST_F(WeakRefToComponent, WeakRefToTieRefersToTheImplementation) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  auto* probe = Query<QORITestProbe>(impl, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);

  QORWeakRef weak(probe);
  EXPECT_EQ(weak.Get(), impl);
  // The TIE going away does not expire it: the implementation still lives.
  probe->Release();
  EXPECT_EQ(weak.Get(), impl);
  QORWeakRef fromImpl(impl);
  impl->Release();
  EXPECT_EQ(weak.Get(), nullptr);
  EXPECT_EQ(fromImpl.Get(), nullptr);
}

TEST_F(WeakRefToComponent, ExpiresWhenLastTieReleasesTheImplementation) {
  auto* probe = Instantiate<QORITestProbe>(kBase, IID_QORITestProbe);
  ASSERT_NE(probe, nullptr);
  QORWeakRef weak(probe);
  ASSERT_NE(weak.Get(), nullptr);
  EXPECT_STREQ(weak.Get()->IsA(), kBase);
  probe->Release();
  EXPECT_EQ(weak.Get(), nullptr);
}

TEST(WeakRefConcurrent, ConcurrentFirstWeakRefsShareOneControlBlock) {
  constexpr int kThreads = 16;
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  std::vector<QORWeakRef> refs(kThreads);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      refs[static_cast<size_t>(i)] = QORWeakRef(object);
    });
  }
  for (auto& t : threads) t.join();
  for (const QORWeakRef& r : refs) EXPECT_EQ(r.Get(), object);
  object->Release();
  EXPECT_EQ(destroyed.load(), 1);
  // Had two control blocks been installed, some of these would still see the object.
  for (const QORWeakRef& r : refs) EXPECT_EQ(r.Get(), nullptr);
}

}  // namespace
