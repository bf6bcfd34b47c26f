#pragma once
// Bounds for one script heap: a memory cap and a run-time cap per evaluation.
//
// The Duktape library we link is built without an execution time-out hook, and a tight
// `for(;;){}` loop neither allocates nor calls native code, so no cooperative check can
// stop it. The guard therefore pre-empts: while an evaluation runs, a CPU-time timer of the
// evaluating thread delivers a signal once the budget is spent. The handler unwinds to the
// guard (siglongjmp) only when the interrupted instruction lies in the engine's own code and
// no native callback of ours is on the stack; everywhere else it leaves a flag and the timer
// keeps firing every millisecond until it lands in the engine. The engine holds no lock and
// no outside resource, so the only casualty of such an unwind is the heap itself, which is
// then abandoned: every block it allocated came from ScriptArena and is released wholesale,
// without the engine ever being entered again.
//
// Native callbacks enter a NativeScope; they must never run script (they only receive
// primitive values) so that an unwind is never needed while one is on the stack. They check
// deadlineExpired() on entry and fail the call instead.
//
// Thread safety: a ScriptArena and its heap belong to one thread. Guards do not nest.
#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <cstdint>

#include <duktape.h>

namespace platform::web {

// Every allocation of one heap, linked so that the heap can be dropped without the engine's
// help, and counted against a cap (an allocation past the cap fails as out of memory). A
// block counts what it holds of the host's memory: the allocator's rounding, its header and
// the link, not only the bytes the engine asked for, so the cap bounds the host's growth.
class ScriptArena {
 public:
  explicit ScriptArena(size_t capBytes) : cap_(capBytes) {}
  ~ScriptArena() { releaseAll(); }
  ScriptArena(const ScriptArena&) = delete;
  ScriptArena& operator=(const ScriptArena&) = delete;

  static void* alloc(void* arena, duk_size_t size);
  static void* realloc(void* arena, void* ptr, duk_size_t size);
  static void free(void* arena, void* ptr);

  void releaseAll();
  size_t bytesInUse() const { return inUse_; }
  size_t cap() const { return cap_; }

  // A heap filled to its cap with live data cannot even compile the script that would let go
  // of it. After a refusal, the next call (and only it) may use kReserveBytes past the cap.
  static constexpr size_t kReserveBytes = 64 * 1024;
  void beginCall() {
    reserve_ = refused_ ? kReserveBytes : 0;
    refused_ = false;
  }
  void endCall() { reserve_ = 0; }

  void* owner = nullptr;  // what the heap's native callbacks find through the allocator

 private:
  struct Block;
  Block* head_ = nullptr;
  size_t inUse_ = 0;
  size_t cap_;
  size_t reserve_ = 0;
  bool refused_ = false;
  size_t limit() const { return cap_ + reserve_; }
  void* refuse() {
    refused_ = true;
    return nullptr;
  }
};

class ScriptGuard {
 public:
  enum class Outcome { Completed, Failed, Terminated };

  // Runs `fn` under duk_safe_call with `nargs` arguments already pushed and `nrets` results.
  // Completed/Failed mirror duk_safe_call; Terminated means the run time was exceeded or the
  // engine hit a fatal error: the heap must then be dropped (ScriptArena::releaseAll) and
  // never touched again. `fn` must be a plain function with no objects needing destruction.
  // `cpuSeconds` is as the shipped build spends it; a sanitizer build allows several times more.
  static Outcome run(duk_context* ctx, duk_safe_call_function fn, void* udata, duk_idx_t nargs,
                     duk_idx_t nrets, double cpuSeconds);

  // The fatal handler every guarded heap is created with.
  static void fatal(void* udata, const char* message);

  // True once the running evaluation's budget is spent (natives fail fast from then on).
  static bool deadlineExpired();
  // True when a guard is active on this thread.
  static bool active();

  // Marks a native callback's frame; while one lives the handler never unwinds.
  class NativeScope {
   public:
    NativeScope();
    ~NativeScope();
    NativeScope(const NativeScope&) = delete;
    NativeScope& operator=(const NativeScope&) = delete;
  };
};

}  // namespace platform::web
