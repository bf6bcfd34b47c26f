#include "platform/run_loop.h"

#include "platform/dispatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace platform {

struct RunLoopLink {
  std::mutex mutex;  // guards loop
  // Null from the moment the loop begins to go.
  RunLoop* loop = nullptr;
  // Cancelled performs, and entries timers left dead, since the schedule was last swept (any
  // thread adds to it).
  std::atomic<size_t> deadEntries{0};
};

struct PerformHandle::State {
  std::mutex mutex;  // guards task: the canceller and the loop may reach for it at once
  std::atomic<bool> cancelled{false};
  std::atomic<bool> done{false};
  RunLoop::Task task;
  const void* owner = nullptr;
  // Its count of cancellations tells the loop when to sweep its schedule.
  std::shared_ptr<RunLoopLink> loop;

  // Releases the task now, not at its due time: a long delay's captures would otherwise
  // stay for as long as the delay. Destroyed outside the lock, as a capture's destructor
  // may post or cancel.
  void cancel() {
    RunLoop::Task released;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (cancelled.exchange(true) || done.load()) return;
      released = std::move(task);
    }
    if (loop) loop->deadEntries.fetch_add(1);
  }

  // The task to run, or nothing when it was cancelled first.
  RunLoop::Task take() {
    std::lock_guard<std::mutex> lock(mutex);
    if (cancelled.load()) return nullptr;
    done.store(true);
    return std::move(task);
  }
};

void PerformHandle::cancel() {
  if (state_) state_->cancel();
}

bool PerformHandle::isPending() const {
  return state_ && !state_->cancelled.load() && !state_->done.load();
}

namespace {

const std::thread::id gMainThreadId = std::this_thread::get_id();

std::mutex gLoopsMutex;
// Never destroyed: a thread's loop may end after the process began its exit (a thread that
// was let go instead of joined) and must still find the set to leave it.
std::set<RunLoop*>& allLoops() {
  static auto* loops = new std::set<RunLoop*>;
  return *loops;
}

struct Scheduled {
  std::shared_ptr<PerformHandle::State> perform;
  std::shared_ptr<Timer> timer;
  uint64_t generation = 0;
};

using ScheduleKey = std::pair<double, uint64_t>;  // due time, sequence

struct Watch {
  int fd;
  unsigned events;
  RunLoop::FdCallback callback;
};

}  // namespace

void wakeAllRunLoops() {
  std::lock_guard<std::mutex> lock(gLoopsMutex);
  for (RunLoop* loop : allLoops()) loop->wakeUp();
}

struct RunLoop::Impl {
  std::thread::id owner;
  int wakeFd = -1;

  mutable std::mutex mutex;  // guards posted, scheduled, sources, seq
  std::deque<Task> posted;
  std::map<ScheduleKey, Scheduled> scheduled;
  // The keys of the timers in `scheduled`: due timers are found without walking past a flood
  // of due performs.
  std::set<ScheduleKey> timerKeys;
  std::vector<std::shared_ptr<RunLoopSource>> sources;
  uint64_t seq = 0;
  // True from the moment a turn that found nothing ready decides to wait until it wakes.
  bool waiting = false;
  // Set under `mutex` as the loop goes: whatever is added from then on is dropped at once.
  std::atomic<bool> closing{false};
  std::shared_ptr<RunLoopLink> link = std::make_shared<RunLoopLink>();
  static constexpr size_t kSweepMinimum = 64;

  // Loop-thread only.
  std::map<int, Watch> watches;
  int nextWatchId = 1;
  std::vector<std::pair<int, Task>> observers;
  int nextObserverId = 1;
  std::vector<std::shared_ptr<void>> keepAlive;
  std::atomic<bool> stopRequested{false};
  int depth = 0;

  void insertLocked(double due, Scheduled s) {
    sweepIfMostlyDeadLocked();
    const ScheduleKey key{due, seq++};
    if (s.timer) timerKeys.insert(key);
    scheduled.emplace(key, std::move(s));
  }

  // Also after the entry was moved out, which empties its timer.
  std::map<ScheduleKey, Scheduled>::iterator eraseLocked(std::map<ScheduleKey, Scheduled>::iterator it) {
    timerKeys.erase(it->first);
    return scheduled.erase(it);
  }

