#include "platform/dispatch.h"

#include <atomic>
#include <cmath>
#include <latch>
#include <mutex>
#include <set>
#include <thread>

#include "platform/thread.h"
#include "testing/sandbox_test.h"

namespace {

using platform::DispatchGroup;
using platform::DispatchQueue;

class DispatchTest : public testkit::SandboxTest {};

TEST_F(DispatchTest, BackgroundWorkReturnsToTheMainThread) {
  std::atomic<int> offMain{0};
  int onMain = 0;
  for (int i = 0; i < 20; ++i) {
    DispatchQueue::global().async([&] {
      if (!platform::Thread::isMainThread()) ++offMain;
      DispatchQueue::main().async([&] {
        if (platform::Thread::isMainThread()) ++onMain;
      });
    });
  }
  drainWorkers();
  EXPECT_EQ(offMain.load(), 20);
  EXPECT_EQ(onMain, 20);
}

TEST_F(DispatchTest, GroupNotifiesOnceEveryMemberLeft) {
  DispatchGroup group;
  std::atomic<int> done{0};
  bool notified = false;
  for (int i = 0; i < 8; ++i) group.async(DispatchQueue::global(), [&] { ++done; });
  group.notify(DispatchQueue::main(), [&] {
    EXPECT_EQ(done.load(), 8);
    notified = true;
  });
  EXPECT_TRUE(group.wait(5));
  ASSERT_TRUE(runUntil([&] { return notified; }));

  DispatchGroup empty;
  bool immediate = false;
  empty.notify(DispatchQueue::main(), [&] { immediate = true; });
  runUntilIdle();
  EXPECT_TRUE(immediate);
}

TEST_F(DispatchTest, PerformOnMainThreadWaitsFromAWorkerAndRunsDirectlyOnMain) {
  bool direct = false;
  platform::performOnMainThread([&] { direct = true; }, true);
  EXPECT_TRUE(direct);

  std::atomic<bool> returned{false};
  int value = 0;
  std::thread worker([&] {
    platform::performOnMainThread([&] { value = 42; }, true);
    returned = true;
  });
  ASSERT_TRUE(runUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(value, 42);
}

TEST_F(DispatchTest, AfterOnTheMainQueueFollowsVirtualTime) {
  bool ran = false;
  DispatchQueue::main().after(2.0, [&] { ran = true; });
  advance(1.9);
  EXPECT_FALSE(ran);
  advance(0.1);
  EXPECT_TRUE(ran);
}

TEST_F(DispatchTest, WaitsWithoutBoundOrWithANonsenseBoundAreStillWaits) {
  // Infinity is how a caller says "for ever"; it must not read as an immediate time-out.
  for (double forever : {HUGE_VAL, 1e300, 1e12}) {
    SCOPED_TRACE(forever);
    // The other side lets go only once this thread is on its way into the wait, so a wait
    // read as "time out now" returns false before it could.
    DispatchGroup group;
    group.enter();
    std::latch waiting(1);
    std::thread member([group, &waiting]() mutable {
      waiting.wait();
      group.leave();
    });
    waiting.count_down();
    EXPECT_TRUE(group.wait(forever));
    member.join();

    std::atomic<bool> release{false};
    DispatchQueue::global().async([&] {
      while (!release.load()) std::this_thread::yield();
    });
    std::latch idleWaiting(1);
    std::thread releaser([&] {
      idleWaiting.wait();
      release = true;
    });
    idleWaiting.count_down();
    EXPECT_TRUE(DispatchQueue::waitForGlobalIdle(forever));
    releaser.join();
  }

  // Not a number, zero or negative: a look at the present state.
  DispatchGroup busy;
  busy.enter();
  for (double now : {std::nan(""), 0.0, -5.0}) EXPECT_FALSE(busy.wait(now));
  busy.leave();
  EXPECT_TRUE(busy.wait(std::nan("")));
}

TEST_F(DispatchTest, SyncOnTheGlobalQueueFromAnyThreadRunsAndReturns) {
  // From outside the pool the task runs on a worker.
  bool offMain = false;
  DispatchQueue::global().sync([&] { offMain = !platform::Thread::isMainThread(); });
  EXPECT_TRUE(offMain);

  // From every worker of the pool at once (it has four), and nested: none is left to run the
  // tasks of the others.
  constexpr int kWorkers = 4;
  std::latch allInside(kWorkers);
  std::atomic<int> ran{0};
  DispatchGroup group;
  for (int i = 0; i < kWorkers; ++i)
    group.async(DispatchQueue::global(), [&] {
      allInside.arrive_and_wait();
      DispatchQueue::global().sync([&] { DispatchQueue::global().sync([&] { ++ran; }); });
    });
  // The bound only ends a deadlocked run: the tasks themselves take no time.
  ASSERT_TRUE(group.wait(120)) << "the pool deadlocked";
  EXPECT_EQ(ran.load(), kWorkers);
}

}  // namespace
