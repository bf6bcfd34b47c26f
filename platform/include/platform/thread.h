#pragma once
// Named threads that each run their own run loop, and the way back to the main thread.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

class RunLoop;

// A thread running its own RunLoop until stopped. Not copyable. The destructor stops and
// joins it; destroyed by a task on its own loop, it stops and lets the thread end by itself.
// start(), stop() and post() may be called from any thread.
class Thread {
 public:
  explicit Thread(std::string name);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread; returns once its run loop exists. Idempotent.
  void start();
  // The thread's loop; valid between start() and join().
  RunLoop& runLoop();
  // Runs `task` on the thread's loop on a later turn.
  void post(std::function<void()> task);
  // Asks the loop to finish its current turn and the thread to exit.
  void stop();
  void join();
  bool isRunning() const;
  const std::string& name() const { return name_; }

  // Tests: threads started here and not yet ended that are at work, or have work posted,
  // signalled or due that they have not taken up; one waiting in its loop with nothing to do
  // is not. Any thread.
  static size_t busyCountForTesting();

  static bool isMainThread();
  // The name given to the calling thread's Thread ("main" on the main thread, "" otherwise).
  static std::string currentName();

  struct State;

 private:
  std::string name_;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Runs `task` on the main loop. From the main thread with waitUntilDone it runs at once;
// otherwise it is posted, and with waitUntilDone the caller blocks until it has run.
void performOnMainThread(std::function<void()> task, bool waitUntilDone = false);

}  // namespace platform
