// The host event loop: one thread runs every piece of work, whoever posted it (the web
// tests post from the server's threads).
#include <gtest/gtest.h>

#include "DialogToolkit/DialogTestSupport.h"

namespace {

QOREventLoop& Loop() {
  return QOREventLoop::Host();
}

TEST(EventLoop, RunUntilRunsWorkUntilTheConditionHoldsOrTheTimeIsUp) {
  int done = 0;
  for (int i = 0; i < 3; ++i) Loop().Post([&] { ++done; });
  EXPECT_TRUE(Loop().RunUntil([&] { return done == 2; }, 5s));
  EXPECT_EQ(done, 2);  // the condition is checked after each piece of work
  EXPECT_FALSE(Loop().RunUntil([] { return false; }, 20ms));
  EXPECT_EQ(done, 3);
  // RunPending runs what is queued now, not what that work queues.
  std::vector<int> order;
  Loop().Post([&] {
    order.push_back(1);
    Loop().Post([&] { order.push_back(3); });
  });
  Loop().Post([&] { order.push_back(2); });
  Loop().RunPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  Loop().Post([] { Loop().Quit(3); });
  EXPECT_EQ(Loop().Run(), 3);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

}  // namespace
