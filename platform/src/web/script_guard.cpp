#include "script_guard.h"

#include <link.h>
#include <malloc.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "platform/log.h"

namespace platform::web {

// ---- arena -------------------------------------------------------------------------------

struct alignas(16) ScriptArena::Block {
  Block* prev;
  Block* next;
  size_t size;     // what the engine asked for
  size_t charged;  // what the block holds of the host's memory
};

namespace {

// The allocator keeps a size word before each chunk and hands out chunks in steps of this.
constexpr size_t kChunkHeader = sizeof(size_t);
constexpr size_t kChunkGranularity = 2 * sizeof(size_t);

// What a request of `bytes` (the link included) is likely to hold, to refuse one past the cap
// before making it.
size_t expectedCharge(size_t bytes) {
  size_t total = bytes + kChunkHeader;
  return (total + kChunkGranularity - 1) / kChunkGranularity * kChunkGranularity;
}

// What a block really holds: the usable bytes the allocator gave (its rounding and, for
// large blocks, whole pages) and the allocator's own header.
size_t actualCharge(void* block) { return malloc_usable_size(block) + kChunkHeader; }

bool fits(size_t others, size_t charge, size_t cap) { return charge <= cap && others <= cap - charge; }

// How far a block's real size may pass the expected one: the pages of a mapped block.
constexpr size_t kRoundingSlack = 64 * 1024;

}  // namespace

void* ScriptArena::alloc(void* udata, duk_size_t size) {
  auto* arena = static_cast<ScriptArena*>(udata);
  if (size == 0) return nullptr;
  if (size > arena->limit() || !fits(arena->inUse_, expectedCharge(sizeof(Block) + size), arena->limit()))
    return arena->refuse();
  auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
  if (!block) return nullptr;
  const size_t charge = actualCharge(block);
  if (!fits(arena->inUse_, charge, arena->limit())) {
    std::free(block);
    return arena->refuse();
  }
  block->prev = nullptr;
  block->next = arena->head_;
  block->size = size;
  block->charged = charge;
  if (arena->head_) arena->head_->prev = block;
  arena->head_ = block;
  arena->inUse_ += charge;
  return block + 1;
}

void* ScriptArena::realloc(void* udata, void* ptr, duk_size_t size) {
  auto* arena = static_cast<ScriptArena*>(udata);
  if (!ptr) return alloc(udata, size);
  if (size == 0) {
    free(udata, ptr);
    return nullptr;
  }
  Block* old = static_cast<Block*>(ptr) - 1;
  size_t others = arena->inUse_ - old->charged;
  if (size > arena->limit() || !fits(others, expectedCharge(sizeof(Block) + size), arena->limit()))
    return arena->refuse();
  Block* prev = old->prev;
  Block* next = old->next;
  Block* block;
  size_t charge;
  if (fits(others, expectedCharge(sizeof(Block) + size) + kRoundingSlack, arena->limit())) {
    block = static_cast<Block*>(std::realloc(old, sizeof(Block) + size));
    if (!block) return nullptr;  // the old block is untouched and still linked
    charge = actualCharge(block);
  } else {
    // Near the cap the allocator's rounding decides: the old block stays intact until the
    // new one is known to fit, as a realloc could not be taken back.
    block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block) return nullptr;
    charge = actualCharge(block);
    if (!fits(others, charge, arena->limit())) {
      std::free(block);
      return arena->refuse();
    }
    std::memcpy(block + 1, old + 1, std::min<size_t>(size, old->size));
    std::free(old);
  }
  block->prev = prev;  // a fresh block has no link yet
  block->next = next;
  if (prev) prev->next = block; else arena->head_ = block;
  if (next) next->prev = block;
  arena->inUse_ = others + charge;
  block->size = size;
  block->charged = charge;
  return block + 1;
}

void ScriptArena::free(void* udata, void* ptr) {
  if (!ptr) return;
  auto* arena = static_cast<ScriptArena*>(udata);
  Block* block = static_cast<Block*>(ptr) - 1;
  if (block->prev) block->prev->next = block->next; else arena->head_ = block->next;
  if (block->next) block->next->prev = block->prev;
  arena->inUse_ -= block->charged;
  std::free(block);
}

void ScriptArena::releaseAll() {
  while (head_) {
    Block* next = head_->next;
    std::free(head_);
    head_ = next;
  }
  inUse_ = 0;
}

// ---- pre-emption -------------------------------------------------------------------------

namespace {

// Budgets are CPU time as the shipped build spends it. Under a sanitizer every native
// callback (and the allocator the engine calls) runs several times slower, so such a build
// scales each budget by this much: a page then has the headroom it has in the shipped build,
// and a runaway page is still stopped.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ADC_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ADC_SANITIZED_BUILD 1
#endif
#endif
#if defined(ADC_SANITIZED_BUILD)
constexpr double kSanitizedTimeScale = 8.0;
#else
constexpr double kSanitizedTimeScale = 1.0;
#endif

struct GuardState {
  sigjmp_buf jmp;
  volatile sig_atomic_t armed = 0;
  volatile sig_atomic_t expired = 0;
  int generation = 0;
};

// Read from the signal handler: initial-exec so no lazy TLS allocation can happen there.
__attribute__((tls_model("initial-exec"))) thread_local GuardState* tlsGuard = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local volatile sig_atomic_t tlsNativeDepth = 0;

std::atomic<int> gGeneration{0};

// The engine's executable segments, found once. Fixed-size so the handler reads plain memory.
struct CodeRange {
  uintptr_t begin, end;
};
constexpr int kMaxRanges = 8;
CodeRange gRanges[kMaxRanges];
int gRangeCount = 0;
int gSignal = 0;

int findEngineCode(struct dl_phdr_info* info, size_t, void*) {
  std::string_view name = info->dlpi_name ? info->dlpi_name : "";
  auto slash = name.rfind('/');
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  if (base.rfind("libduktape", 0) != 0) return 0;
  for (int i = 0; i < info->dlpi_phnum && gRangeCount < kMaxRanges; ++i) {
    const auto& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X)) {
      uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
      gRanges[gRangeCount++] = {begin, begin + ph.p_memsz};
    }
  }
  return 1;
}

