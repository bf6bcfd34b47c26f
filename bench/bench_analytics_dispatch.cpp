// One dispatch of 150 stored hits to a collector on loopback (five pipelined batches of 30,
// each answered hit deleted from the store in its own transaction): wall time, and the peak
// of heap in use above the level before the dispatch (client and loopback server together).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "bench_heap.h"

#include "analytics/OATracker.h"
#include "platform/run_loop.h"
#include "platform/sandbox.h"
#include "testing/raw_tcp_server.h"

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
  long long peakAbove = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 0, {});
    for (int i = 0; i < kHits; ++i) {
      tracker->trackEventActionLabelValueWithError("game", "level " + std::to_string(i), "won", i);
    }
    benchheap::start();
    state.ResumeTiming();

    tracker->dispatch();
    loop.runUntil([&] { return tracker->inFlightForTesting() == 0; }, 60.0);

    state.PauseTiming();
    benchheap::stop();
    peakAbove = std::max(peakAbove, benchheap::peak());
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
