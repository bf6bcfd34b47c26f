// The test kit's explorer of event orders: seeds replay, and a failure shrinks to the shortest
// row that fails the same check, not to any shorter row that fails some other one.
#include "testing/explorer.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <set>
#include <sstream>

namespace {

// A world with a fault: a tap ten seconds or more after an opening fails one check; a tap
// with nothing opened before it fails another.
void faultyWorld(const std::string& events) {
  std::istringstream words(events);
  std::string word;
  bool opened = false;
  double waited = 0;
  while (words >> word) {
    if (word == "open") {
      opened = true;
      waited = 0;
    } else if (word == "tap") {
      EXPECT_TRUE(opened) << "a tap with nothing open";
      EXPECT_FALSE(opened && waited >= 10) << "a late tap";
    } else if (word != "noise") {
      waited += std::stod(word);
    }
  }
}

testkit::ExplorerVocabulary vocabulary() {
  testkit::ExplorerVocabulary v;
  v.words = {{"open", 1}, {"tap", 1}, {"noise", 2}};
  v.waits = {0.01, 1, 10, 60};
  v.shortest = 5;
  v.longest = 20;
  return v;
}

TEST(Explorer, ASeedDrawsTheSameWordsEveryTime) {
  testkit::Explorer explorer("world", vocabulary(), faultyWorld);
  std::set<std::string> lines;
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    const auto events = explorer.draw(seed);
    EXPECT_EQ(events, explorer.draw(seed));
    EXPECT_GE(events.size(), 5u);
    EXPECT_LE(events.size(), 20u);
    for (const auto& word : events)
      EXPECT_TRUE(std::set<std::string>({"open", "tap", "noise", "0.01", "1", "10", "60"}).count(word)) << word;
    lines.insert(testkit::Explorer::line(events));
  }
  EXPECT_GT(lines.size(), 15u);
}

TEST(Explorer, AFailureShrinksToItsOwnCause) {
  testkit::Explorer explorer("world", vocabulary(), faultyWorld);
  const testkit::ExplorerSequence drawn = {"noise", "open", "1", "noise", "60", "open", "60", "noise", "tap", "1", "tap"};
  const auto verdict = explorer.judge(drawn);
  ASSERT_TRUE(verdict.failed());
  EXPECT_NE(verdict.message.find("a late tap"), std::string::npos);
  // Dropping the opening would still fail, but as a tap with nothing open: not this fault.
  EXPECT_EQ(testkit::Explorer::line(explorer.shrink(drawn, verdict)), "open 10 tap");
  EXPECT_FALSE(explorer.judge({"open", "1", "tap"}).failed());
}

TEST(Explorer, ARunReportsEachCauseOnceWithASeedThatReplaysIt) {
  testkit::Explorer explorer("world", vocabulary(), faultyWorld,
                             [](const std::string& events) { return "{\"" + events + "\"}"; });
  ::setenv("EXPLORE_RUNS", "60", 1);
  ::testing::TestPartResultArray failures;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
    explorer.run();
  }
  ::unsetenv("EXPLORE_RUNS");
  std::set<std::string> rows;
  for (int i = 0; i < failures.size(); ++i) {
    const std::string message = failures.GetTestPartResult(i).message();
    const auto at = message.find("shortest row: ");
    ASSERT_NE(at, std::string::npos) << message;
    rows.insert(message.substr(at + 14, message.find('\n', at) - at - 14));
    // The seed named replays a sequence that fails.
    const auto seed = std::stoull(message.substr(message.find("seed ") + 5));
    EXPECT_TRUE(explorer.judge(explorer.draw(seed)).failed());
  }
  EXPECT_EQ(rows, (std::set<std::string>{"{\"tap\"}", "{\"open 10 tap\"}"}));
}

}  // namespace
