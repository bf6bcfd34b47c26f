// The test kit's one way to wait while loopback traffic crosses real time: virtual time moves
// on only once the answers on their way have been taken in, and a held answer waits for the
// test. Each case here fails when the kit's advance does not wait for the traffic.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/dispatch.h"
#include "platform/error.h"
#include "platform/run_loop.h"
#include "platform/tcp_stream.h"
#include "platform/thread.h"
#include "platform/url_connection.h"
#include "testing/loopback_server.h"
#include "testing/loopback_traffic.h"
#include "testing/raw_tcp_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::URLConnection;
using platform::URLRequest;

struct Outcome : platform::URLConnectionDelegate {
  std::string body;
  bool finished = false;
  std::optional<int> failure;
  double endedAt = -1;
  void connectionDidReceiveData(URLConnection&, const platform::Bytes& data) override {
    body.append(data.begin(), data.end());
  }
  void connectionDidFinishLoading(URLConnection&) override {
    finished = true;
    endedAt = platform::Clock::current().monotonic();
  }
  void connectionDidFailWithError(URLConnection&, const platform::Error& error) override {
    failure = error.code;
    endedAt = platform::Clock::current().monotonic();
  }
};

class LoopbackTrafficTest : public testkit::SandboxTest {
 protected:
  // Starts a load of `path` that times out after `timeout` seconds of virtual time.
  std::shared_ptr<Outcome> load(const std::string& path, double timeout) {
    URLRequest request(server.url(path));
    request.setTimeoutInterval(timeout);
    auto outcome = std::make_shared<Outcome>();
    connections.push_back(URLConnection::connectionWithRequestDelegate(request, outcome));
    return outcome;
  }
  testkit::LoopbackServer server;
  std::vector<std::shared_ptr<URLConnection>> connections;
};

// Answers that take real time to arrive, started and then overtaken at once by virtual time
// far past their time-out: each must arrive, whole, before the time-out can fire.
TEST_F(LoopbackTrafficTest, VirtualTimeWaitsForAnswersOnTheirWay) {
  testkit::ScriptedAnswer delayed = testkit::ScriptedAnswer::text("late but due");
  delayed.delay = std::chrono::milliseconds(150);
  testkit::ScriptedAnswer large = testkit::ScriptedAnswer::text(std::string(3 << 20, 'z'));
  large.chunked = true;
  large.chunkSize = 4096;
  struct Case {
    const char* path;
    testkit::ScriptedAnswer answer;
  };
  const Case cases[] = {{"/delayed", delayed}, {"/large", large}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    server.setAnswer(c.path, c.answer);
    const double started = clock().monotonic();
    auto outcome = load(c.path, 1.0);
    advance(30);
    EXPECT_TRUE(outcome->finished);
    EXPECT_FALSE(outcome->failure.has_value());
    EXPECT_EQ(outcome->body, c.answer.body);
    // Taken in at the instant it was started, before any of the time-out ran.
    EXPECT_EQ(outcome->endedAt, started);
  }
  // A redirect chain is traffic too: each hop is awaited.
  server.setRedirectChain({"/a", "/b", "/c"}, 302, delayed);
  auto outcome = load("/a", 1.0);
  advance(30);
  EXPECT_TRUE(outcome->finished);
  EXPECT_EQ(outcome->body, "late but due");
}

// A held answer is the test's to release: time moves over it, its time-out may fire, and
// once released it arrives at the instant the test chose.
TEST_F(LoopbackTrafficTest, AHeldAnswerWaitsForTheTestAndLetsTimeMove) {
  auto answer = testkit::ScriptedAnswer::text("released");
  answer.hold = std::make_shared<testkit::AnswerHold>();
  server.setAnswer("/held", answer);

  auto released = load("/held", 2.0);
  ASSERT_TRUE(runUntil([&] { return answer.hold->waiting() == 1; }));
  EXPECT_TRUE(settleTraffic());
  advance(1.5);
  EXPECT_FALSE(released->finished);
  EXPECT_FALSE(released->failure.has_value());
  EXPECT_EQ(server.requestsTo("/held").size(), 1u);
  const double releasedAt = clock().monotonic();
  answer.hold->release();
  advance(0);
  EXPECT_TRUE(released->finished);
  EXPECT_EQ(released->body, "released");
  EXPECT_EQ(released->endedAt, releasedAt);
  EXPECT_EQ(answer.hold->waiting(), 0u);

  // Never released: the load's own time-out ends it, with the answer still held.
  auto never = testkit::ScriptedAnswer::text("never");
  never.hold = std::make_shared<testkit::AnswerHold>();
  server.setAnswer("/never", never);
  auto timedOut = load("/never", 2.0);
  ASSERT_TRUE(runUntil([&] { return never.hold->waiting() == 1; }));
  advance(3);
  EXPECT_EQ(timedOut->failure, platform::URLErrorTimedOut);
  EXPECT_EQ(never.hold->waiting(), 1u);
}

