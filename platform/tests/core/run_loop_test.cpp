#include "platform/run_loop.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "testing/sandbox_test.h"

namespace {

using platform::RunLoop;
using platform::Timer;

// A timer made outside the scheduling calls would never be scheduled.
static_assert(!std::is_constructible_v<Timer, RunLoop&, double, bool, Timer::Callback>,
              "timers come from scheduledTimer()");

class RunLoopTest : public testkit::SandboxTest {};

TEST_F(RunLoopTest, TimersAndPerformsFireInDueOrderUnderVirtualTime) {
  std::vector<std::string> fired;
  auto& loop = mainLoop();
  auto t3 = Timer::scheduledTimer(3.0, false, [&](Timer&) { fired.push_back("timer3"); });
  loop.postAfter(1.0, [&] { fired.push_back("perform1"); });
  auto cancelled = loop.postAfter(2.0, [&] { fired.push_back("cancelled2"); });
  loop.postAfter(2.5, [&] { fired.push_back("perform2.5"); });
  // Same due time: scheduling order decides.
  loop.postAfter(1.0, [&] { fired.push_back("perform1b"); });
  cancelled.cancel();
  EXPECT_FALSE(cancelled.isPending());

  advance(0.999);
  EXPECT_TRUE(fired.empty());
  advance(2.0);
  EXPECT_EQ(fired, (std::vector<std::string>{"perform1", "perform1b", "perform2.5"}));
  EXPECT_TRUE(t3->isValid());
  advance(0.001);
  EXPECT_EQ(fired.back(), "timer3");
  EXPECT_FALSE(t3->isValid());
}

TEST_F(RunLoopTest, RepeatingTimerCanInvalidateItselfAndSkipsNothingOnTheWay) {
  int count = 0;
  std::vector<double> times;
  auto timer = Timer::scheduledTimer(10.0, true, [&](Timer& t) {
    times.push_back(clock().monotonic());
    if (++count == 3) t.invalidate();
  });
  const double start = clock().monotonic();
  advance(100);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(times.size(), 3u);
  EXPECT_DOUBLE_EQ(times[0] - start, 10);
  EXPECT_DOUBLE_EQ(times[2] - start, 30);
  EXPECT_FALSE(timer->isValid());
  timer->invalidate();  // idempotent
}

TEST_F(RunLoopTest, TimerReleasedInsideItsCallbackDoesNotCrash) {
  struct Target {
    std::shared_ptr<Timer> timer;
    int fired = 0;
  };
  auto target = std::make_shared<Target>();
  std::weak_ptr<Target> weak = target;
  target->timer = Timer::scheduledTimer(1.0, true, [weak](Timer& t) {
    auto self = weak.lock();
    if (!self) return;
    ++self->fired;
    t.invalidate();
    self->timer.reset();
  });
  advance(5);
  EXPECT_EQ(target->fired, 1);
  EXPECT_EQ(target->timer, nullptr);
}

TEST_F(RunLoopTest, ZeroDelayNeverRunsInsideTheCaller) {
  bool ran = false;
  mainLoop().postAfter(0, [&] { ran = true; });
  mainLoop().post([&] {
    // A post made inside a turn waits for the next one.
    EXPECT_FALSE(ran);
  });
  EXPECT_FALSE(ran);
  runUntilIdle();
  EXPECT_TRUE(ran);

  std::vector<int> order;
  mainLoop().post([&] {
    order.push_back(1);
    mainLoop().postAfter(0, [&] { order.push_back(3); });
    order.push_back(2);
  });
  ASSERT_EQ(mainLoop().runOnce(0), RunLoop::RunResult::HandledSource);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(RunLoopTest, CancelPerformsOfOneOwnerLeavesOthers) {
  int a = 0, b = 0;
  int ownerA, ownerB;
  mainLoop().postAfter(1, [&] { ++a; }, &ownerA);
  mainLoop().postAfter(2, [&] { ++a; }, &ownerA);
  mainLoop().postAfter(1, [&] { ++b; }, &ownerB);
  mainLoop().cancelPerforms(&ownerA);
  advance(3);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
}

TEST_F(RunLoopTest, CancelledPerformsLetGoOfTheirCapturesAndLeaveTheSchedule) {
  auto& loop = mainLoop();
  int live = 0;
  loop.postAfter(1, [&] { ++live; });  // due before everything cancelled below
  int owner;
  auto captured = std::make_shared<std::vector<char>>(1024);
  std::weak_ptr<std::vector<char>> byHandle = captured;
  std::weak_ptr<int> byOwner;
  auto handle = loop.postAfter(3600, [captured] {});
  {
    auto other = std::make_shared<int>(0);
    byOwner = other;
    loop.postAfter(3600, [other] {}, &owner);
  }
  captured.reset();
  std::thread([&] {
    handle.cancel();
    loop.cancelPerforms(&owner);
  }).join();
  EXPECT_TRUE(byHandle.expired());
  EXPECT_TRUE(byOwner.expired());

  // Scheduled and cancelled at once, over and over (a page's clearTimeout(setTimeout(...))).
  constexpr size_t kCancelled = 20000;
  for (size_t i = 0; i < kCancelled; ++i) loop.postAfter(3600, [] {}).cancel();
  EXPECT_LT(loop.scheduledEntryCountForTesting(), 200u);
  // Scheduled first, cancelled later from another thread: the next turn sweeps them.
  std::vector<platform::PerformHandle> handles;
  for (size_t i = 0; i < kCancelled; ++i) handles.push_back(loop.postAfter(3600, [] {}));
  std::thread([&] {
    for (auto& h : handles) h.cancel();
  }).join();
  loop.runOnce(0);
  EXPECT_LT(loop.scheduledEntryCountForTesting(), 200u);
  advance(1);
  EXPECT_EQ(live, 1);
}

TEST_F(RunLoopTest, InvalidatedAndMovedTimersLeaveTheScheduleLongBeforeTheirOldDueTime) {
  auto& loop = mainLoop();
  constexpr size_t kMany = 20000;
  struct Case {
    const char* name;
    std::function<void(std::vector<std::shared_ptr<Timer>>& held)> churn;
  };
  const Case cases[] = {
      {"made and invalidated one by one",
       [](auto&) {
         for (size_t i = 0; i < kMany; ++i) Timer::scheduledTimer(3600, false, [](Timer&) {})->invalidate();
       }},
      {"all made, then all invalidated",
       [](auto& held) {
         for (size_t i = 0; i < kMany; ++i) held.push_back(Timer::scheduledTimer(3600, true, [](Timer&) {}));
         for (auto& t : held) t->invalidate();
       }},
      {"one moved over and over",
       [](auto& held) {
         held.push_back(Timer::scheduledTimer(3600, false, [](Timer&) {}));
         const double now = platform::Clock::current().monotonic();
         for (size_t i = 0; i < kMany; ++i) held.back()->setFireDate(now + 3600 + static_cast<double>(i));
         held.back()->invalidate();
       }},
      {"one-shots fired by hand",
       [](auto& held) {
         for (size_t i = 0; i < kMany; ++i) {
           held.push_back(Timer::scheduledTimer(3600, false, [](Timer&) {}));
           held.back()->fire();
         }
       }},
  };
  for (const auto& c : cases) {
    // Live timers around the churn: each fires once, in order, at its own time.
    const double start = platform::Clock::current().monotonic();
    std::vector<std::pair<int, double>> fired;
    auto note = [&](int which) {
      return [&fired, which](Timer&) { fired.emplace_back(which, platform::Clock::current().monotonic()); };
    };
    std::vector<std::shared_ptr<Timer>> live{Timer::scheduledTimer(2, false, note(2)),
                                             Timer::scheduledTimer(7200, false, note(3)),
                                             Timer::scheduledTimer(5, false, note(9))};
    live[2]->setFireDate(start + 1);  // moved ahead of the first one
    std::vector<std::shared_ptr<Timer>> held;
    c.churn(held);
    loop.runOnce(0);
    EXPECT_LT(loop.scheduledEntryCountForTesting(), 200u) << c.name;
    advance(7200);
    EXPECT_EQ(fired, (std::vector<std::pair<int, double>>{{9, start + 1}, {2, start + 2}, {3, start + 7200}})) << c.name;
    advance(kMany + 3600);  // nothing of the churn fires
    EXPECT_EQ(fired.size(), 3u) << c.name;
  }
}

TEST_F(RunLoopTest, PostsFromOtherThreadsArriveInOrderPerThread) {
  constexpr int kThreads = 4, kPosts = 500;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPosts; ++i) mainLoop().post([&, t, i] { seen[t].push_back(i); });
    });
  for (auto& th : threads) th.join();
  ASSERT_TRUE(runUntil([&] {
    for (auto& s : seen)
      if (s.size() != kPosts) return false;
    return true;
  }));
  for (auto& s : seen)
    for (int i = 0; i < kPosts; ++i) ASSERT_EQ(s[i], i);
}

