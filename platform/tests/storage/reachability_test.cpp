#include "platform/reachability.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/run_loop.h"
#include "platform/system_info.h"
#include "platform/thread.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Reachability;
using R = platform::Reachability;

class ReachabilityTest : public testkit::SandboxTest {};

TEST_F(ReachabilityTest, FlagsFollowTheSimulatedNetworkByTargetKind) {
  auto internet = Reachability::createWithAddress("0.0.0.0");
  auto wifi = Reachability::createWithAddress("169.254.0.0");
  auto host = Reachability::createWithName("ads.example.com");
  ASSERT_TRUE(internet && wifi && host);
  EXPECT_EQ(Reachability::createWithAddress("not an address"), nullptr);
  EXPECT_EQ(Reachability::createWithName(""), nullptr);

  // Tests start on Wi-Fi.
  EXPECT_EQ(internet->flags(), R::kReachable);
  EXPECT_EQ(wifi->flags(), R::kReachable | R::kIsDirect);

  struct Row {
    Reachability::Network network;
    uint32_t internet, linkLocal;
  };
  const Row rows[] = {
      {Reachability::Network::None, 0, 0},
      {Reachability::Network::WWAN, R::kReachable | R::kIsWWAN, 0},
      {Reachability::Network::WiFi, R::kReachable, R::kReachable | R::kIsDirect},
  };
  for (const auto& r : rows) {
    Reachability::setNetwork(r.network);
    EXPECT_EQ(internet->flags(), r.internet);
    EXPECT_EQ(host->flags(), r.internet);
    EXPECT_EQ(wifi->flags(), r.linkLocal);
  }

  Reachability::setFlags(R::kReachable | R::kConnectionRequired | R::kConnectionOnDemand);
  EXPECT_EQ(wifi->flags(), 0x26u);
  Reachability::setFlagsReadable(false);
  EXPECT_FALSE(internet->flags().has_value());
}

TEST(ReachabilityRules, NetworkFromFlagsForTheInternetAndTheLinkLocalTarget) {
  using N = Reachability::Network;
  const uint32_t Rc = R::kReachable, C = R::kConnectionRequired, T = R::kConnectionOnTraffic,
                 D = R::kConnectionOnDemand, I = R::kInterventionRequired, W = R::kIsWWAN, L = R::kIsDirect,
                 A = R::kIsLocalAddress, X = R::kTransientConnection;
  struct Row {
    uint32_t flags;
    N internet, linkLocal;
  };
  const Row rows[] = {
      {0, N::None, N::None},
      {Rc, N::WiFi, N::None},
      {Rc | X | A, N::WiFi, N::None},
      {Rc | C, N::None, N::None},            // a connection is needed and nothing brings it up
      {Rc | C | T, N::WiFi, N::None},        // comes up with traffic
      {Rc | C | D, N::WiFi, N::None},        // comes up on demand
      {Rc | C | T | I, N::None, N::None},    // ...but only with the user's help
      {Rc | C | D | I, N::None, N::None},
      {Rc | I, N::WiFi, N::None},            // intervention matters only when a connection is needed
      {Rc | W, N::WWAN, N::None},
      {Rc | W | C | I, N::WWAN, N::None},    // cellular wins over every connection flag
      {W, N::None, N::None},
      {C | T, N::None, N::None},
      {Rc | L, N::WiFi, N::WiFi},
      {Rc | L | W, N::WWAN, N::WiFi},
      {L, N::None, N::None},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Reachability::networkForFlags(r.flags), r.internet) << std::hex << r.flags;
    EXPECT_EQ(Reachability::localWiFiNetworkForFlags(r.flags), r.linkLocal) << std::hex << r.flags;
  }
}

TEST_F(ReachabilityTest, MachineStateComesFromInterfacesAndTheDefaultRoute) {
  platform::NetworkInterface lo{"lo", true, true, {"127.0.0.1"}, {"::1"}, std::nullopt};
  platform::NetworkInterface eth{"eth0", true, false, {"10.0.0.5"}, {}, platform::Bytes{2, 0, 0, 0, 0, 1}};
  platform::NetworkInterface v6only{"eth1", true, false, {}, {"2001:db8::1"}, std::nullopt};
  auto internet = Reachability::createWithAddress("0.0.0.0");
  auto wifi = Reachability::createWithAddress("169.254.0.0");
  auto loopback = Reachability::createWithName("localhost");
  Reachability::useMachineState();

  struct Row {
    std::vector<platform::NetworkInterface> interfaces;
    bool route;
    uint32_t internet, linkLocal;
  };
  auto down = eth;
  down.up = false;
  const Row rows[] = {
      {{lo, eth}, true, R::kReachable, R::kReachable | R::kIsDirect},
      {{lo, eth}, false, 0, R::kReachable | R::kIsDirect},
      {{lo, down}, true, 0, 0},
      {{lo}, true, 0, 0},
      {{lo, v6only}, true, R::kReachable, 0},
  };
  for (const auto& r : rows) {
    platform::SystemInfo::setNetworkInterfaces(r.interfaces);
    platform::SystemInfo::setHasDefaultRoute(r.route);
    EXPECT_EQ(internet->flags(), r.internet);
    EXPECT_EQ(wifi->flags(), r.linkLocal);
    EXPECT_EQ(loopback->flags(), R::kReachable | R::kIsLocalAddress | R::kIsDirect);
  }
}

