// The host event loop: one thread runs every piece of work, whoever posted it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DialogToolkit/DialogTestSupport.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "EventToolkit/QOREventHandler.h"

namespace {

using namespace std::chrono_literals;

QOREventLoop& Loop() {
  return QOREventLoop::Host();
}

TEST(EventLoop, WorkPostedFromOtherThreadsRunsOnTheHostThread) {
  Loop();  // this thread is the host thread from here on
  const std::thread::id host = std::this_thread::get_id();
  std::vector<std::thread::id> ranOn;
  std::thread poster([&] {
    for (int i = 0; i < 3; ++i) Loop().Post([&] { ranOn.push_back(std::this_thread::get_id()); });
  });
  poster.join();
  EXPECT_TRUE(ranOn.empty());  // queued, not run by the thread that posted it
  ASSERT_TRUE(Loop().RunUntil([&] { return ranOn.size() == 3; }, 5s));
  for (const std::thread::id& id : ranOn) EXPECT_EQ(id, host);
  EXPECT_TRUE(Loop().IsHostThread());
}

TEST(EventLoop, RunUntilReturnsWhenTheConditionHoldsOrFalseAtTheTimeLimit) {
  int done = 0;
  Loop().Post([&] { ++done; });
  Loop().Post([&] { ++done; });
  Loop().Post([&] { ++done; });
  EXPECT_TRUE(Loop().RunUntil([&] { return done == 2; }, 5s));
  EXPECT_EQ(done, 2);  // the condition is checked after each piece of work
  EXPECT_FALSE(Loop().RunUntil([] { return false; }, 20ms));
  EXPECT_EQ(done, 3);
  // Work that arrives while it waits is run, and ends the wait once it did its part.
  bool late = false;
  std::thread poster([&] {
    std::this_thread::sleep_for(30ms);
    Loop().Post([&] { late = true; });
  });
  EXPECT_TRUE(Loop().RunUntil([&] { return late; }, 5s));
  poster.join();
}

TEST(EventLoop, RunPendingRunsWhatIsQueuedNowNotWhatThatWorkQueues) {
  std::vector<int> order;
  Loop().Post([&] {
    order.push_back(1);
    Loop().Post([&] { order.push_back(3); });
  });
  Loop().Post([&] { order.push_back(2); });
  Loop().RunPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  Loop().RunPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(EventLoop, RunReturnsTheCodeGivenToQuit) {
  Loop().Post([] { Loop().Quit(3); });
  EXPECT_EQ(Loop().Run(), 3);
}

TEST(EventLoop, ConcurrentPostersAllRunOnTheHostThreadInEachPostersOrder) {
  Loop();
  const std::thread::id host = std::this_thread::get_id();
  constexpr int kThreads = 4, kEach = 2000;
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> offHost{0};
  int total = 0;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        Loop().Post([&, t, i] {
          if (std::this_thread::get_id() != host) offHost.fetch_add(1);
          seen[t].push_back(i);
          ++total;
        });
      }
    });
  }
  EXPECT_TRUE(Loop().RunUntil([&] { return total == kThreads * kEach; }, 60s));
  for (std::thread& p : posters) p.join();
  Loop().RunPending();
  EXPECT_EQ(offHost.load(), 0);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kEach));
    for (int i = 0; i < kEach; ++i) ASSERT_EQ(seen[t][i], i) << "poster " << t;
  }
}

}  // namespace
