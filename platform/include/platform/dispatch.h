#pragma once
// Queues of work: the main queue (the main run loop) and one global concurrent queue of a
// few worker threads. Thread-safe throughout.
#include <cstddef>
#include <functional>
#include <memory>

namespace platform {

class DispatchQueue {
 public:
  using Task = std::function<void()>;
  virtual ~DispatchQueue() = default;

  // Work on the main run loop, on later turns, in order.
  static DispatchQueue& main();
  // Concurrent background work on a small pool of threads.
  static DispatchQueue& global();

  virtual void async(Task task) = 0;
  // Runs `task` and returns when it has run. On the main queue from the main thread, and on
  // the global queue from one of its own workers, runs it directly rather than deadlocking.
  virtual void sync(Task task) = 0;
  // Runs `task` on this queue after `seconds` of Clock time (the main loop keeps the delay).
  virtual void after(double seconds, Task task) = 0;

  // Tests: blocks until the global queue has nothing queued or running, at most
  // `timeoutSeconds` of real time (infinity: no bound). True when it became idle.
  static bool waitForGlobalIdle(double timeoutSeconds = 5.0);
  // Tests: tasks of the global queue queued, or running and not inside a WaitingScope.
  static size_t globalBusyCountForTesting();

  // Marks the calling thread, while it lives, as waiting on something outside it (its run
  // loop's descriptors and timers, a blocking load): a global worker so marked does no work
  // of its own meanwhile, which a test waiting for the process to settle needs to know.
  class WaitingScope {
   public:
    WaitingScope();
    ~WaitingScope();
    WaitingScope(const WaitingScope&) = delete;
    WaitingScope& operator=(const WaitingScope&) = delete;

   private:
    bool counted_;
  };
};

// Tracks a set of tasks; notify() runs a block when all have left. Thread-safe.
class DispatchGroup {
 public:
  DispatchGroup();
  void enter();
  void leave();
  // Runs `task` asynchronously on `queue` as a member of the group.
  void async(DispatchQueue& queue, DispatchQueue::Task task);
  // Blocks until the group is empty or `timeoutSeconds` of real time passed. True if empty.
  // Infinity waits for ever; zero, a negative time or not a number only look.
  bool wait(double timeoutSeconds);
  // Queues `task` on `queue` once the group is empty (at once if it is empty now).
  void notify(DispatchQueue& queue, DispatchQueue::Task task);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
