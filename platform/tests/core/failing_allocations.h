#pragma once
// The test binary's own operator new, which counts what this thread holds and can be told to
// fail, so that a test sweeps a failure over every allocation of an operation.
#include <cstddef>
#include <new>

#include <gtest/gtest.h>

namespace platform::test {

// From the `nth` allocation of this thread on (0: the next one), allocations throw
// std::bad_alloc: that one only, or every one after it too.
void failAllocation(long nth, bool andAfter = false);
// Lets allocations succeed again; true when one failed since failAllocation.
bool stopFailingAllocations();
// This thread's allocations not freed yet.
long liveAllocations();

// Runs `attempt` with its first allocation failing, then its second, and so on until it runs
// through; each run must leave every allocation it made freed. Returns the failures swept.
template <class Attempt>
long sweepAllocationFailures(Attempt attempt) {
  for (long nth = 0;; ++nth) {
    const long before = liveAllocations();
    failAllocation(nth);
    try {
      attempt();
    } catch (const std::bad_alloc&) {
    }
    const bool failed = stopFailingAllocations();
    EXPECT_EQ(liveAllocations(), before) << "allocation " << nth << " failing left memory behind";
    if (!failed) return nth;
  }
}

}  // namespace platform::test
