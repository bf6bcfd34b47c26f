#include "HVAsyncCommandManager.h"

#include <atomic>
#include <future>

#include "HVTestSupport.h"
#include "platform/error.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "platform/thread.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::FileManager;
using platform::Value;
using testsupport::Recorder;

// Counts the worker's wake-ups through the one thing a wake-up does: draining the queue.
class CountingCommand final : public HVAsyncCommand {
 public:
  CountingCommand(std::shared_ptr<HVCallbackContext> context, std::atomic<int>* executed)
      : HVAsyncCommand(kCallback, std::move(context)), executed_(executed) {}
  std::optional<HVCommandResult> execute() override {
    ++*executed_;
    return HVCommandResult{true, Value(platform::Thread::currentName()), {}};
  }

 private:
  std::atomic<int>* executed_;
};

// Runs once the test lets it go, so that a drain is under way for as long as the test wants.
class HeldCommand final : public HVAsyncCommand {
 public:
  HeldCommand(std::shared_ptr<HVCallbackContext> context, std::shared_future<void> go, std::atomic<bool>* started)
      : HVAsyncCommand(kCallback, std::move(context)), go_(std::move(go)), started_(started) {}
  std::optional<HVCommandResult> execute() override {
    started_->store(true);
    go_.wait();
    return HVCommandResult{true, Value("held"), {}};
  }

 private:
  std::shared_future<void> go_;
  std::atomic<bool>* started_;
};

class HVAsyncCommandManagerTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    manager = HVAsyncCommandManager::createWithCommandQueueThreadName(HVIORequestQueue::create(), "test worker");
    // Once one command has come back, the worker is attached and the throttle has fired.
    manager->sendAsyncCommand(std::make_shared<CountingCommand>(recorder.context("first"), &executed));
    EXPECT_TRUE(manager->drainForTesting());
    recorder.deliveries.clear();
    advance(1.0);
  }
  void TearDown() override {
    manager->shutdown();
    SandboxTest::TearDown();
  }
  // A worker whose queue's source can never wake it: only the time-out and shutdown drain it,
  // so what the test queues stays queued until then.
  std::shared_ptr<HVAsyncCommandManager> quietManager() {
    auto queue = HVIORequestQueue::create();
    queue->invalidate();
    return HVAsyncCommandManager::createWithCommandQueueThreadName(queue, "quiet worker");
  }
  void queueQuietly(HVAsyncCommandManager& m, const std::string& label) {
    m.commandQueue()->addCommandFire({command(label), m.sequencer()->takeTicket()}, true);
  }
  std::shared_ptr<HVAsyncCommand> command(const std::string& label) {
    return std::make_shared<CountingCommand>(recorder.context(label), &executed);
  }

  Recorder recorder;
  std::atomic<int> executed{0};
  std::shared_ptr<HVAsyncCommandManager> manager;
};

TEST_F(HVAsyncCommandManagerTest, ThrottledWakeUpsRunEveryCommandInOrderOnTheWorker) {
  std::vector<std::string> sent;
  for (int i = 0; i < 10; ++i) {
    sent.push_back("c" + std::to_string(i));
    ASSERT_TRUE(manager->sendAsyncCommand(command(sent.back())));
    advance(0.01);
  }
  // The first send woke the worker at once, with no time passing.
  ASSERT_TRUE(runUntil([&] { return !recorder.deliveries.empty(); }));
  // The rest need at most the one deferred wake-up at the end of the 0.3 s interval.
  advance(HVAsyncCommandQueue::kFireInterval);
  ASSERT_TRUE(runUntil([&] { return recorder.deliveries.size() == 10; }));
  EXPECT_EQ(recorder.labels(), sent);
  for (const auto& d : recorder.deliveries) {
    EXPECT_TRUE(d.onMainThread);
    EXPECT_EQ(d.result.value->string(), "test worker");
  }
}