uintptr_t interruptedPc(void* ucontext) {
  auto* uc = static_cast<ucontext_t*>(ucontext);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
  (void)uc;
  return 0;  // unknown machine: never unwind asynchronously
#endif
}

bool inEngineCode(uintptr_t pc) {
  for (int i = 0; i < gRangeCount; ++i) {
    if (pc >= gRanges[i].begin && pc < gRanges[i].end) return true;
  }
  return false;
}

void onBudgetSignal(int, siginfo_t* info, void* ucontext) {
  GuardState* g = tlsGuard;
  if (!g || !g->armed) return;
  if (info->si_code == SI_TIMER && info->si_value.sival_int != g->generation) return;  // stale
  g->expired = 1;
  if (tlsNativeDepth > 0 || !inEngineCode(interruptedPc(ucontext))) return;  // retried in 1 ms
  g->armed = 0;
  siglongjmp(g->jmp, 1);
}

void installOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    dl_iterate_phdr(findEngineCode, nullptr);
    if (gRangeCount == 0) {
      log("web view: the script engine's code was not found; runaway scripts can only be "
          "stopped when they call the page");
    }
    gSignal = SIGRTMAX - 2;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = onBudgetSignal;
    sa.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(gSignal, &sa, nullptr);
  });
}

bool createBudgetTimer(timer_t* timer, int generation) {
  struct sigevent sev;
  std::memset(&sev, 0, sizeof sev);
  sev.sigev_notify = SIGEV_THREAD_ID;
  sev.sigev_signo = gSignal;
  sev.sigev_value.sival_int = generation;
#if defined(sigev_notify_thread_id)
  sev.sigev_notify_thread_id = static_cast<pid_t>(syscall(SYS_gettid));
#else
  sev._sigev_un._tid = static_cast<pid_t>(syscall(SYS_gettid));
#endif
  return timer_create(CLOCK_THREAD_CPUTIME_ID, &sev, timer) == 0;
}

void armBudgetTimer(timer_t timer, double seconds) {
  if (seconds < 0.001) seconds = 0.001;
  struct itimerspec spec;
  std::memset(&spec, 0, sizeof spec);
  spec.it_value.tv_sec = static_cast<time_t>(seconds);
  spec.it_value.tv_nsec = static_cast<long>((seconds - static_cast<double>(spec.it_value.tv_sec)) * 1e9);
  spec.it_interval.tv_nsec = 1000000;  // keep trying until the signal lands in the engine
  timer_settime(timer, 0, &spec, nullptr);
}

}  // namespace

ScriptGuard::Outcome ScriptGuard::run(duk_context* ctx, duk_safe_call_function fn, void* udata,
                                      duk_idx_t nargs, duk_idx_t nrets, double cpuSeconds) {
  if (tlsGuard || tlsNativeDepth > 0) {
    // A native callback tried to run script: refuse rather than nest.
    duk_pop_n(ctx, nargs);
    for (duk_idx_t i = 0; i < nrets; ++i) duk_push_undefined(ctx);
    return Outcome::Failed;
  }
  installOnce();
  GuardState g;
  g.generation = ++gGeneration;
  timer_t timer{};
  const bool haveTimer = createBudgetTimer(&timer, g.generation);
  if (!haveTimer) {
    static std::once_flag warned;
    std::call_once(warned, [] { log("web view: no CPU timer for scripts; their run time is not bounded"); });
  }
  tlsGuard = &g;
  if (sigsetjmp(g.jmp, 1) != 0) {
    tlsGuard = nullptr;
    tlsNativeDepth = 0;
    if (haveTimer) timer_delete(timer);
    return Outcome::Terminated;
  }
  g.armed = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (haveTimer) armBudgetTimer(timer, cpuSeconds * kSanitizedTimeScale);
  duk_int_t rc = duk_safe_call(ctx, fn, udata, nargs, nrets);
  g.armed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  tlsGuard = nullptr;
  if (haveTimer) timer_delete(timer);
  return rc == DUK_EXEC_SUCCESS ? Outcome::Completed : Outcome::Failed;
}

void ScriptGuard::fatal(void*, const char* message) {
  if (GuardState* g = tlsGuard) {
    g->armed = 0;
    siglongjmp(g->jmp, 2);
  }
  log(std::string("web view: fatal script engine error outside an evaluation: ") +
      (message ? message : ""));
  std::abort();
}

bool ScriptGuard::deadlineExpired() {
  GuardState* g = tlsGuard;
  return g && g->expired;
}

bool ScriptGuard::active() { return tlsGuard != nullptr; }

ScriptGuard::NativeScope::NativeScope() { tlsNativeDepth = tlsNativeDepth + 1; }
ScriptGuard::NativeScope::~NativeScope() { tlsNativeDepth = tlsNativeDepth - 1; }

}  // namespace platform::web