  // Cancelled performs, invalidated timers and the old entries of moved ones, behind a live
  // entry due earlier, would stay until their own due time: once they are as many as half the
  // schedule, they go. Each sweep follows as many cancellations
  // as it visits entries at most twice over, so the cost per cancellation stays constant.
  void sweepIfMostlyDeadLocked() {
    const size_t cancelled = link->deadEntries.load();
    if (cancelled < kSweepMinimum || cancelled * 2 < scheduled.size()) return;
    link->deadEntries.store(0);
    for (auto it = scheduled.begin(); it != scheduled.end();)
      it = isDead(it->second) ? eraseLocked(it) : std::next(it);
  }

  // Earliest live entry's due time, dropping dead ones. Caller holds the mutex.
  bool earliestLocked(double* due) {
    while (!scheduled.empty()) {
      auto it = scheduled.begin();
      if (isDead(it->second)) {
        eraseLocked(it);
        continue;
      }
      *due = it->first.first;
      return true;
    }
    return false;
  }

  // A live timer or perform is due by the process clock (the caller holds `mutex`).
  bool hasDueLocked() {
    double due;
    return earliestLocked(&due) && due <= Clock::current().monotonic();
  }

  static bool isDead(const Scheduled& s) {
    if (s.perform) return s.perform->cancelled.load();
    return !s.timer->isValid() || s.timer->generation_.load() != s.generation;
  }

  // ---- the phases of a turn, in the order runOnce takes them ----

