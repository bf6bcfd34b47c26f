// One dispatch of 150 stored hits to a collector on loopback (five pipelined batches of 30,
// each answered hit deleted from the store in its own transaction): wall time, and the peak
// of heap in use above the level before the dispatch (client and loopback server together).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "analytics/OATracker.h"
#include "platform/run_loop.h"
#include "platform/sandbox.h"
#include "testing/raw_tcp_server.h"

namespace {

std::atomic<long> gHeapInUse{0};
std::atomic<long> gHeapPeak{0};

void noteAllocation(void* p) {
  if (!p) return;
  long now = gHeapInUse += static_cast<long>(malloc_usable_size(p));
  long peak = gHeapPeak.load();
  while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  noteAllocation(p);
  return p;
}
// The pointer came from malloc in operator new above.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  if (!p) return;
  gHeapInUse -= static_cast<long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

constexpr int kHits = 150;

void BM_Dispatch150HitsOverLoopback(benchmark::State& state) {
  auto dir = std::filesystem::temp_directory_path() / "adc-bench-analytics-dispatch";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  platform::Sandbox::setHome(dir.string());

  testkit::RawTCPServer server;
  server.setResponder([](const testkit::RawRequest&) {
    testkit::RawAnswer answer;
    answer.headers.emplace_back("Content-Type", "image/gif");
    answer.body = std::string(43, 'G');
    return answer;
  });
  analytics::OATracker::setCollector({"127.0.0.1", server.port()});
  auto tracker = analytics::OATracker::sharedTracker();
  auto& loop = platform::RunLoop::main();
  long peakAbove = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 0, {});
    for (int i = 0; i < kHits; ++i) {
      tracker->trackEventActionLabelValueWithError("game", "level " + std::to_string(i), "won", i);
    }
    const long before = gHeapInUse.load();
    gHeapPeak = before;
    state.ResumeTiming();

    tracker->dispatch();
    loop.runUntil([&] { return tracker->inFlightForTesting() == 0; }, 60.0);

    state.PauseTiming();
    peakAbove = std::max(peakAbove, gHeapPeak.load() - before);
    if (tracker->storedEventsForTesting() != 0) state.SkipWithError("hits left in the store");
    tracker->stopTracker();
    state.ResumeTiming();
  }
  state.counters["hits"] = kHits;
  state.counters["peak_heap_KiB"] = static_cast<double>(peakAbove) / 1024.0;
  state.SetItemsProcessed(state.iterations() * kHits);
}

BENCHMARK(BM_Dispatch150HitsOverLoopback)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
