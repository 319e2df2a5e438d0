// The object model under threads. Every test name here contains "Concurrent": the
// ThreadSanitizer build runs exactly these (ctest -L concurrency).
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <latch>
#include <thread>
#include <utility>
#include <vector>

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORMetaClass.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

constexpr int kThreads = 16;

// Runs body(i) on kThreads threads released together.
template <class Body>
void RunTogether(Body body) {
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&start, &body, i] {
      start.arrive_and_wait();
      body(i);
    });
  }
  for (std::thread& t : threads) t.join();
}

// ---- lazily created meta classes -----------------------------------------------------

// One meta class per Self, through the kit's lazy creation as modules use it.
template <class Self>
const QORMetaClass* LazyMeta(const char* name, const QORMetaClass* (*parent)()) {
  static std::atomic<const QORMetaClass*> s_meta{nullptr};
  return zqy::internal::LazyComponentMetaObject(s_meta, name, parent, "ConcurrencyTest",
                                                sizeof(Self));
}

// Fresh class pairs, one per round: a meta class can only be raced for once.
constexpr int kRounds = 8;
constexpr const char* kRaceParentNames[kRounds] = {"RaceParent0", "RaceParent1", "RaceParent2",
                                                   "RaceParent3", "RaceParent4", "RaceParent5",
                                                   "RaceParent6", "RaceParent7"};
constexpr const char* kRaceChildNames[kRounds] = {"RaceChild0", "RaceChild1", "RaceChild2",
                                                  "RaceChild3", "RaceChild4", "RaceChild5",
                                                  "RaceChild6", "RaceChild7"};

template <int N>
class RaceParent : public QORBaseUnknown {
 public:
  static const QORMetaClass* MetaObject() {
    return LazyMeta<RaceParent>(kRaceParentNames[N], &QORBaseUnknown::MetaObject);
  }
};

template <int N>
class RaceChild : public RaceParent<N> {
 public:
  static const QORMetaClass* MetaObject() {
    return LazyMeta<RaceChild>(kRaceChildNames[N], &RaceParent<N>::MetaObject);
  }
};

template <int N>
void RaceForMetaClasses() {
  SCOPED_TRACE(::testing::Message() << "round " << N);
  ASSERT_EQ(zqy::internal::MetaObjectCreationCount(kRaceChildNames[N]), 0);
  ASSERT_EQ(zqy::internal::MetaObjectCreationCount(kRaceParentNames[N]), 0);

  std::array<const QORMetaClass*, kThreads> children{}, parents{};
  RunTogether([&](int i) {
    // Half the threads come in through the child, half through the parent.
    if (i % 2 == 0) {
      children[static_cast<size_t>(i)] = RaceChild<N>::MetaObject();
      parents[static_cast<size_t>(i)] = RaceParent<N>::MetaObject();
    } else {
      parents[static_cast<size_t>(i)] = RaceParent<N>::MetaObject();
      children[static_cast<size_t>(i)] = RaceChild<N>::MetaObject();
    }
  });

  EXPECT_EQ(zqy::internal::MetaObjectCreationCount(kRaceChildNames[N]), 1);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount(kRaceParentNames[N]), 1);
  ASSERT_NE(children[0], nullptr);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(children[static_cast<size_t>(i)], children[0]) << "thread " << i;
    EXPECT_EQ(parents[static_cast<size_t>(i)], parents[0]) << "thread " << i;
  }
  EXPECT_EQ(children[0]->GetParent(), parents[0]);
  EXPECT_STREQ(children[0]->GetName(), kRaceChildNames[N]);
}

template <int... N>
void RaceForAllRounds(std::integer_sequence<int, N...>) {
  (RaceForMetaClasses<N>(), ...);
}

TEST(ConcurrentMetaClass, ConcurrentFirstUseCreatesEachMetaClassOnceAndSharesIt) {
  RaceForAllRounds(std::make_integer_sequence<int, kRounds>());
}

TEST(ConcurrentMetaClass, ConcurrentGuardUsersAreMutuallyExclusive) {
  int inside = 0;  // written under the guard only
  int maxInside = 0;
  long total = 0;
  RunTogether([&](int) {
    for (int k = 0; k < 200; ++k) {
      zqy::internal::om_guard outer;
      zqy::internal::om_guard inner;  // reentry must not open the door to others
      ++inside;
      if (inside > maxInside) maxInside = inside;
      ++total;
      --inside;
    }
  });
  EXPECT_EQ(maxInside, 1);
  EXPECT_EQ(total, 200L * kThreads);
}

// ---- reference counting --------------------------------------------------------------

