#include <algorithm>
#include <atomic>
#include "platform/dispatch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/run_loop.h"
#include "platform/thread.h"

namespace platform {
namespace {

// condition_variable::wait_for counts in integer nanoseconds: infinity (a caller's "for
// ever"), NaN or centuries would overflow and read as an immediate time-out. Beyond about
// thirty years the wait has no deadline; not a number, zero or less only looks.
template <class Predicate>
bool waitSeconds(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, double seconds,
                 Predicate ready) {
  if (!(seconds > 0)) return ready();
  if (seconds > 1e9) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_for(lock, std::chrono::duration<double>(seconds), ready);
}

class MainQueue final : public DispatchQueue {
 public:
  void async(Task task) override { RunLoop::main().post(std::move(task)); }
  void sync(Task task) override { performOnMainThread(std::move(task), true); }
  void after(double seconds, Task task) override { RunLoop::main().postAfter(seconds, std::move(task)); }
};

// A fixed pool: background work in the clients is short (image loads, file work).
class GlobalQueue final : public DispatchQueue {
 public:
  GlobalQueue() {
    for (int i = 0; i < 4; ++i) workers_.emplace_back([this] { work(); });
    for (auto& w : workers_) w.detach();  // lives as long as the process
  }

  void async(Task task) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    cv_.notify_one();
  }

  void sync(Task task) override {
    // A worker waiting for another would hold the pool: with every worker in sync at once
    // nothing would ever run their tasks.
    if (isWorker) {
      task();
      return;
    }
    std::promise<void> done;
    auto future = done.get_future();
    async([&] {
      task();
      done.set_value();
    });
    future.wait();
  }

  void after(double seconds, Task task) override {
    // The delay is kept by the main loop so that virtual time governs it in tests.
    RunLoop::main().postAfter(seconds, [this, task = std::move(task)]() mutable { async(std::move(task)); });
  }

  size_t busyCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size() + static_cast<size_t>(running_) - std::min<size_t>(running_, waiting_.load());
  }

  static thread_local bool isWorker;
  std::atomic<size_t> waiting_{0};

  bool waitIdle(double timeoutSeconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return waitSeconds(idle_, lock, timeoutSeconds, [&] { return tasks_.empty() && running_ == 0; });
  }

 private:
  void work() {
    isWorker = true;
    for (;;) {
      Task task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return !tasks_.empty(); });
        task = std::move(tasks_.front());
        tasks_.pop_front();
        ++running_;
      }
      task();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        --running_;
        if (tasks_.empty() && running_ == 0) idle_.notify_all();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::condition_variable idle_;
  std::deque<Task> tasks_;
  int running_ = 0;
  std::vector<std::thread> workers_;
};

GlobalQueue& globalQueue() {
  static GlobalQueue* q = new GlobalQueue();
  return *q;
}

}  // namespace

DispatchQueue& DispatchQueue::main() {
  static MainQueue q;
  return q;
}

DispatchQueue& DispatchQueue::global() { return globalQueue(); }

thread_local bool GlobalQueue::isWorker = false;

bool DispatchQueue::waitForGlobalIdle(double timeoutSeconds) { return globalQueue().waitIdle(timeoutSeconds); }

DispatchQueue::WaitingScope::WaitingScope() : counted_(GlobalQueue::isWorker) {
  if (counted_) ++globalQueue().waiting_;
}

DispatchQueue::WaitingScope::~WaitingScope() {
  if (counted_) --globalQueue().waiting_;
}

size_t DispatchQueue::globalBusyCountForTesting() { return globalQueue().busyCount(); }

struct DispatchGroup::State {
  std::mutex mutex;
  std::condition_variable cv;
  int count = 0;
  std::vector<std::pair<DispatchQueue*, DispatchQueue::Task>> notifications;
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  ++state_->count;
}

void DispatchGroup::leave() {
  std::vector<std::pair<DispatchQueue*, DispatchQueue::Task>> fire;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->count > 0 && --state_->count == 0) {
      fire.swap(state_->notifications);
      state_->cv.notify_all();
    }
  }
  for (auto& [queue, task] : fire) queue->async(std::move(task));
}

void DispatchGroup::async(DispatchQueue& queue, DispatchQueue::Task task) {
  enter();
  auto state = *this;
  queue.async([state, task = std::move(task)]() mutable {
    task();
    state.leave();
  });
}

bool DispatchGroup::wait(double timeoutSeconds) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return waitSeconds(state_->cv, lock, timeoutSeconds, [&] { return state_->count == 0; });
}

void DispatchGroup::notify(DispatchQueue& queue, DispatchQueue::Task task) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->count > 0) {
      state_->notifications.emplace_back(&queue, std::move(task));
      return;
    }
  }
  queue.async(std::move(task));
}

}  // namespace platform