TEST_F(HVAsyncCommandManagerTest, AQueuedCommandNobodySignalledRunsAtTheThirtySecondTimeOut) {
  auto quiet = quietManager();
  queueQuietly(*quiet, "quiet");
  // The time-out counts from the worker's start.
  ASSERT_TRUE(runUntil([&] { return quiet->commandQueue()->isAttached(); }));
  // No time passing: it waits.
  EXPECT_FALSE(runUntil([&] { return !recorder.deliveries.empty(); }, 0.1));
  advance(HVAsyncCommandManager::kRunTimeout);
  EXPECT_TRUE(runUntil([&] { return recorder.deliveries.size() == 1; }));
  quiet->shutdown();
}

TEST_F(HVAsyncCommandManagerTest, ResetDropsPendingCommandsAndShutdownRunsThem) {
  auto quiet = quietManager();
  queueQuietly(*quiet, "dropped");
  quiet->reset();
  queueQuietly(*quiet, "kept1");
  queueQuietly(*quiet, "kept2");
  quiet->shutdown();
  EXPECT_FALSE(quiet->isRunning());
  EXPECT_FALSE(quiet->sendAsyncCommand(command("late")));
  ASSERT_TRUE(runUntil([&] { return quiet->sequencer()->isIdle(); }));
  EXPECT_EQ(recorder.labels(), (std::vector<std::string>{"kept1", "kept2"}));
  EXPECT_EQ(executed.load(), 3);  // the set-up's command and the two kept
}

TEST_F(HVAsyncCommandManagerTest, CallbackCommandsCallOnTheMainThreadInTurn) {
  auto target = std::make_shared<int>(0);
  auto call = [this](const Value& arg) {
    recorder.deliveries.push_back({arg.string(), {}, platform::Thread::isMainThread()});
  };
  manager->sendAsyncCommand(command("before"));
  manager->sendAsyncCommand(std::make_shared<HVCallbackCommand>(target, call, Value("arg")));
  manager->sendAsyncCommand(std::make_shared<HVCallbackCommand>(target, nullptr, Value("unanswered")));
  manager->sendAsyncCommand(command("after"));
  ASSERT_TRUE(manager->drainForTesting());
  EXPECT_EQ(recorder.labels(), (std::vector<std::string>{"before", "arg", "after"}));
  EXPECT_TRUE(recorder.deliveries[1].onMainThread);
}

TEST_F(HVAsyncCommandManagerTest, AQueueAttachesToOneRunLoopOnly) {
  auto queue = HVDBQueryQueue::create();
  queue->attachToRunLoop(mainLoop(), [] {});
  try {
    queue->attachToRunLoop(mainLoop(), [] {});
    FAIL() << "attached twice";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name, HVAsyncCommandQueue::kAttachedTwiceException);
  }
}

