#include "failing_allocations.h"

#include <cstdlib>

namespace {
thread_local long countdown = -1;
thread_local bool failEvermore = false;
thread_local bool failedOne = false;
thread_local long live = 0;
}  // namespace

namespace platform::test {

void failAllocation(long nth, bool andAfter) {
  countdown = nth;
  failEvermore = andAfter;
  failedOne = false;
}

bool stopFailingAllocations() {
  countdown = -1;
  failEvermore = false;
  return failedOne;
}

long liveAllocations() { return live; }

}  // namespace platform::test

void* operator new(std::size_t size) {
  if (countdown == 0) {
    if (!failEvermore) countdown = -1;
    failedOne = true;
    throw std::bad_alloc();
  }
  if (countdown > 0) --countdown;
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  ++live;
  return p;
}

void operator delete(void* p) noexcept {
  if (!p) return;
  --live;
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
