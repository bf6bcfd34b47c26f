#pragma once
// One run loop per thread. Everything a client does "on the main thread" happens in a turn of
// RunLoop::main(). A turn: posted tasks, due timers and delayed performs, signalled sources,
// ready descriptors, then the end-of-turn observers (deferred layout and display) and the
// release of what was kept alive for the turn.
//
// Thread safety: post(), postAfter(), cancel handles, Source::signal() and wakeUp() may be
// called from any thread. Everything else must be called on the loop's own thread.
// Time comes from Clock::current(). With a ManualClock, waiting never makes timers due:
// only advance() (or the clock being advanced) does; descriptors are still polled for real.
//
// A thread's loop goes when its thread ends (the main loop never goes). What it still held
// is let go first, with the loop whole: posts and watches are dropped, pending performs are
// cancelled (their handles are no longer pending), timers are invalidated (isValid() answers
// false; setFireDate and fire do nothing), sources are invalidated. A capture released then
// may still call into the loop: cancelling and unwatching work, while posts, performs,
// timers, watches, sources, observers and keep-alives it adds are dropped at once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/passkey.h"

namespace platform {

class RunLoop;
// The part of a loop that outlives it, for what refers back to it (defined in run_loop.cpp).
struct RunLoopLink;

// A cancellable delayed perform. Copies share the same perform. Cancelling is idempotent
// and thread-safe; a cancelled perform never runs, and its task (with what it captured) is
// destroyed by cancel() on the calling thread, not kept until its due time.
class PerformHandle {
 public:
  PerformHandle() = default;
  void cancel();
  bool isPending() const;  // scheduled, not yet run, not cancelled

  struct State;

 private:
  friend class RunLoop;
  explicit PerformHandle(std::shared_ptr<State> s) : state_(std::move(s)) {}
  std::shared_ptr<State> state_;
};

// A timer on the loop of the thread that scheduled it. The loop holds the timer while it is
// valid; the callback should capture its target weakly. invalidate() is idempotent and safe
// inside the timer's own callback.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Callback = std::function<void(Timer&)>;
  // First fire one interval after scheduling (an interval <= 0 is taken as 0.0001 s); a
  // repeating timer then fires every interval after its previous due time.
  static std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats, Callback callback);
  static std::shared_ptr<Timer> scheduledTimerOn(RunLoop& loop, double interval, bool repeats,
                                                 Callback callback);
  ~Timer();

  void invalidate();
  bool isValid() const { return valid_.load(); }
  double interval() const { return interval_; }
  bool repeats() const { return repeats_; }
  // Monotonic time of the next fire.
  double fireDate() const { return fireDate_; }
  // Moves the next fire to a monotonic time; not a number is ignored.
  void setFireDate(double monotonicTime);
  // Fires now, outside the schedule; a one-shot timer is then invalidated.
  void fire();

  // Only the scheduling calls make a timer: one made any other way would never be scheduled.
  Timer(Passkey<Timer>, RunLoop& loop, double interval, bool repeats, Callback cb);

 private:
  friend class RunLoop;
  // Leaves a dead entry in the loop's schedule (invalidated, moved, or fired by hand), for
  // the loop to sweep with its cancelled performs rather than keep until the old due time.
  void leftDeadEntry();
  // Marks the timer invalid and lets go of its callback (what it captured goes now).
  void letGo();
  // Outlives the loop: a timer kept after its loop's thread ended must not reach the loop.
  std::shared_ptr<RunLoopLink> loop_;
  double interval_;
  bool repeats_;
  double fireDate_ = 0;
  // Changed on the loop's thread; read by a sweep on whichever thread schedules work.
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> valid_{true};
  Callback callback_;
};

// A source another thread signals; its handler runs on the loop's thread. A signal stays set
// until the handler runs, so no wake-up is lost; several signals before it runs give one call.
// Once the loop's thread has ended, signalling does nothing.
class RunLoopSource {
 public:
  void signal();  // any thread
  // Detaches the source: the handler is never called again.
  void invalidate();
  bool isValid() const { return valid_.load(); }

 private:
  friend class RunLoop;
  RunLoop* loop_ = nullptr;
  std::function<void()> handler_;
  std::atomic<bool> signalled_{false};
  std::atomic<bool> valid_{true};
};

