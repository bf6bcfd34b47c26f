#pragma once
// A worker's command queue: first in, first out, woken through a run-loop source on the
// worker's loop. Wake-ups are throttled to one per 0.3 s; commands added in between are
// drained together by the next one, never by a drain already under way: what a wake-up runs
// is what was queued when it was signalled, so when a command runs depends on the clock
// alone and not on how far the worker had got. Every member may be called from any thread,
// except attachToRunLoop (on the worker's own thread).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "HVAsyncCommand.h"
#include "platform/run_loop.h"

namespace halvern {

class HVAsyncCommandQueue : public std::enable_shared_from_this<HVAsyncCommandQueue> {
 public:
  static constexpr double kFireInterval = 0.3;
  static constexpr const char* kAttachedTwiceException =
      "Attempt to attach HVAsyncCommandQueue to more than one run loop violates implementation assumptions of "
      "having  a one-to-one mapping of HVAsyncCommandQueue instances to run loops.";

  // A queued command and its place in the order of sending.
  struct Entry {
    std::shared_ptr<HVAsyncCommand> command;
    uint64_t ticket = 0;
  };

  virtual ~HVAsyncCommandQueue();

  void addCommandFire(Entry entry, bool fire);
  // The next command a wake-up let run; nothing once those have been taken.
  std::optional<Entry> nextCommand();
  // Lets every command queued now run (the worker's time-out and its last drain).
  void releaseAll();
  size_t numPendingCommands() const;
  // Removes every pending command unrun and hands them back, first sent first.
  std::vector<Entry> flush();

  // On `loop`'s thread: adds the source whose handler is `drain`, and wakes it at once when
  // commands were queued before. Throws platform::Exception when already attached.
  void attachToRunLoop(platform::RunLoop& loop, std::function<void()> drain);
  // Signals the source, or, within 0.3 s of the last signal, schedules one on the calling
  // thread's loop for when the interval is over. Before attachment the throttle counts the
  // same and attachment wakes the worker for what was let run; nothing after invalidation.
  void fire();
  // The source never runs its handler again; later fires do nothing.
  void invalidate();
  bool isAttached() const;

  // Signals at once, past the throttle (tests draining the worker).
  void fireNowForTesting();

 protected:
  HVAsyncCommandQueue() = default;

 private:
  mutable std::mutex commandQueueLock_;
  std::deque<Entry> commandQueue_;
  // How many commands at the front of the queue the worker may run now.
  size_t released_ = 0;
  std::shared_ptr<platform::RunLoopSource> runLoopSource_;
  platform::RunLoop* runLoop_ = nullptr;
  bool invalidated_ = false;
  bool hasFired_ = false;
  double lastFiredTime_ = 0;  // monotonic
  bool refirePending_ = false;
};

// The file worker's queue.
class HVIORequestQueue final : public HVAsyncCommandQueue {
 public:
  static std::shared_ptr<HVIORequestQueue> create() { return std::shared_ptr<HVIORequestQueue>(new HVIORequestQueue); }

 private:
  HVIORequestQueue() = default;
};

// The database worker's queue.
class HVDBQueryQueue final : public HVAsyncCommandQueue {
 public:
  static std::shared_ptr<HVDBQueryQueue> create() { return std::shared_ptr<HVDBQueryQueue>(new HVDBQueryQueue); }

 private:
  HVDBQueryQueue() = default;
};

}  // namespace halvern