  // Runs the tasks posted before the turn began, the first kTasksPerTurn of them (later
  // posts, and the rest, wait for the next turn), and gives the schedule's sequence at that
  // moment: entries made during the turn wait too.
  bool runPostedTasks(uint64_t* seqLimit) {
    std::deque<Task> batch;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (posted.size() <= kTasksPerTurn) {
        batch.swap(posted);
      } else {
        auto end = posted.begin() + static_cast<std::ptrdiff_t>(kTasksPerTurn);
        batch.assign(std::make_move_iterator(posted.begin()), std::make_move_iterator(end));
        posted.erase(posted.begin(), end);
      }
      *seqLimit = seq;
    }
    for (auto& task : batch) task();
    return !batch.empty();
  }

  // Timers and delayed performs due now, in due order, that existed when the turn began: at
  // most kTasksPerTurn performs, then the due timers, whose turn must not wait behind a flood.
  bool runDueScheduled(uint64_t seqLimit) {
    const double now = Clock::current().monotonic();
    bool handled = false;
    size_t performsRun = 0;
    auto ready = [&](const ScheduleKey& key) { return key.first <= now && key.second < seqLimit; };
    {
      std::lock_guard<std::mutex> lock(mutex);
      sweepIfMostlyDeadLocked();  // cancellations made while nothing new was scheduled
    }
    for (;;) {
      Scheduled entry;
      {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = scheduled.end();
        if (performsRun < kTasksPerTurn) {
          it = std::find_if(scheduled.begin(), scheduled.end(), [&](auto& kv) {
            return kv.first.first > now || kv.first.second < seqLimit;
          });
          if (it != scheduled.end() && it->first.first > now) it = scheduled.end();
        } else {
          auto key = std::find_if(timerKeys.begin(), timerKeys.end(),
                                  [&](auto& k) { return k.first > now || ready(k); });
          if (key != timerKeys.end() && ready(*key)) it = scheduled.find(*key);
        }
        if (it == scheduled.end()) break;
        entry = std::move(it->second);
        eraseLocked(it);
      }
      if (isDead(entry)) continue;
      if (entry.perform) {
        ++performsRun;
        if (auto task = entry.perform->take()) task();
      } else {
        fireTimer(entry.timer, now);
      }
      handled = true;
    }
    return handled;
  }

  void fireTimer(const std::shared_ptr<Timer>& timer, double now) {
    if (timer->repeats_) {
      double next = timer->fireDate_ + timer->interval_;
      if (next <= now) next = now + timer->interval_;  // missed fires are skipped
      timer->fireDate_ = next;
      const uint64_t generation = ++timer->generation_;
      std::lock_guard<std::mutex> lock(mutex);
      insertLocked(next, Scheduled{nullptr, timer, generation});
    } else {
      timer->valid_.store(false);
    }
    if (timer->callback_) {
      auto cb = timer->callback_;  // the callback may invalidate and release the timer
      cb(*timer);
    }
    if (!timer->isValid()) timer->callback_ = nullptr;  // a one-shot lets go once it fired
  }

  bool runSignalledSources() {
    std::vector<std::shared_ptr<RunLoopSource>> live;
    {
      std::lock_guard<std::mutex> lock(mutex);
      sources.erase(std::remove_if(sources.begin(), sources.end(), [](auto& src) { return !src->isValid(); }),
                    sources.end());
      live = sources;
    }
    bool handled = false;
    for (auto& src : live) {
      if (src->isValid() && src->signalled_.exchange(false)) {
        src->handler_();
        handled = true;
      }
    }
    return handled;
  }

  // How long a turn that found nothing ready may wait for descriptors: until the next timer
  // on a real clock (a manual clock's timers only come due by advancing it), and not at all
  // when a task was posted meanwhile.
  double idleWait(double timeoutSeconds) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!posted.empty()) return 0;
    // Set under the lock that guards `posted`: whoever looks sees either the post or the
    // loop not yet waiting, never a waiting loop that missed it.
    waiting = true;
    if (timeoutSeconds <= 0) return 0;
    double wait = timeoutSeconds;
    if (!Clock::current().isManual()) {
      double due;
      if (earliestLocked(&due)) wait = std::min(wait, std::max(0.0, due - Clock::current().monotonic()));
    }
    return wait;
  }

  // Waits up to `wait` seconds for the wake-up descriptor or a watched one, then calls the
  // callbacks of the ready watched ones.
  // `woken` runs as soon as the wait ends, before any callback: a loop is waiting only while
  // it sleeps, not while it runs what woke it.
  bool pollDescriptors(double wait, const std::function<void()>& woken = {}) {
    std::vector<pollfd> fds;
    std::vector<int> ids;
    fds.push_back(pollfd{wakeFd, POLLIN, 0});
    for (auto& [id, w] : watches) {
      short ev = 0;
      if (w.events & kReadable) ev |= POLLIN;
      if (w.events & kWritable) ev |= POLLOUT;
      if (!ev) continue;
      fds.push_back(pollfd{w.fd, ev, 0});
      ids.push_back(id);
    }
    int timeoutMs = static_cast<int>(std::min(wait, 3600.0) * 1000.0 + (wait > 0 ? 0.999 : 0));
    const int ready = poll(fds.data(), fds.size(), timeoutMs);
    if (woken) woken();
    if (ready <= 0) return false;
    if (fds[0].revents) {
      uint64_t v;
      while (read(wakeFd, &v, sizeof v) > 0) {
      }
    }
    bool handled = false;
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      auto it = watches.find(ids[i - 1]);
      if (it == watches.end()) continue;  // unwatched by an earlier callback this turn
      unsigned events = 0;
      if (fds[i].revents & POLLIN) events |= kReadable;
      if (fds[i].revents & POLLOUT) events |= kWritable;
      if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) events |= kError | kReadable;
      auto cb = it->second.callback;  // the callback may unwatch itself
      cb(fds[i].fd, events);
      handled = true;
    }
    return handled;
  }

  void notifyEndOfTurnObservers() {
    auto pass = observers;
    for (auto& [id, fn] : pass) {
      // An earlier observer may have removed this one (its owner going away): skip it.
      const int observerId = id;
      if (std::none_of(observers.begin(), observers.end(), [&](auto& p) { return p.first == observerId; }))
        continue;
      fn();
    }
  }

  // Only the outermost turn releases: a nested turn (a test pumping inside a callback) must
  // not free what the outer callback still uses.
  void endTurn() {
    if (--depth == 0) {
      std::vector<std::shared_ptr<void>> released;
      released.swap(keepAlive);
    }
  }

  // Detaches every post, perform, timer, watch, source, observer and keep-alive first, then
  // lets them go with the loop still whole: a capture's destructor may cancel or unwatch what
  // its owner scheduled here, or add more.
  void dropEverything() {
    std::deque<Task> droppedPosts;
    std::map<ScheduleKey, Scheduled> droppedEntries;
    std::vector<std::shared_ptr<RunLoopSource>> droppedSources;
    {
      std::lock_guard<std::mutex> sourcesLock(gLoopsMutex);  // signal() reads a source's loop under it
      std::lock_guard<std::mutex> lock(mutex);
      droppedPosts.swap(posted);
      droppedEntries.swap(scheduled);
      timerKeys.clear();
      droppedSources.swap(sources);
      // Sources outlive a thread's loop in their owners' hands; signalling one must not write
      // to a descriptor number the system may already have handed out again.
      for (auto& source : droppedSources) source->loop_ = nullptr;
    }
    auto droppedWatches = std::exchange(watches, {});
    auto droppedObservers = std::exchange(observers, {});
    auto droppedKeepAlive = std::exchange(keepAlive, {});
    for (auto& [key, s] : droppedEntries) {
      if (s.timer) s.timer->letGo();
      if (s.perform) s.perform->cancel();
    }
    for (auto& source : droppedSources) {
      source->invalidate();
      auto handler = std::exchange(source->handler_, nullptr);
    }
  }
};