class RunLoop {
 public:
  enum class RunResult { Finished, Stopped, TimedOut, HandledSource };
  enum FdEvents : unsigned { kReadable = 1, kWritable = 2, kError = 4 };
  using Task = std::function<void()>;
  using FdCallback = std::function<void(int fd, unsigned events)>;

  // The main thread's loop (the thread that started the process).
  static RunLoop& main();
  // The calling thread's loop, created on first use.
  static RunLoop& current();
  bool isCurrent() const;
  bool isMain() const { return this == &main(); }

  // A turn runs at most this many posted tasks and this many delayed performs; the rest wait
  // for the next turns, and the timers due meanwhile fire in between, so a flood from other
  // threads cannot starve them.
  static constexpr size_t kTasksPerTurn = 1000;

  // Runs `task` on a later turn of this loop. FIFO per posting thread. Any thread.
  void post(Task task);
  // Runs `task` after `seconds` (0 still means a later turn, never inside the caller).
  // `owner` tags the perform so cancelPerforms(owner) can cancel it. Any thread.
  PerformHandle postAfter(double seconds, Task task, const void* owner = nullptr);
  // Cancels every pending delayed perform tagged with `owner`. Any thread.
  void cancelPerforms(const void* owner);

  // Watches a descriptor; the callback runs on this loop when it becomes ready for any of
  // `events` (kReadable, kWritable). Returns an id for update/unwatch.
  int watchFd(int fd, unsigned events, FdCallback callback);
  void updateFdWatch(int id, unsigned events);
  void unwatchFd(int id);  // safe inside the callback

  std::shared_ptr<RunLoopSource> addSource(std::function<void()> handler);

  // Called at the end of every turn that handled something, in registration order
  // (deferred layout and display passes hang here). One removed by an earlier observer of
  // the same pass is not called.
  int addEndOfTurnObserver(Task observer);
  void removeEndOfTurnObserver(int id);
  // Keeps `object` alive until the end of the current (outermost) turn.
  void keepAliveUntilEndOfTurn(std::shared_ptr<void> object);

  // One turn, waiting at most `timeoutSeconds` (real time for descriptors; timers per clock).
  RunResult runOnce(double timeoutSeconds);
  // Runs turns until stop().
  void run();
  void stop();
  void wakeUp();  // any thread

  // ---- for tests (and hosts that drive the loop by hand) ----
  // Real-time bounded: true when the predicate held before `timeoutSeconds` elapsed.
  bool runUntil(const std::function<bool()>& predicate, double timeoutSeconds = 5.0);
  // Runs turns until one handles nothing that was ready, without waiting; true when any turn
  // handled something.
  bool runUntilIdle();
  // Moves time forward by `seconds`, firing due timers and performs in time order, and
  // polling descriptors between them. With a SystemClock it simply runs for that long.
  // With a ManualClock, `betweenSteps` (when set) runs once before time moves, again after
  // each batch of entries due at one instant has fired, and at the end, each time with the
  // loop idle: a test lets work that runs in real time (loopback traffic, worker threads)
  // catch up there, before virtual time moves past it. Timers it schedules are honoured.
  // When it answers false, time stops at that instant. advance answers false when stopped so.
  bool advance(double seconds, const std::function<bool()>& betweenSteps = {});

  // True while the loop's thread waits in it with nothing posted, signalled or due: a worker
  // with no work of its own, whose next work can only come from outside. Any thread.
  bool isWaitingIdleForTesting() const;
  // True when posts, performs or timers are pending on this loop.
  bool hasPendingWorkForTesting() const;
  // Loops whose thread waits in them right now (a worker's, say) with a timer or perform due
  // by the current clock not yet run: a test that moved a ManualClock has woken them, and
  // they have not caught up with it yet. Any thread.
  static size_t waitingLoopsWithDueWorkForTesting();
  // Entries in the schedule, live or not yet swept: cancelled performs are swept once they
  // are half of it, so this stays within about twice the live ones.
  size_t scheduledEntryCountForTesting() const;
  // Drops every pending post, perform, timer, watcher, source and observer (tests).
  void resetForTesting();

  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  struct Impl;

 private:
  RunLoop();
  friend class Timer;
  friend class RunLoopSource;
  void scheduleTimer(const std::shared_ptr<Timer>& timer);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