TEST_F(RunLoopTest, AFloodFromOtherThreadsLeavesTimersTheirTurnAndKeepsEachThreadsOrder) {
  auto& loop = mainLoop();
  size_t ran = 0;
  std::optional<size_t> ranBeforeTimer;
  auto timer = Timer::scheduledTimer(0.001, false, [&](Timer&) { ranBeforeTimer = ran; });
  // Posts and zero-delay performs, several turns' worth, all made before the timer is due.
  constexpr size_t kEach = 5 * RunLoop::kTasksPerTurn;
  std::vector<std::vector<size_t>> seen(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (size_t i = 0; i < kEach; ++i) {
        loop.post([&, t, i] { seen[t].push_back(i), ++ran; });
        loop.postAfter(0, [&, t, i] { seen[2 + t].push_back(i), ++ran; });
      }
    });
  for (auto& th : threads) th.join();
  clock().advance(0.001);

  ASSERT_EQ(loop.runOnce(0), RunLoop::RunResult::HandledSource);
  ASSERT_TRUE(ranBeforeTimer.has_value()) << "the due timer fires in the first turn";
  EXPECT_LE(*ranBeforeTimer, 2 * RunLoop::kTasksPerTurn);
  EXPECT_LE(ran, 2 * RunLoop::kTasksPerTurn);
  runUntilIdle();
  EXPECT_EQ(ran, 4 * kEach);
  for (auto& s : seen)
    for (size_t i = 0; i < kEach; ++i) ASSERT_EQ(s[i], i);
}