RunLoop::RunLoop() : impl_(std::make_unique<Impl>()) {
  impl_->owner = std::this_thread::get_id();
  impl_->link->loop = this;
  impl_->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  std::lock_guard<std::mutex> lock(gLoopsMutex);
  allLoops().insert(this);
}

RunLoop::~RunLoop() {
  {
    std::lock_guard<std::mutex> lock(gLoopsMutex);
    allLoops().erase(this);
  }
  {
    // A timer kept by its owner no longer reaches the loop.
    std::lock_guard<std::mutex> lock(impl_->link->mutex);
    impl_->link->loop = nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->closing.store(true);
  }
  impl_->dropEverything();
  if (impl_->wakeFd >= 0) close(impl_->wakeFd);
}

RunLoop& RunLoop::main() {
  // Created once and never destroyed: timers and posts may target it until the process exits.
  static RunLoop* loop = [] {
    auto* l = new RunLoop();
    l->impl_->owner = gMainThreadId;
    return l;
  }();
  return *loop;
}

RunLoop& RunLoop::current() {
  if (std::this_thread::get_id() == gMainThreadId) return main();
  thread_local std::unique_ptr<RunLoop> loop(new RunLoop());
  return *loop;
}

bool RunLoop::isCurrent() const { return impl_->owner == std::this_thread::get_id(); }

void RunLoop::wakeUp() {
  uint64_t one = 1;
  ssize_t r = write(impl_->wakeFd, &one, sizeof one);
  (void)r;
}

void RunLoop::post(Task task) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->closing.load()) return;  // the task goes as the call returns, outside the lock
    impl_->posted.push_back(std::move(task));
  }
  wakeUp();
}

PerformHandle RunLoop::postAfter(double seconds, Task task, const void* owner) {
  auto state = std::make_shared<PerformHandle::State>();
  state->task = std::move(task);
  state->owner = owner;
  state->loop = impl_->link;
  double due = Clock::current().monotonic() + std::max(0.0, seconds);
  Task dropped;  // released after the lock
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->closing.load()) {
      state->cancelled.store(true);
      dropped = std::move(state->task);
      return PerformHandle(state);
    }
    impl_->insertLocked(due, Scheduled{state, nullptr, 0});
  }
  wakeUp();
  return PerformHandle(state);
}

void RunLoop::cancelPerforms(const void* owner) {
  if (!owner) return;
  std::vector<std::shared_ptr<PerformHandle::State>> cancelled;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    std::erase_if(impl_->scheduled, [&](const auto& kv) {
      if (!kv.second.perform || kv.second.perform->owner != owner) return false;
      cancelled.push_back(kv.second.perform);
      return true;
    });
  }
  // Outside the lock: the tasks' captures are released here.
  for (auto& state : cancelled) state->cancel();
}