TEST_F(ReachabilityTest, EveryChangeReachesTheMainLoopOnALaterTurn) {
  auto target = Reachability::createWithName("ads.example.com");
  std::vector<uint32_t> heard;
  target->setCallback([&](Reachability& r, uint32_t flags) {
    EXPECT_EQ(&r, target.get());
    EXPECT_TRUE(mainLoop().isCurrent());
    heard.push_back(flags);
  }, mainLoop());

  Reachability::setNetwork(Reachability::Network::None);
  EXPECT_TRUE(heard.empty());  // never inside the caller
  Reachability::setNetwork(Reachability::Network::None);  // no change: nothing
  Reachability::setNetwork(Reachability::Network::WWAN);
  Reachability::setNetwork(Reachability::Network::WiFi);
  runUntilIdle();
  EXPECT_EQ(heard, (std::vector<uint32_t>{0, R::kReachable | R::kIsWWAN, R::kReachable}));

  target->unschedule();
  Reachability::setNetwork(Reachability::Network::None);
  runUntilIdle();
  EXPECT_EQ(heard.size(), 3u);
}

TEST_F(ReachabilityTest, ChangesReachATargetScheduledOnAnotherThreadsLoop) {
  platform::Thread worker("reachability worker");
  worker.start();
  auto target = Reachability::createWithAddress("0.0.0.0");
  std::mutex mutex;
  std::vector<uint32_t> heard;
  std::atomic<bool> onWorker{true};
  // Scheduling from the main thread onto the worker's loop.
  target->setCallback([&](Reachability&, uint32_t flags) {
    if (platform::Thread::currentName() != "reachability worker") onWorker = false;
    std::lock_guard<std::mutex> lock(mutex);
    heard.push_back(flags);
  }, worker.runLoop());
  auto mainTarget = Reachability::createWithAddress("169.254.0.0");
  std::vector<uint32_t> heardOnMain;
  mainTarget->setCallback([&](Reachability&, uint32_t flags) { heardOnMain.push_back(flags); }, mainLoop());

  Reachability::setNetwork(Reachability::Network::None);
  Reachability::setNetwork(Reachability::Network::WiFi);
  auto count = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return heard.size();
  };
  ASSERT_TRUE(runUntil([&] { return count() == 2 && heardOnMain.size() == 2; }));
  target->unschedule();
  worker.stop();
  worker.join();
  EXPECT_TRUE(onWorker);
  EXPECT_EQ(heard, (std::vector<uint32_t>{0, R::kReachable}));
  EXPECT_EQ(heardOnMain, (std::vector<uint32_t>{0, R::kReachable | R::kIsDirect}));
}

TEST_F(ReachabilityTest, ACallbackMayDestroyItsTargetAndLaterChangesAreDropped) {
  auto target = Reachability::createWithName("ads.example.com");
  int calls = 0;
  target->setCallback([&](Reachability&, uint32_t) {
    ++calls;
    target.reset();  // the last owner lets go inside its own callback
  }, mainLoop());
  Reachability::setNetwork(Reachability::Network::None);
  Reachability::setNetwork(Reachability::Network::WiFi);  // queued before the first ran
  runUntilIdle();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(target, nullptr);
}

// Runs `work` on a thread of its own; false when it has not finished within `seconds` (a
// deadlocked thread is then left behind).
bool finishesWithin(double seconds, std::function<void()> work) {
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  std::thread([done, work = std::move(work)] {
    work();
    done->set_value();
  }).detach();
  return finished.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
}

// The last reference to a target may go anywhere: on another thread while the state changes,
// or with a callback that owned it. Neither may run its destructor under the registry's lock.
TEST_F(ReachabilityTest, TargetsMayBeReleasedWhileTheRegistryIsBusy) {
  auto& loop = mainLoop();
  using Action = std::function<void(std::shared_ptr<Reachability>&)>;
  const std::pair<const char*, Action> releases[] = {
      {"unscheduled", [](std::shared_ptr<Reachability>& t) { t->unschedule(); }},
      {"rescheduled", [&loop](std::shared_ptr<Reachability>& t) { t->setCallback([](Reachability&, uint32_t) {}, loop); }},
      {"destroyed", [](std::shared_ptr<Reachability>& t) { t.reset(); }},
  };
  for (const auto& [name, release] : releases) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(finishesWithin(2, [&loop, release = release] {
      auto target = Reachability::createWithAddress("0.0.0.0");
      auto owned = Reachability::createWithName("ads.example.com");
      owned->setCallback([](Reachability&, uint32_t) {}, loop);
      // The callback holds the only reference to `owned`.
      target->setCallback([owned](Reachability&, uint32_t) {}, loop);
      owned.reset();
      release(target);
    }));
  }

  EXPECT_TRUE(finishesWithin(3, [&loop] {
    std::atomic<bool> stop{false};
    std::thread changer([&] {
      for (int i = 0; !stop.load(); ++i) {
        Reachability::setNetwork(i % 2 ? Reachability::Network::WWAN : Reachability::Network::WiFi);
      }
    });
    for (int i = 0; i < 5000; ++i) {
      auto target = Reachability::createWithAddress("0.0.0.0");
      target->setCallback([](Reachability&, uint32_t) {}, loop);
    }
    stop = true;
    changer.join();
  })) << "a target dropped during a change deadlocked";
  runUntilIdle();
}

TEST_F(ReachabilityTest, RescheduledTargetHearsOnlyItsNewCallback) {
  auto target = Reachability::createWithName("ads.example.com");
  int first = 0, second = 0;
  target->setCallback([&](Reachability&, uint32_t) { ++first; }, mainLoop());
  Reachability::setNetwork(Reachability::Network::None);  // queued for the first callback
  target->setCallback([&](Reachability&, uint32_t) { ++second; }, mainLoop());
  Reachability::setNetwork(Reachability::Network::WiFi);
  runUntilIdle();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

}  // namespace