TEST_F(RunLoopTest, SignalledSourceNeverLosesAWakeUp) {
  std::atomic<int> signals{0};
  std::atomic<int> handled{0};
  std::atomic<int> lastSeen{0};
  auto source = mainLoop().addSource([&] {
    ++handled;
    lastSeen = signals.load();
  });
  std::thread producer([&] {
    for (int i = 0; i < 2000; ++i) {
      ++signals;
      source->signal();
    }
  });
  producer.join();
  // Whatever coalescing happened, the handler ran after the last signal.
  ASSERT_TRUE(runUntil([&] { return lastSeen.load() == 2000; }));
  EXPECT_GE(handled.load(), 1);
  int before = handled;
  runUntilIdle();
  EXPECT_EQ(handled.load(), before);  // nothing spurious once handled
}

TEST_F(RunLoopTest, DescriptorWatcherMixesWithVirtualTimers) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string got;
  int watch = mainLoop().watchFd(fds[0], RunLoop::kReadable, [&](int fd, unsigned) {
    char buf[16];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<size_t>(n));
  });
  bool timerFired = false;
  Timer::scheduledTimer(60, false, [&](Timer&) { timerFired = true; });
  std::thread writer([&] { ASSERT_EQ(write(fds[1], "ping", 4), 4); });
  writer.join();
  ASSERT_TRUE(runUntil([&] { return got == "ping"; }));
  EXPECT_FALSE(timerFired);  // waiting never makes virtual timers due
  advance(60);
  EXPECT_TRUE(timerFired);
  mainLoop().unwatchFd(watch);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(RunLoopTest, WorkerThreadTimersFollowTheManualClock) {
  platform::Thread worker("worker");
  worker.start();
  std::atomic<bool> fired{false};
  std::atomic<bool> scheduled{false};
  worker.post([&] {
    Timer::scheduledTimer(5, false, [&](Timer&) { fired = true; });
    scheduled = true;
  });
  ASSERT_TRUE(runUntil([&] { return scheduled.load(); }));
  clock().advance(4.9);
  // A task the worker posts to itself runs on a later turn than the one that took in the
  // clock's move, which has fired whatever was due by then.
  std::atomic<bool> lookedAtTheClock{false};
  worker.post([&] { worker.post([&] { lookedAtTheClock = true; }); });
  ASSERT_TRUE(runUntil([&] { return lookedAtTheClock.load(); }));
  EXPECT_FALSE(fired.load());
  clock().advance(0.1);
  EXPECT_TRUE(runUntil([&] { return fired.load(); }));
  EXPECT_EQ(worker.name(), "worker");
}

TEST_F(RunLoopTest, KeepAliveLastsUntilTheEndOfTheTurnAndObserversRunThen) {
  auto object = std::make_shared<int>(7);
  std::weak_ptr<int> weak = object;
  std::vector<std::string> order;
  int id = mainLoop().addEndOfTurnObserver([&] { order.push_back(weak.expired() ? "observer-released" : "observer-alive"); });
  mainLoop().post([&] {
    mainLoop().keepAliveUntilEndOfTurn(std::move(object));
    order.push_back("task");
  });
  runUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"task", "observer-alive"}));
  EXPECT_TRUE(weak.expired());
  mainLoop().removeEndOfTurnObserver(id);
}