int RunLoop::watchFd(int fd, unsigned events, FdCallback callback) {
  if (impl_->closing.load()) return 0;  // no watch has id 0
  int id = impl_->nextWatchId++;
  impl_->watches[id] = Watch{fd, events, std::move(callback)};
  return id;
}

void RunLoop::updateFdWatch(int id, unsigned events) {
  auto it = impl_->watches.find(id);
  if (it != impl_->watches.end()) it->second.events = events;
}

void RunLoop::unwatchFd(int id) { impl_->watches.erase(id); }

std::shared_ptr<RunLoopSource> RunLoop::addSource(std::function<void()> handler) {
  auto source = std::make_shared<RunLoopSource>();
  source->loop_ = this;
  source->handler_ = std::move(handler);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->closing.load()) {
    source->loop_ = nullptr;
    source->invalidate();
    return source;  // the handler goes with the source, outside the lock
  }
  impl_->sources.push_back(source);
  return source;
}

void RunLoopSource::signal() {
  signalled_.store(true);
  std::lock_guard<std::mutex> lock(gLoopsMutex);  // the loop unhooks its sources under it
  if (loop_ && valid_.load()) loop_->wakeUp();
}

void RunLoopSource::invalidate() { valid_.store(false); }

int RunLoop::addEndOfTurnObserver(Task observer) {
  if (impl_->closing.load()) return 0;  // no observer has id 0
  int id = impl_->nextObserverId++;
  impl_->observers.emplace_back(id, std::move(observer));
  return id;
}

void RunLoop::removeEndOfTurnObserver(int id) {
  auto& obs = impl_->observers;
  obs.erase(std::remove_if(obs.begin(), obs.end(), [id](auto& p) { return p.first == id; }), obs.end());
}

void RunLoop::keepAliveUntilEndOfTurn(std::shared_ptr<void> object) {
  if (impl_->closing.load()) return;
  impl_->keepAlive.push_back(std::move(object));
}

void RunLoop::scheduleTimer(const std::shared_ptr<Timer>& timer) {
  bool dropped = false;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->closing.load()) {
      timer->valid_.store(false);
      dropped = true;
    } else {
      impl_->insertLocked(timer->fireDate_, Scheduled{nullptr, timer, timer->generation_.load()});
    }
  }
  if (dropped) {
    timer->letGo();  // outside the lock: the callback's captures go here
    return;
  }
  wakeUp();
}

RunLoop::RunResult RunLoop::runOnce(double timeoutSeconds) {
  Impl& d = *impl_;
  if (d.stopRequested.exchange(false)) return RunResult::Stopped;
  ++d.depth;
  uint64_t seqLimit = 0;
  bool handled = d.runPostedTasks(&seqLimit);
  handled |= d.runDueScheduled(seqLimit);
  handled |= d.runSignalledSources();
  if (handled) {
    d.pollDescriptors(0);
  } else {
    std::optional<DispatchQueue::WaitingScope> waiting(std::in_place);
    handled |= d.pollDescriptors(d.idleWait(timeoutSeconds), [&] {
      waiting.reset();
      std::lock_guard<std::mutex> lock(d.mutex);
      d.waiting = false;
    });
  }
  if (handled) d.notifyEndOfTurnObservers();
  d.endTurn();
  return handled ? RunResult::HandledSource : RunResult::TimedOut;
}

void RunLoop::run() {
  for (;;) {
    if (runOnce(3600) == RunResult::Stopped) return;
  }
}

void RunLoop::stop() {
  impl_->stopRequested.store(true);
  wakeUp();
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
  const double deadline = realMonotonicSeconds() + timeoutSeconds;
  while (!predicate()) {
    double left = deadline - realMonotonicSeconds();
    if (left <= 0) return predicate();
    runOnce(std::min(left, 0.05));
  }
  return true;
}

bool RunLoop::runUntilIdle() {
  bool ran = false;
  // Bounded so a zero-interval repeating timer on a real clock cannot spin for ever.
  for (int i = 0; i < 100000; ++i) {
    if (runOnce(0) != RunResult::HandledSource) break;
    ran = true;
  }
  return ran;
}

