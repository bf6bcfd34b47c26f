#pragma once
// How many heap bytes a program holds, whoever allocates them (operator new, a library's own
// pool over malloc, a parser's reused buffers, another thread): the program's malloc family
// hands every call on to the C library's own allocator and, only while a measure runs, adds up
// the usable size of each block given out and subtracts it for each block given back, keeping
// the highest sum reached. Outside a measure the cost is one more call and a test, so timed
// runs are not held up. Include it from the one source file of a bench program.
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
void __libc_free(void*);
}

namespace benchheap {

inline std::atomic<bool> counting{false};
inline std::atomic<long long> heldBytes{0};
inline std::atomic<long long> peakBytes{0};

inline void change(long long bytes) {
  const long long now = heldBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  long long peak = peakBytes.load(std::memory_order_relaxed);
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

inline void* given(void* block) {
  if (block && counting.load(std::memory_order_relaxed)) change(static_cast<long long>(malloc_usable_size(block)));
  return block;
}

inline void takenBack(void* block) {
  if (block && counting.load(std::memory_order_relaxed)) change(-static_cast<long long>(malloc_usable_size(block)));
}

// Starts a measure from zero: from here on, what is given out and not given back (a block
// given back that came before counts less), and the highest that reached.
inline void start() {
  heldBytes = 0;
  peakBytes = 0;
  counting = true;
}

inline void stop() { counting = false; }
inline long long held() { return heldBytes.load(); }
inline long long peak() { return peakBytes.load(); }

// Heap bytes held by what `build()` returns, measured while it is still alive: what its
// building allocated and did not give back (blocks counted at their usable size, so with the
// allocator's rounding). Call it once unmeasured first when the reader keeps state of its own.
template <class Build>
long long heldBy(Build&& build) {
  start();
  auto tree = build();
  stop();
  (void)tree;
  return held();
}

}  // namespace benchheap

extern "C" {

void* malloc(size_t size) noexcept { return benchheap::given(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) noexcept { return benchheap::given(__libc_calloc(count, size)); }
void* memalign(size_t alignment, size_t size) noexcept { return benchheap::given(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  return benchheap::given(__libc_memalign(alignment, size));
}
void* valloc(size_t size) noexcept { return benchheap::given(__libc_valloc(size)); }
void* pvalloc(size_t size) noexcept { return benchheap::given(__libc_pvalloc(size)); }

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* block = __libc_memalign(alignment, size);
  if (!block) return ENOMEM;
  *out = benchheap::given(block);
  return 0;
}

void* realloc(void* block, size_t size) noexcept {
  const bool counting = benchheap::counting.load(std::memory_order_relaxed);
  const long long before = (counting && block) ? static_cast<long long>(malloc_usable_size(block)) : 0;
  void* moved = __libc_realloc(block, size);
  if (counting) {
    // A failed growth leaves the block as it was; a zero size gives it back.
    if (moved) benchheap::change(static_cast<long long>(malloc_usable_size(moved)) - before);
    else if (size == 0) benchheap::change(-before);
  }
  return moved;
}

void free(void* block) noexcept {
  benchheap::takenBack(block);
  __libc_free(block);
}

}  // extern "C"
