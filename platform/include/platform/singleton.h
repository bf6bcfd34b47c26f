#pragma once
// Process-wide state: singletons and platform facts live for the whole process, made on first
// use. Each registers how to forget itself, so that a test fixture can give every test a fresh
// platform without knowing each component.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

// Registers `forget`, run by resetForTesting() in registration order. Thread-safe; register
// once, when the state is first made.
void onProcessReset(std::function<void()> forget);

// Forgets every process-wide singleton and fact. Test fixtures only.
void resetForTesting();

// Keeps `object` alive until the process ends, never destroying it: a singleton's destructor must
// not run during static destruction, after the platform state it talks to may be gone.
void keepUntilExit(std::shared_ptr<void> object);

// A process-wide shared object made on first use and forgotten on reset, the way the clients'
// singletons live for the process while each test starts from a fresh one.
// Thread-safe; `make` runs under the singleton's lock and must not ask for it again.
template <class T>
class ResettableSingleton {
 public:
  using Make = std::function<std::shared_ptr<T>()>;
  using Forget = std::function<void(T&)>;

  ResettableSingleton() = default;
  ResettableSingleton(const ResettableSingleton&) = delete;
  ResettableSingleton& operator=(const ResettableSingleton&) = delete;
  // A singleton held in a static lives as long as the process: at exit its instance is kept,
  // not destroyed.
  ~ResettableSingleton() {
    if (instance_) keepUntilExit(std::move(instance_));
  }

  // The instance, made by `make` on first use (`*made` says whether this call made it).
  // `forget` runs on an instance a reset drops, after it left the singleton.
  std::shared_ptr<T> get(const Make& make, Forget forget = {}, bool* made = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (made) *made = !instance_;
    if (!instance_) {
      if (!registered_) {
        registered_ = true;
        onProcessReset([this, forget] {
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

  // The instance if one was made, without making it.
  std::shared_ptr<T> existing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return instance_;
  }

  // Lets go of the instance (a singleton a client tears down itself): the next get() makes
  // a new one. Returns the old one, so the caller decides where it is destroyed; `forget`
  // does not run for it.
  std::shared_ptr<T> release() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(instance_);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<T> instance_;
  bool registered_ = false;
};

// A process-wide record of plain facts behind one lock: made from `defaults` on first use and
// made afresh from them after a reset. It must live as long as the process (its reset hook stays
// registered): take the one of a record type with processState<T>() below, or keep one as a
// static, and reach every field through it:
//
//   struct DeviceFacts { std::string model = "iPhone"; ... };   // private to one source file
//   std::string Device::model() const { return processState<DeviceFacts>().read(&DeviceFacts::model); }
//
// Thread-safe. `with` runs its function under the lock: it must not call out to code that may
// come back to the same state (delegates, notifications); copy what it needs and call after.
template <class T>
class ProcessState {
 public:
  using Defaults = std::function<T()>;

  ProcessState() : defaults_([] { return T{}; }) {}
  explicit ProcessState(Defaults defaults) : defaults_(std::move(defaults)) {}
  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;

  template <class M>
  M read(M T::*field) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return current().*field;
  }

  template <class M, class V>
  void write(M T::*field, V&& value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    current().*field = std::forward<V>(value);
  }

  // Runs `f(T&)` under the lock and returns what it returns.
  template <class F>
  decltype(auto) with(F&& f) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return std::forward<F>(f)(current());
  }

  // Back to the defaults now (the next use makes them afresh). The old record is destroyed after
  // the lock is released, so what it holds (callbacks, weak owners) may use this state as it goes.
  void reset() {
    std::optional<T> old;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    old.swap(value_);
  }

 private:
  T& current() {
    if (!value_) {
      if (!registered_) {
        registered_ = true;
        onProcessReset([this] { reset(); });
      }
      value_.emplace(defaults_());
    }
    return *value_;
  }

  std::recursive_mutex mutex_;
  Defaults defaults_;
  std::optional<T> value_;
  bool registered_ = false;
};

// The one ProcessState of record type T, made from T's default member values on first use. It is
// never destroyed, so that threads still running while the process exits may use it; keep T
// private to one source file.
template <class T>
ProcessState<T>& processState() {
  static auto* state = new ProcessState<T>();
  return *state;
}

}  // namespace platform