TEST_F(RunLoopTest, EndOfTurnObserverRemovedByAnEarlierOneIsNotCalledInThatPass) {
  std::vector<std::string> calls;
  auto owned = std::make_unique<std::string>("second");
  int second = 0;
  int first = mainLoop().addEndOfTurnObserver([&] {
    calls.push_back("first");
    // The way an owner going away takes its pass with it.
    mainLoop().removeEndOfTurnObserver(second);
    owned.reset();
  });
  second = mainLoop().addEndOfTurnObserver([&] { calls.push_back(owned ? *owned : "after removal"); });
  mainLoop().post([] {});
  runUntilIdle();
  EXPECT_EQ(calls, (std::vector<std::string>{"first"}));
  mainLoop().removeEndOfTurnObserver(first);
}

TEST_F(RunLoopTest, FireDateThatIsNotANumberLeavesTheScheduleInOrder) {
  std::vector<int> fired;
  std::vector<std::shared_ptr<Timer>> timers;
  for (int i = 1; i <= 6; ++i)
    timers.push_back(Timer::scheduledTimer(i, false, [&fired, i](Timer&) { fired.push_back(i); }));
  auto odd = Timer::scheduledTimer(10, false, [&fired](Timer&) { fired.push_back(10); });
  odd->setFireDate(std::nan(""));
  const double start = clock().monotonic();
  timers[2]->setFireDate(start + 0.5);  // rescheduled after the odd one
  for (int i = 7; i <= 9; ++i)
    timers.push_back(Timer::scheduledTimer(i - 6.5, false, [&fired, i](Timer&) { fired.push_back(i); }));
  advance(20);
  EXPECT_EQ(fired, (std::vector<int>{3, 7, 1, 8, 2, 9, 4, 5, 6, 10}));
}

TEST_F(RunLoopTest, ThreadReleasedByATaskOnItsOwnLoopEndsQuietly) {
  auto thread = std::make_shared<platform::Thread>("self-released");
  thread->start();
  auto sentinel = std::make_shared<int>(0);
  std::weak_ptr<int> watch = sentinel;
  std::atomic<bool> released{false};
  platform::Thread* raw = thread.get();
  raw->post([thread = std::move(thread), sentinel = std::move(sentinel), &released]() mutable {
    thread.reset();  // the last owner goes away on the thread itself
    sentinel.reset();
    released = true;
  });
  ASSERT_TRUE(runUntil([&] { return released.load() && watch.expired(); }));
}

TEST_F(RunLoopTest, SourceSignalledAfterItsThreadEndedTouchesNothing) {
  std::shared_ptr<platform::RunLoopSource> source;
  std::atomic<bool> made{false};
  {
    platform::Thread worker("source owner");
    worker.start();
    worker.post([&] {
      source = RunLoop::current().addSource([] {});
      made = true;
    });
    ASSERT_TRUE(runUntil([&] { return made.load(); }));
    worker.stop();
    worker.join();
  }
  // The ended loop's wake-up descriptor number goes to the next file opened.
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  source->signal();
  char bytes[16];
  EXPECT_EQ(recv(fds[1], bytes, sizeof bytes, MSG_DONTWAIT), -1);
  ASSERT_EQ(send(fds[0], "x", 1, 0), 1);
  EXPECT_EQ(recv(fds[1], bytes, sizeof bytes, MSG_DONTWAIT), 1);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(RunLoopTest, TimerLetsGoOfItsCallbackOnceInvalidatedOrFired) {
  // Invalidated long before it is due, with the handle dropped: nothing is kept for an hour.
  auto held = std::make_shared<int>(1);
  std::weak_ptr<int> heldWatch = held;
  auto timer = Timer::scheduledTimer(3600, false, [held](Timer&) {});
  held.reset();
  timer->invalidate();
  timer.reset();
  EXPECT_TRUE(heldWatch.expired());

  // Invalidated inside its own callback: what it holds stays usable until the call returns.
  auto target = std::make_shared<std::string>("target");
  std::weak_ptr<std::string> targetWatch = target;
  std::string seen;
  auto repeating = Timer::scheduledTimer(1, true, [target, &seen](Timer& t) {
    t.invalidate();
    seen = *target;
  });
  target.reset();
  advance(1);
  EXPECT_EQ(seen, "target");
  EXPECT_TRUE(targetWatch.expired());

  // A one-shot that fired while its owner keeps the handle.
  auto fired = std::make_shared<int>(2);
  std::weak_ptr<int> firedWatch = fired;
  auto oneShot = Timer::scheduledTimer(1, false, [fired](Timer&) {});
  fired.reset();
  advance(1);
  EXPECT_FALSE(oneShot->isValid());
  EXPECT_TRUE(firedWatch.expired());
}

TEST_F(RunLoopTest, TimersPerformsAndWatchesOfAnEndedThreadAreInertAndSaySo) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::atomic<int> ran{0};
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> capturedWatch = captured;
  std::shared_ptr<Timer> repeating, oneShot;
  platform::PerformHandle perform;
  {
    platform::Thread worker("ends with work pending");
    worker.start();
    worker.post([&, captured = std::move(captured)] {
      auto& loop = RunLoop::current();
      repeating = Timer::scheduledTimer(1, true, [captured, &ran](Timer&) { ++ran; });
      oneShot = Timer::scheduledTimer(3600, false, [captured, &ran](Timer&) { ++ran; });
      perform = loop.postAfter(3600, [captured, &ran] { ++ran; });
      loop.watchFd(fds[0], RunLoop::kReadable, [captured, &ran](int, unsigned) { ++ran; });
      worker.stop();  // the thread ends after this turn, with all of it pending
    });
    worker.join();
  }
  EXPECT_TRUE(capturedWatch.expired()) << "what the loop held went with it";
  EXPECT_FALSE(perform.isPending());
  perform.cancel();
  for (auto* timer : {&repeating, &oneShot}) {
    ASSERT_TRUE(*timer);
    EXPECT_FALSE((*timer)->isValid());
    (*timer)->setFireDate(clock().monotonic() + 1);
    (*timer)->fire();
    EXPECT_FALSE((*timer)->isValid());
    (*timer)->invalidate();
  }
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  advance(3600);
  EXPECT_EQ(ran.load(), 0);
  close(fds[0]);
  close(fds[1]);
}