TEST_F(LoopbackTrafficTest, AdvanceUntilStopsAtTheInstantTheConditionHolds) {
  server.setAnswer("/x", testkit::ScriptedAnswer::text("x"));
  std::shared_ptr<Outcome> outcome;
  mainLoop().postAfter(0.7, [&] { outcome = load("/x", 1.0); });
  const double started = clock().monotonic();
  EXPECT_TRUE(advanceUntil([&] { return outcome && outcome->finished; }, 5));
  EXPECT_NEAR(clock().monotonic() - started, 0.7, 1e-9);
  EXPECT_FALSE(advanceUntil([] { return false; }, 2));
  EXPECT_NEAR(clock().monotonic() - started, 2.7, 1e-9);
}

// A worker that runs its own loop (a blocking load, say) is woken when the test moves the
// clock past its deadline: time moves on only once the worker has run what fell due, here
// failing its load against a server that never answers.
TEST_F(LoopbackTrafficTest, AWorkersLoopRunsWhatTheClockMadeDueBeforeTimeMovesOn) {
  auto never = testkit::ScriptedAnswer::text("");
  never.stall = true;
  server.setAnswer("/never", never);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    auto failure = std::make_shared<std::atomic<int>>(0);
    platform::DispatchQueue::global().async([url = server.url("/never"), failure] {
      auto outcome = std::make_shared<Outcome>();
      URLRequest request(url);
      request.setDeadlineInterval(2.0);
      auto connection = URLConnection::connectionWithRequestDelegate(request, outcome);
      auto& loop = platform::RunLoop::current();
      while (!outcome->failure && !outcome->finished) loop.runOnce(1.0);
      failure->store(outcome->failure.value_or(-1));
    });
    ASSERT_TRUE(settleTraffic());
    advance(1.5);
    EXPECT_EQ(failure->load(), 0);
    advance(1.0);
    EXPECT_EQ(failure->load(), platform::URLErrorTimedOut);
  }
}

// An answer stalled for a client that gave up holds nothing: a later load, read by a worker
// after the server has sent all of it, is still awaited.
TEST_F(LoopbackTrafficTest, AStallWhoseClientLeftDoesNotStandForAnotherLoad) {
  auto never = testkit::ScriptedAnswer::text("");
  never.stall = true;
  server.setAnswer("/never", never);
  auto abandoned = load("/never", 1.0);
  advance(2);
  ASSERT_EQ(abandoned->failure, platform::URLErrorTimedOut);
  server.setAnswer("/x", testkit::ScriptedAnswer::text(std::string(64 << 10, 'x')));
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    // The size is told from the connection's own end, which comes before the connection
    // counts as ended.
    struct Sized : platform::URLConnectionDelegate {
      std::shared_ptr<std::atomic<long>> size;
      std::string body;
      bool ended = false;
      void connectionDidReceiveData(URLConnection&, const platform::Bytes& data) override {
        body.append(data.begin(), data.end());
      }
      void connectionDidFinishLoading(URLConnection&) override {
        ended = true;
        size->store(static_cast<long>(body.size()));
      }
      void connectionDidFailWithError(URLConnection&, const platform::Error&) override {
        ended = true;
        size->store(-2);
      }
    };
    auto size = std::make_shared<std::atomic<long>>(-1);
    platform::DispatchQueue::global().async([url = server.url("/x"), size] {
      auto outcome = std::make_shared<Sized>();
      outcome->size = size;
      auto connection = URLConnection::connectionWithRequestDelegate(URLRequest(url), outcome);
      auto& loop = platform::RunLoop::current();
      while (!outcome->ended) loop.runOnce(1.0);
    });
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(size->load(), 64 << 10);
  }
}

