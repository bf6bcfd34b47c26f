#pragma once
// One worker thread with its own run loop, fed by one command queue. The thread wakes when
// its queue's source is signalled, and at the latest every 30 s, and then runs every queued
// command in order. Outcomes go back to the main loop through the shared sequencer, so they
// arrive in the order the commands were sent, across both workers.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "HVAsyncCommandQueue.h"
#include "HVCallbackSequencer.h"
#include "platform/passkey.h"
#include "platform/thread.h"

namespace halvern {

class HVAsyncCommandManager : public std::enable_shared_from_this<HVAsyncCommandManager> {
 public:
  static constexpr double kRunTimeout = 30.0;

  // Starts the thread. Without a sequencer the manager orders its own outcomes only.
  static std::shared_ptr<HVAsyncCommandManager> createWithCommandQueueThreadName(
      std::shared_ptr<HVAsyncCommandQueue> queue, std::string threadName,
      std::shared_ptr<HVCallbackSequencer> sequencer = nullptr);
  static std::shared_ptr<HVAsyncCommandManager> createWithCommandQueue(std::shared_ptr<HVAsyncCommandQueue> queue) {
    return createWithCommandQueueThreadName(std::move(queue), "Unnamed thread");
  }
  HVAsyncCommandManager(platform::Passkey<HVAsyncCommandManager>, std::shared_ptr<HVAsyncCommandQueue> queue,
                        std::string threadName, std::shared_ptr<HVCallbackSequencer> sequencer);
  // Shuts down when that has not been done.
  ~HVAsyncCommandManager();

  // Any thread. False, and nothing queued, once shutdown has begun.
  bool sendAsyncCommand(std::shared_ptr<HVAsyncCommand> command);
  // Stops taking commands, runs the ones still queued, then stops and joins the thread.
  // Their outcomes still reach the main loop. Not from the worker itself.
  void shutdown();
  // Drops the queued commands unrun; none of them calls back.
  void reset();

  const std::string& threadName() const { return threadName_; }
  const std::shared_ptr<HVAsyncCommandQueue>& commandQueue() const { return commandQueue_; }
  const std::shared_ptr<HVCallbackSequencer>& sequencer() const { return sequencer_; }
  bool isRunning() const { return commandExecThread_.isRunning(); }

 private:
  void start();
  // Worker thread: runs every queued command.
  void drainQueue();
  void settle(const HVAsyncCommandQueue::Entry& entry, std::optional<HVCommandResult> result);
  // Worker thread: the last work of the thread before its loop ends.
  void finishOnWorker();

  std::string threadName_;
  std::shared_ptr<HVAsyncCommandQueue> commandQueue_;
  std::shared_ptr<HVCallbackSequencer> sequencer_;
  platform::Thread commandExecThread_;
  std::shared_ptr<platform::Timer> runTimeout_;  // worker thread only
  std::mutex intakeMutex_;
  bool accepting_ = true;
  std::atomic<bool> shutDown_{false};
  std::atomic<std::thread::id> workerThreadId_{};
};

}  // namespace halvern