// Counts its own end.
struct Released {
  std::atomic<int>* count;
  ~Released() { ++*count; }
};

// A capture that, as an owner going away does, cancels what it scheduled on its loop, and
// adds more work there too.
struct CallsBack {
  RunLoop& loop;
  int fd;
  std::atomic<int>& released;
  int watch = 0;
  int observer = 0;
  ~CallsBack() {
    loop.cancelPerforms(this);
    loop.unwatchFd(watch);
    loop.removeEndOfTurnObserver(observer);
    std::shared_ptr<Released> more(new Released{&released});
    loop.post([more] {});
    loop.postAfter(0, [more] {}, this);
    Timer::scheduledTimerOn(loop, 1, true, [more](Timer&) {});
    loop.watchFd(fd, RunLoop::kReadable, [more](int, unsigned) {});
    loop.addEndOfTurnObserver([more] {});
    loop.addSource([more] {});
    loop.keepAliveUntilEndOfTurn(more);
    ++released;
  }
};

TEST_F(RunLoopTest, CapturesLetGoWithTheirLoopMayStillCallIntoIt) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  struct Case {
    const char* where;
    std::function<void(RunLoop&, std::shared_ptr<CallsBack>)> hold;
  };
  const Case cases[] = {
      {"an unrun post", [](RunLoop& loop, auto back) { loop.post([back] {}); }},
      {"an unrun delayed perform", [](RunLoop& loop, auto back) { loop.postAfter(3600, [back] {}); }},
      {"a timer", [](RunLoop& loop, auto back) { Timer::scheduledTimerOn(loop, 3600, true, [back](Timer&) {}); }},
      {"a watch", [&](RunLoop& loop, auto back) { loop.watchFd(fds[0], RunLoop::kReadable, [back](int, unsigned) {}); }},
      {"an end-of-turn observer", [](RunLoop& loop, auto back) { loop.addEndOfTurnObserver([back] {}); }},
      {"a source nobody else holds", [](RunLoop& loop, auto back) { loop.addSource([back] {}); }},
  };
  for (const auto& c : cases) {
    std::atomic<int> released{0};
    {
      platform::Thread worker(c.where);
      worker.start();
      worker.post([&] {
        auto& loop = RunLoop::current();
        std::shared_ptr<CallsBack> back(new CallsBack{loop, fds[0], released});
        loop.postAfter(3600, [] {}, back.get());
        back->watch = loop.watchFd(fds[0], RunLoop::kReadable, [](int, unsigned) {});
        back->observer = loop.addEndOfTurnObserver([] {});
        c.hold(loop, std::move(back));
        worker.stop();
      });
      worker.join();
    }
    // The capture itself, and the work it added, which had nowhere left to run.
    EXPECT_EQ(released.load(), 2) << c.where;
  }
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