bool RunLoop::advance(double seconds, const std::function<bool()>& betweenSteps) {
  auto clock = Clock::currentShared();
  if (!clock->isManual()) {
    const double deadline = realMonotonicSeconds() + seconds;
    for (double left = seconds; left > 0; left = deadline - realMonotonicSeconds()) runOnce(left);
    return true;
  }
  auto* manual = static_cast<ManualClock*>(clock.get());
  const double target = manual->monotonic() + std::max(0.0, seconds);
  auto settle = [&] {
    runUntilIdle();
    return !betweenSteps || betweenSteps();
  };
  if (!settle()) return false;
  for (;;) {
    double due;
    {
      std::lock_guard<std::mutex> lock(impl_->mutex);
      if (!impl_->earliestLocked(&due) || due > target) break;
    }
    manual->advanceTo(due);
    if (!settle()) return false;
  }
  manual->advanceTo(target);
  return settle();
}

size_t RunLoop::waitingLoopsWithDueWorkForTesting() {
  size_t count = 0;
  std::lock_guard<std::mutex> lock(gLoopsMutex);
  for (RunLoop* loop : allLoops()) {
    Impl& d = *loop->impl_;
    std::lock_guard<std::mutex> entries(d.mutex);
    if (d.waiting && d.hasDueLocked()) ++count;
  }
  return count;
}

bool RunLoop::isWaitingIdleForTesting() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->waiting || !impl_->posted.empty()) return false;
  for (const auto& source : impl_->sources)
    if (source->isValid() && source->signalled_.load()) return false;
  return !impl_->hasDueLocked();
}

size_t RunLoop::scheduledEntryCountForTesting() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->scheduled.size();
}

bool RunLoop::hasPendingWorkForTesting() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->posted.empty()) return true;
  for (auto& [key, s] : impl_->scheduled)
    if (!Impl::isDead(s)) return true;
  return false;
}

void RunLoop::resetForTesting() {
  impl_->dropEverything();
  impl_->stopRequested.store(false);
}

// Timer

Timer::Timer(Passkey<Timer>, RunLoop& loop, double interval, bool repeats, Callback cb)
    : loop_(loop.impl_->link),
      interval_(interval > 0 ? interval : 0.0001),
      repeats_(repeats),
      callback_(std::move(cb)) {}

void Timer::leftDeadEntry() { loop_->deadEntries.fetch_add(1); }

void Timer::letGo() {
  valid_.store(false);
  ++generation_;
  // What the callback holds (its target) is released now, not when the timer goes. Inside
  // the callback this is safe: the loop and fire() call a copy, which lives until it returns.
  // Moved out first, so that a capture's destructor that reaches the timer finds it empty.
  auto released = std::exchange(callback_, nullptr);
}

Timer::~Timer() = default;

std::shared_ptr<Timer> Timer::scheduledTimer(double interval, bool repeats, Callback callback) {
  return scheduledTimerOn(RunLoop::current(), interval, repeats, std::move(callback));
}

std::shared_ptr<Timer> Timer::scheduledTimerOn(RunLoop& loop, double interval, bool repeats, Callback callback) {
  auto timer = std::make_shared<Timer>(Passkey<Timer>{}, loop, interval, repeats, std::move(callback));
  timer->fireDate_ = Clock::current().monotonic() + timer->interval_;
  loop.scheduleTimer(timer);
  return timer;
}

void Timer::invalidate() {
  if (valid_.exchange(false)) {
    leftDeadEntry();
    letGo();
  }
}

void Timer::setFireDate(double monotonicTime) {
  // Not a number would break the ordering of the whole schedule.
  if (!isValid() || std::isnan(monotonicTime)) return;
  // Held while scheduling: the loop cannot go meanwhile. Once it has gone, the timer was
  // invalidated with it.
  std::lock_guard<std::mutex> lock(loop_->mutex);
  if (!loop_->loop) return;
  fireDate_ = monotonicTime;
  ++generation_;
  leftDeadEntry();
  loop_->loop->scheduleTimer(shared_from_this());
}

void Timer::fire() {
  if (!isValid()) return;
  if (!repeats_) {
    valid_.store(false);
    leftDeadEntry();
  }
  auto cb = callback_;
  if (cb) cb(*this);
  if (!isValid()) callback_ = nullptr;
}

}  // namespace platform
