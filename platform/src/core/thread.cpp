#include "platform/thread.h"

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

#include "platform/run_loop.h"

namespace platform {

namespace {
thread_local std::string tThreadName;
const std::thread::id gMainId = std::this_thread::get_id();
}  // namespace

struct Thread::State {
  std::mutex mutex;
  std::condition_variable cv;
  RunLoop* loop = nullptr;
  bool started = false;
  std::atomic<bool> stopping{false};
  std::atomic<bool> running{false};
};

namespace {
// Every thread started and not yet ended, for the tests' look at whether they are at work.
std::mutex gStartedMutex;
std::vector<std::weak_ptr<Thread::State>>& startedThreads() {
  static auto* started = new std::vector<std::weak_ptr<Thread::State>>;  // outlives threads let go
  return *started;
}
}  // namespace

Thread::Thread(std::string name) : name_(std::move(name)), state_(std::make_shared<State>()) {}

Thread::~Thread() {
  stop();
  // Released by a task on its own loop: the thread cannot join itself, so it is let go and
  // ends after the current turn (it holds only the shared state, never this object).
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
    return;
  }
  join();
}

void Thread::start() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->started) return;
    state_->started = true;
  }
  auto state = state_;
  std::string name = name_;
  state->running.store(true);
  {
    std::lock_guard<std::mutex> lock(gStartedMutex);
    auto& started = startedThreads();
    std::erase_if(started, [](const auto& weak) { return weak.expired(); });
    started.push_back(state);
  }
  thread_ = std::thread([state, name] {
    tThreadName = name;
    RunLoop& loop = RunLoop::current();
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->loop = &loop;
    }
    state->cv.notify_all();
    while (!state->stopping.load()) loop.runOnce(3600);
    state->running.store(false);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->loop = nullptr;
  });
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->cv.wait(lock, [&] { return state_->loop != nullptr || !state_->running.load(); });
}

RunLoop& Thread::runLoop() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return *state_->loop;
}

void Thread::post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->loop) state_->loop->post(std::move(task));
}

void Thread::stop() {
  state_->stopping.store(true);
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->loop) state_->loop->stop();
}

void Thread::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool Thread::isRunning() const { return state_->running.load(); }

size_t Thread::busyCountForTesting() {
  std::vector<std::shared_ptr<State>> started;
  {
    std::lock_guard<std::mutex> lock(gStartedMutex);
    for (const auto& weak : startedThreads())
      if (auto state = weak.lock()) started.push_back(state);
  }
  size_t busy = 0;
  for (const auto& state : started) {
    // The loop is looked at under the mutex its thread clears `loop` under before the loop
    // goes away with the thread.
    std::lock_guard<std::mutex> lock(state->mutex);
    if (state->running.load() && !(state->loop && state->loop->isWaitingIdleForTesting())) ++busy;
  }
  return busy;
}

bool Thread::isMainThread() { return std::this_thread::get_id() == gMainId; }

std::string Thread::currentName() { return isMainThread() ? std::string("main") : tThreadName; }

void performOnMainThread(std::function<void()> task, bool waitUntilDone) {
  if (waitUntilDone && Thread::isMainThread()) {
    task();
    return;
  }
  if (!waitUntilDone) {
    RunLoop::main().post(std::move(task));
    return;
  }
  std::promise<void> done;
  auto future = done.get_future();
  RunLoop::main().post([&] {
    task();
    done.set_value();
  });
  future.wait();
}

}  // namespace platform