TEST_F(HVAsyncCommandManagerTest, FileCommandsReportTheirRealOutcome) {
  const std::string docs = platform::Sandbox::documents();
  const std::string path = docs + "/a.txt";
  auto bytes = [](std::string s) { return platform::Bytes(s.begin(), s.end()); };
  manager->sendAsyncCommand(HVIOReadRequest::requestWithPathToReadCallbackContext(path, recorder.context("missing")));
  manager->sendAsyncCommand(
      HVIOWriteRequest::requestWithPathDataAppendCallbackContext(path, bytes("one"), false, recorder.context("w1")));
  manager->sendAsyncCommand(
      HVIOWriteRequest::requestWithPathDataAppendCallbackContext(path, bytes("two"), true, recorder.context("w2")));
  manager->sendAsyncCommand(HVIOReadRequest::requestWithPathToReadCallbackContext(path, recorder.context("read")));
  // A folder in the way: the write fails and says so.
  FileManager::createDirectoryAtPath(docs + "/dir", true);
  manager->sendAsyncCommand(
      HVIOWriteRequest::requestWithPathDataAppendCallbackContext(docs + "/dir", bytes("x"), false, recorder.context("w3")));
  manager->sendAsyncCommand(HVJSONCommand::jsonCommandWithTypeInputCallbackContext(2, Value("[1]"), recorder.context("j2")));
  manager->sendAsyncCommand(HVJSONCommand::jsonCommandWithTypeInputCallbackContext(0, Value("[1,"), recorder.context("bad")));
  manager->sendAsyncCommand(HVJSONCommand::jsonCommandWithTypeInputCallbackContext(
      1, Value(platform::Array{Value(1)}), recorder.context("enc", false)));
  // A broken package is reported and kept.
  FileManager::writeAtomically(docs + "/temp.zip", std::string_view("PK but no archive"));
  manager->sendAsyncCommand(HVIOUnzipRequest::requestWithSourceZipFilePathDestinationFolderPathCallbackContext(
      docs + "/temp.zip", docs + "/unzipped", recorder.context("unzip")));
  ASSERT_TRUE(manager->drainForTesting());

  ASSERT_EQ(recorder.labels(), (std::vector<std::string>{"w1", "w2", "read", "w3", "bad", "enc", "unzip"}));
  auto& d = recorder.deliveries;
  EXPECT_TRUE(d[0].result.succeeded && d[1].result.succeeded);
  EXPECT_EQ(d[2].result.value, Value(bytes("onetwo")));
  EXPECT_FALSE(d[3].result.succeeded);
  EXPECT_TRUE(FileManager::isDirectory(docs + "/dir"));
  EXPECT_FALSE(d[4].result.succeeded);
  EXPECT_TRUE(d[5].result.succeeded);
  EXPECT_FALSE(d[5].result.value.has_value());  // results withheld without passResults
  EXPECT_FALSE(d[6].result.succeeded);
  EXPECT_TRUE(FileManager::fileExistsAtPath(docs + "/temp.zip"));
}

// What a wake-up runs is what was queued when it was signalled: a command sent while the
// worker is still draining waits for the deferred wake-up, so when it runs depends on the
// clock alone and not on how far the worker had got.
TEST_F(HVAsyncCommandManagerTest, ACommandSentDuringADrainWaitsForTheNextWakeUp) {
  addSettledCondition("the worker at work", [] { return platform::Thread::busyCountForTesting() == 0; });
  std::promise<void> go;
  std::atomic<bool> started{false};
  manager->sendAsyncCommand(std::make_shared<HeldCommand>(recorder.context("held"), go.get_future().share(), &started));
  ASSERT_TRUE(runUntil([&] { return started.load(); }));
  manager->sendAsyncCommand(command("sent during the drain"));
  go.set_value();
  ASSERT_TRUE(settleTraffic());
  EXPECT_EQ(recorder.labels(), (std::vector<std::string>{"held"}));
  EXPECT_EQ(executed.load(), 1);  // the set-up's only
  advance(HVAsyncCommandQueue::kFireInterval);
  EXPECT_EQ(recorder.labels(), (std::vector<std::string>{"held", "sent during the drain"}));
}

// Before its worker attaches, a queue keeps the same throttle: attachment runs what the first
// fire let run, and a command sent within the interval waits for the deferred wake-up, as it
// would have had the worker been there first.
TEST_F(HVAsyncCommandManagerTest, AQueueAttachedLateKeepsTheThrottle) {
  auto queue = HVIORequestQueue::create();
  auto sequencer = std::make_shared<HVCallbackSequencer>();
  queue->addCommandFire({command("first"), sequencer->takeTicket()}, true);
  queue->addCommandFire({command("second"), sequencer->takeTicket()}, true);
  size_t taken = 0;
  queue->attachToRunLoop(mainLoop(), [&] {
    while (queue->nextCommand()) ++taken;
  });
  settleTraffic();
  EXPECT_EQ(taken, 1u);
  advance(HVAsyncCommandQueue::kFireInterval);
  EXPECT_EQ(taken, 2u);
  queue->invalidate();
}

}  // namespace
}  // namespace halvern
