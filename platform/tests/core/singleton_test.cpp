#include "platform/singleton.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Facts {
  std::string name = "first";
  int count = 0;
};

TEST(ProcessStateTest, MadeOnFirstUseAndMadeAfreshAfterReset) {
  // Process-wide state outlives every test: its reset hook stays registered.
  static int made = 0;
  static platform::ProcessState<Facts> state([] {
    ++made;
    return Facts{"made", 7};
  });
  platform::resetForTesting();  // a run repeated in one process starts from forgotten state
  const int before = made;
  EXPECT_EQ(state.read(&Facts::name), "made");
  state.write(&Facts::name, std::string("changed"));
  state.with([](Facts& f) { f.count += 1; });
  EXPECT_EQ(state.read(&Facts::name), "changed");
  EXPECT_EQ(state.read(&Facts::count), 8);
  EXPECT_EQ(made, before + 1);

  platform::resetForTesting();
  EXPECT_EQ(made, before + 1) << "a reset forgets; it does not make the defaults until they are used";
  EXPECT_EQ(state.read(&Facts::name), "made");
  EXPECT_EQ(state.read(&Facts::count), 7);
  EXPECT_EQ(made, before + 2);
}

TEST(ProcessStateTest, OneRecordPerTypeForTheWholeProcess) {
  platform::processState<Facts>().write(&Facts::name, std::string("set"));
  EXPECT_EQ(&platform::processState<Facts>(), &platform::processState<Facts>());
  EXPECT_EQ(platform::processState<Facts>().read(&Facts::name), "set");
  platform::resetForTesting();
  EXPECT_EQ(platform::processState<Facts>().read(&Facts::name), "first");
}

TEST(ProcessStateTest, WritersOnManyThreadsLoseNothing) {
  static platform::ProcessState<Facts> state;
  state.reset();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 1000; ++i) state.with([](Facts& f) { ++f.count; });
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(state.read(&Facts::count), 4000);
}

// What a dropped record holds may reach the same state from another thread as it goes (a
// callback's owner unscheduling itself): the reset must not hold the lock while it drops it.
struct Hook;
platform::ProcessState<Hook>& hooks();
struct Hook {
  struct OnDrop {
    bool armed = false;
    std::string* seen = nullptr;
    OnDrop() = default;
    OnDrop(OnDrop&& o) noexcept : armed(std::exchange(o.armed, false)), seen(o.seen) {}
    OnDrop& operator=(OnDrop&& o) noexcept {
      armed = std::exchange(o.armed, false);
      seen = o.seen;
      return *this;
    }
    ~OnDrop() {
      if (!armed) return;
      std::thread other([this] { *seen = hooks().read(&Hook::name); });
      other.join();
    }
  };
  std::string name = "fresh";
  OnDrop onDrop;
};
platform::ProcessState<Hook>& hooks() {
  static platform::ProcessState<Hook> s;
  return s;
}

TEST(ProcessStateTest, ResetDropsTheOldRecordOutsideTheLock) {
  std::string seen;
  hooks().with([&seen](Hook& h) {
    h.name = "old";
    h.onDrop.armed = true;
    h.onDrop.seen = &seen;
  });
  hooks().reset();
  EXPECT_EQ(seen, "fresh");
}

}  // namespace

TEST(ResettableSingletonTest, ReleaseHandsTheInstanceBackAndTheNextGetMakesAnother) {
  static platform::ResettableSingleton<Facts> singleton;
  static int forgotten = 0;
  auto make = [] { return std::make_shared<Facts>(); };
  auto first = singleton.get(make, [](Facts&) { ++forgotten; });
  first->count = 5;
  auto released = singleton.release();
  EXPECT_EQ(released, first);
  EXPECT_EQ(singleton.existing(), nullptr);
  EXPECT_EQ(singleton.release(), nullptr);
  bool made = false;
  auto second = singleton.get(make, {}, &made);
  EXPECT_TRUE(made);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->count, 0);
  EXPECT_EQ(forgotten, 0);  // releasing is not forgetting
  platform::resetForTesting();
}