TEST(ConcurrentHolder, ConcurrentHolderCopiesLeaveTheCountWhereItWas) {
  std::atomic<int> destroyed{0};
  auto* object = new LocalCounted(&destroyed);
  ASSERT_NE(object, nullptr);
  const QORBaseUnknown_var shared(object);
  RunTogether([&](int) {
    for (int k = 0; k < 500; ++k) {
      QORBaseUnknown_var copy(shared);
      QORBaseUnknown_var moved(std::move(copy));
      moved.__CastTo(shared.Get());
    }
  });
  EXPECT_EQ(object->GetRefCount(), 2);
  EXPECT_EQ(destroyed.load(), 0);
  object->Release();
}

using ConcurrentComponents = TestPluginTest;

TEST_F(ConcurrentComponents, ConcurrentInstantiationAndReleaseFreesEveryObjectOnce) {
  constexpr int kPerThread = 100;
  const long live = QORLiveAllocations();
  const ClassCounts leaf = Counts(kLeaf), middleTies = Counts(kTieProbeMiddle),
                    filterTies = Counts(kTieFilterBase);
  std::atomic<int> failures{0};

  RunTogether([&](int i) {
    for (int k = 0; k < kPerThread; ++k) {
      void* out = nullptr;
      if (QORInstantiateComponent(kLeaf, IID_QORITestProbe, &out) != S_OK || !out) {
        failures.fetch_add(1);
        continue;
      }
      auto* probe = static_cast<QORITestProbe*>(out);
      probe->SetValue(k);
      void* second = nullptr;
      if (probe->QueryInterface(IID_QORIResolvedInputFilter, &second) != S_OK || !second)
        failures.fetch_add(1);
      auto* filter = static_cast<QORIResolvedInputFilter*>(second);
      // Alternate which holder goes last.
      if ((i + k) % 2 == 0) {
        probe->Release();
        if (filter) filter->Release();
      } else {
        if (filter) filter->Release();
        probe->Release();
      }
    }
  });

  EXPECT_EQ(failures.load(), 0);
  const int made = kThreads * kPerThread;
  EXPECT_EQ(Counts(kLeaf), Plus(leaf, made, made));
  EXPECT_EQ(Counts(kTieProbeMiddle), Plus(middleTies, made, made));
  EXPECT_EQ(Counts(kTieFilterBase), Plus(filterTies, made, made));
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(ConcurrentComponents, ConcurrentLastReleasesOfSharedTiesFreeTheImplementationOnce) {
  constexpr int kObjects = 40;
  const long live = QORLiveAllocations();
  const ClassCounts base = Counts(kBase);

  for (int round = 0; round < kObjects; ++round) {
    QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
    ASSERT_NE(impl, nullptr);
    // Thread 0 holds the implementation itself; the others a TIE each, of either
    // interface, and one TIE is held twice by a pair of threads.
    std::array<QORBaseUnknown*, kThreads> held{};
    held[0] = impl;
    for (int i = 1; i < kThreads; ++i) {
      const IID& iid = i % 2 ? IID_QORITestProbe : IID_QORIResolvedInputFilter;
      held[static_cast<size_t>(i)] = Query<QORBaseUnknown>(impl, iid);
      ASSERT_NE(held[static_cast<size_t>(i)], nullptr);
    }
    held[kThreads - 1]->Release();
    held[kThreads - 1] = held[1];
    held[1]->AddRef();

    RunTogether([&](int i) { held[static_cast<size_t>(i)]->Release(); });
    ASSERT_EQ(Counts(kBase), Plus(base, round + 1, round + 1)) << "round " << round;
  }
  EXPECT_EQ(QORLiveAllocations(), live);
}

TEST_F(ConcurrentComponents, ConcurrentQueriesOnOneObjectShareOneTieMetaClass) {
  QORBaseUnknown* impl = Instantiate(kStructure, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  std::array<const QORMetaClass*, kThreads> metas{};
  RunTogether([&](int i) {
    void* out = nullptr;
    if (impl->QueryInterface(IID_QORIInputFilterStructure, &out) == S_OK && out) {
      auto* tie = static_cast<QORBaseUnknown*>(out);
      metas[static_cast<size_t>(i)] = tie->GetMetaObject();
      tie->Release();
    }
  });
  ASSERT_NE(metas[0], nullptr);
  for (const QORMetaClass* m : metas) EXPECT_EQ(m, metas[0]);
  EXPECT_EQ(metas[0]->GetTypeOfClass(), QORMetaClass::kTie);
  EXPECT_EQ(impl->GetRefCount(), 1);
  impl->Release();
}

}  // namespace
