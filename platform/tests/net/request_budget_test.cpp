#include "platform/request_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/log.h"

namespace {

TEST(RequestBudgetTest, AllowsTheLimitThenDropsAndLogsOnce) {
  platform::LogCapture capture;
  // A percent sign in the line shows it is logged as given, not used as a format.
  const std::string line = "HVAdEngine: more than 3 pings for one ad (100%d), the rest are dropped";
  platform::RequestBudget budget(line, 3);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    std::vector<bool> answers;
    for (int i = 0; i < 6; ++i) answers.push_back(budget.allowRequest());
    EXPECT_EQ(answers, (std::vector<bool>{true, true, true, false, false, false}));
    EXPECT_EQ(budget.used(), 3u);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{line});
    capture.clear();
    budget.reset();  // the next ad
  }
  platform::RequestBudget none("nothing allowed", 0);
  EXPECT_FALSE(none.allowRequest());
  EXPECT_EQ(capture.lines(), std::vector<std::string>{"nothing allowed"});
}

TEST(RequestBudgetTest, ThreadsSharingABudgetNeverPassTheLimit) {
  platform::LogCapture capture;
  platform::RequestBudget budget("too many beacons", 50);
  std::atomic<int> allowed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        if (budget.allowRequest()) ++allowed;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(allowed.load(), 50);
  EXPECT_EQ(capture.lines().size(), 1u);
}

}  // namespace
