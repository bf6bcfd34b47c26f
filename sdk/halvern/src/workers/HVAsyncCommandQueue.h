#pragma once
// A worker's command queue: first in, first out, woken through a run-loop source on the
// worker's loop. Wake-ups are throttled to one per 0.3 s; commands added in between are
// drained together by the next one. Every member may be called from any thread, except
// attachToRunLoop (on the worker's own thread).
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
  std::optional<Entry> nextCommand();
  size_t numPendingCommands() const;
  // Removes every pending command unrun and hands them back, first sent first.
  std::vector<Entry> flush();

  // On `loop`'s thread: adds the source whose handler is `drain`, and wakes it at once when
  // commands were queued before. Throws platform::Exception when already attached.
  void attachToRunLoop(platform::RunLoop& loop, std::function<void()> drain);
  // Signals the source, or, within 0.3 s of the last signal, schedules one on the calling
  // thread's loop for when the interval is over. Nothing before attachment or after
  // invalidation.
  void fire();
  // The source never runs its handler again; later fires do nothing.
  void invalidate();
  bool isAttached() const;

  // For tests letting real-time work settle before they move the clock: true when nothing is
  // queued, or when what is queued waits for a wake-up still to come on the clock (the
  // throttled one, or `otherWakeAt`, the worker's own time-out): the queue is attached and no
  // wake-up has been signalled since the last drain began.
  bool isWaitingOnlyForTimeForTesting(double otherWakeAt) const;
  // The worker's drain has begun: the wake-ups signalled so far have been answered (the
  // record isWaitingOnlyForTimeForTesting reads).
  void noteDrainBegun();

 protected:
  HVAsyncCommandQueue() = default;

 private:
  mutable std::mutex commandQueueLock_;
  std::deque<Entry> commandQueue_;
  std::shared_ptr<platform::RunLoopSource> runLoopSource_;
  platform::RunLoop* runLoop_ = nullptr;
  bool invalidated_ = false;
  bool hasFired_ = false;
  double lastFiredTime_ = 0;  // monotonic
  bool refirePending_ = false;
  double refireDue_ = 0;  // monotonic; meaningful while refirePending_
  bool signalled_ = false;  // since the last drain began
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