// Held answers are looked at (each settle does) while their handlers look whether the server
// is stopping: neither look may wait for the other.
TEST_F(LoopbackTrafficTest, HeldAnswersMayBeLookedAtWhileTheyWait) {
  auto answer = testkit::ScriptedAnswer::text("held");
  answer.hold = std::make_shared<testkit::AnswerHold>();
  server.setAnswer("/held", answer);
  constexpr size_t kHeld = 4;
  std::vector<std::shared_ptr<Outcome>> outcomes;
  for (size_t i = 0; i < kHeld; ++i) outcomes.push_back(load("/held", 60));
  ASSERT_TRUE(runUntil([&] { return answer.hold->waiting() == kHeld; }));
  // The looks run on a thread of their own, so that a deadlock fails the test, bounded.
  auto looks = std::async(std::launch::async, [] {
    size_t held = 0;
    const double end = platform::realMonotonicSeconds() + 0.3;
    while (platform::realMonotonicSeconds() < end) held = testkit::loopbackTraffic().held;
    return held;
  });
  if (looks.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // The server's lock is lost to the deadlocked threads: nothing can stop it any more.
    std::fprintf(stderr, "looking at held answers deadlocked with their handlers\n");
    std::_Exit(1);
  }
  EXPECT_EQ(looks.get(), kHeld);
  answer.hold->release();
  advance(0);
  for (const auto& outcome : outcomes) EXPECT_EQ(outcome->body, "held");
}

// What is still under way is named when the wait gives up.
TEST_F(LoopbackTrafficTest, AWaitThatGivesUpSaysWhatWasUnderWay) {
  auto slow = testkit::ScriptedAnswer::text("slow");
  slow.delay = std::chrono::milliseconds(300);
  server.setAnswer("/slow", slow);
  auto outcome = load("/slow", 5.0);
  ASSERT_TRUE(runUntil([&] { return server.requestCount() == 1; }));
  std::string underWay = testkit::settleLoopbackTraffic(mainLoop(), 0.02);
  EXPECT_NE(underWay.find("reading or answering"), std::string::npos) << underWay;
  EXPECT_NE(underWay.find("1 URL connection"), std::string::npos) << underWay;
  EXPECT_EQ(testkit::settleLoopbackTraffic(mainLoop(), 5), "");
  EXPECT_TRUE(outcome->finished);

  // Work of a worker's own, and a condition of the test's own, keep it unsettled too.
  std::promise<void> go;
  platform::DispatchQueue::global().async([ready = go.get_future().share()] { ready.wait(); });
  bool workDone = false;
  underWay = testkit::settleLoopbackTraffic(mainLoop(), 0.02, {{"the test's own work", [&] { return workDone; }}});
  EXPECT_NE(underWay.find("the test's own work"), std::string::npos) << underWay;
  EXPECT_NE(underWay.find("background queue"), std::string::npos) << underWay;
  go.set_value();
  workDone = true;
  EXPECT_EQ(testkit::settleLoopbackTraffic(mainLoop(), 5, {{"the test's own work", [&] { return workDone; }}}), "");
}

// A trickle counts as held, so time moves over it; the bytes it has sent are counted, so a
// test can wait for more of them between steps of time and know each reached the client.
TEST_F(LoopbackTrafficTest, ATrickleCountsTheBytesItSentAndEachIsTakenInBeforeTimeMoves) {
  auto trickle = testkit::ScriptedAnswer::text(std::string(100000, 't'));
  trickle.trickle = std::chrono::milliseconds(2);
  server.setAnswer("/trickle", trickle);
  auto outcome = load("/trickle", 60.0);
  EXPECT_TRUE(settleTraffic());
  for (int step = 0; step < 3; ++step) {
    const size_t sent = server.trickledBytes();
    ASSERT_TRUE(runUntil([&] { return server.trickledBytes() > sent; }));
    const size_t due = server.trickledBytes();
    advance(10);
    EXPECT_GE(outcome->body.size(), due);
    EXPECT_LT(outcome->body.size(), trickle.body.size());
    EXPECT_FALSE(outcome->finished);
    EXPECT_FALSE(outcome->failure.has_value());
  }
  EXPECT_EQ(outcome->body, std::string(outcome->body.size(), 't'));
}

