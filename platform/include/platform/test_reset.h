#pragma once
// Process-wide state (singletons, platform facts) registers how to forget itself, so that
// the test fixture can give every test a fresh platform without knowing each component.
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

// Registers `reset`, called by resetForTesting() in registration order. Thread-safe.
// Register once, when the state is first created.
void onTestReset(std::function<void()> reset);
// Runs every registered reset. Test fixtures only.
void resetForTesting();

// A process-wide shared object made on first use and forgotten on test reset, the way the
// clients' singletons live for the process while each test starts from a fresh one.
// Thread-safe; `make` runs under the singleton's lock and must not ask for it again.
template <class T>
class ResettableSingleton {
 public:
  using Make = std::function<std::shared_ptr<T>()>;
  using Forget = std::function<void(T&)>;

  // The instance, made by `make` on first use (`*made` says whether this call made it).
  // `forget` runs on an instance a test reset drops, after it left the singleton.
  std::shared_ptr<T> get(const Make& make, Forget forget = {}, bool* made = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (made) *made = !instance_;
    if (!instance_) {
      if (!registered_) {
        registered_ = true;
        onTestReset([this, forget] {
          std::shared_ptr<T> old;
          {
            std::lock_guard<std::mutex> l(mutex_);
            old.swap(instance_);
          }
          if (old && forget) forget(*old);
        });
      }
      instance_ = make();
    }
    return instance_;
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<T> instance_;
  bool registered_ = false;
};

}  // namespace platform