// A client's own threads (platform::Thread, each on its own run loop) are no traffic the
// kit sees; a host names them as a condition. Work posted to such a thread keeps the wait
// open until the thread is back in its loop with nothing to do, and what the work handed to
// the main loop is taken in by then.
TEST_F(LoopbackTrafficTest, AThreadOfTheClientsOwnAtWorkKeepsTheWaitOpen) {
  const testkit::SettledCondition threadsAtRest{"a client thread at work",
                                                [] { return platform::Thread::busyCountForTesting() == 0; }};
  const size_t before = platform::Thread::busyCountForTesting();
  {
    platform::Thread worker("settle-worker");
    worker.start();
    // Started and waiting in its loop: at rest.
    EXPECT_EQ(testkit::settleLoopbackTraffic(mainLoop(), 5, {threadsAtRest}), "");

    std::promise<void> go;
    bool handedBack = false;
    worker.post([ready = go.get_future().share(), &handedBack] {
      ready.wait();
      platform::RunLoop::main().post([&handedBack] { handedBack = true; });
    });
    std::string underWay = testkit::settleLoopbackTraffic(mainLoop(), 0.02, {threadsAtRest});
    EXPECT_NE(underWay.find("a client thread at work"), std::string::npos) << underWay;
    EXPECT_EQ(platform::Thread::busyCountForTesting(), before + 1);
    go.set_value();
    EXPECT_EQ(testkit::settleLoopbackTraffic(mainLoop(), 5, {threadsAtRest}), "");
    EXPECT_TRUE(handedBack);
  }
  // Ended and joined: no longer counted.
  EXPECT_EQ(platform::Thread::busyCountForTesting(), before);
}

// An answer taken in may send the next request in the same turn, and a quick server may have
// answered it by the wait's next look: that look is no second quiet one while the answer waits
// unread. Holds make the server quick just there: each request is held before its turn ends
// and let go (its answer reaching the client) right after the next look.
TEST_F(LoopbackTrafficTest, ARequestSentWhileTakingInAnAnswerIsFollowedToItsAnswer) {
  const auto waitFor = [](const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  testkit::RawTCPServer raw;
  const std::shared_ptr<testkit::AnswerHold> holds[] = {std::make_shared<testkit::AnswerHold>(),
                                                        std::make_shared<testkit::AnswerHold>()};
  raw.setResponder([&](const testkit::RawRequest& request) {
    testkit::RawAnswer answer;
    answer.body = request.target;
    answer.hold = holds[request.indexOnConnection];
    return answer;
  });
  struct Client : platform::TCPStreamDelegate {
    std::function<void(platform::TCPStream&)> send;
    std::string read;
    size_t sent = 0;
    void streamHandleEvent(platform::TCPStream& stream, unsigned event) override {
      if (event == platform::TCPStream::HasSpaceAvailable && sent == 0) send(stream);
      if (event != platform::TCPStream::HasBytesAvailable) return;
      const platform::Bytes bytes = stream.read(4096);
      read.append(bytes.begin(), bytes.end());
      if (sent == 1 && read.ends_with("/0")) send(stream);
    }
  };
  auto client = std::make_shared<Client>();
  client->send = [&](platform::TCPStream& stream) {
    stream.write("GET /" + std::to_string(client->sent) + " HTTP/1.1\r\n\r\n");
    waitFor([hold = holds[client->sent++]] { return hold->waiting() > 0; });
  };
  auto stream = platform::TCPStream::create("127.0.0.1", raw.port());
  stream->setDelegate(client);
  stream->open();
  const testkit::SettledCondition letGoAfterTheLook{"", [&] {
    for (const auto& hold : holds) {
      if (hold->waiting() == 0 || hold->isReleased()) continue;
      hold->release();
      waitFor([&] { return stream->hasBytesAvailable(); });
    }
    return true;
  }};
  EXPECT_EQ(testkit::settleLoopbackTraffic(mainLoop(), 5, {letGoAfterTheLook}), "");
  EXPECT_TRUE(client->read.ends_with("/1")) << client->read;
  stream->close();
}

}  // namespace
