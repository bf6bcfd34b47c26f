// Hits stored per second: through the tracker (input checks, the store's transaction per hit)
// side by side with a plain SQLite program inserting the same rows, one transaction each, in
// the same folder. Both pay the same journal and sync costs; the ratio shows the tracker's own.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "analytics/OATracker.h"
#include "platform/sandbox.h"

namespace {

constexpr int kHitsPerRun = 400;  // under the tracker's 500 per start

std::string home() {
  static const std::string path = [] {
    auto dir = std::filesystem::temp_directory_path() / "adc-bench-analytics";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    platform::Sandbox::setHome(dir.string());
    return dir.string();
  }();
  return path;
}

void BM_TrackerStoresHits(benchmark::State& state) {
  home();
  std::filesystem::remove(platform::Sandbox::documents() + "/orvaneanalytics.sql");
  auto tracker = analytics::OATracker::sharedTracker();
  tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 0, {});
  int i = 0;
  for (auto _ : state) {
    bool ok = tracker->trackEventActionLabelValueWithError("game", "level " + std::to_string(i),
                                                           "won", i);
    benchmark::DoNotOptimize(ok);
    ++i;
  }
  tracker->stopTracker();
  state.SetItemsProcessed(state.iterations());
}

// The plain program: the same table, the same row, BEGIN / INSERT / END per row.
class PlainStore {
 public:
  explicit PlainStore(const std::string& path) {
    std::filesystem::remove(path);
    sqlite3_open(path.c_str(), &db_);
    sqlite3_exec(db_,
                 "CREATE TABLE events ( 'event_id' INTEGER PRIMARY KEY, 'random_val' INTEGER NOT "
                 "NULL, 'timestamp_first' INTEGER NOT NULL, 'timestamp_previous' INTEGER NOT "
                 "NULL, 'timestamp_current' INTEGER NOT NULL, 'visits' INTEGER NOT NULL, "
                 "'category' CHAR(256) NOT NULL, 'action' CHAR(256) NOT NULL, 'label' CHAR(256), "
                 "'value' INTEGER);",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db_, "BEGIN TRANSACTION", -1, &begin_, nullptr);
    sqlite3_prepare_v2(db_,
                       "INSERT INTO events (random_val, timestamp_first, timestamp_previous, "
                       "timestamp_current, visits, category, action, label, value) VALUES (?, ?, "
                       "?, ?, ?, ?, ?, ?, ?);",
                       -1, &insert_, nullptr);
    sqlite3_prepare_v2(db_, "END TRANSACTION", -1, &end_, nullptr);
  }
  ~PlainStore() {
    sqlite3_finalize(begin_);
    sqlite3_finalize(insert_);
    sqlite3_finalize(end_);
    sqlite3_close(db_);
  }
  bool put(const std::string& action, int value) {
    sqlite3_step(begin_);
    sqlite3_reset(begin_);
    sqlite3_bind_int64(insert_, 1, 12345);
    for (int c = 2; c <= 4; ++c) sqlite3_bind_int64(insert_, c, 1800000000);
    sqlite3_bind_int64(insert_, 5, 1);
    sqlite3_bind_text(insert_, 6, "game", -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_, 7, action.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_, 8, "won", -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert_, 9, value);
    bool ok = sqlite3_step(insert_) == SQLITE_DONE;
    sqlite3_reset(insert_);
    ok = sqlite3_step(end_) == SQLITE_DONE && ok;
    sqlite3_reset(end_);
    return ok;
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* end_ = nullptr;
};

void BM_PlainSQLiteStoresRows(benchmark::State& state) {
  PlainStore plain(home() + "/plain.sql");
  int i = 0;
  for (auto _ : state) {
    if (!plain.put("level " + std::to_string(i), i)) state.SkipWithError("insert failed");
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

// Both in turn, hit by hit, so that both see the same disk load; the counters are rates of
// wall time and their ratio (the target is 0.8 or more).
void BM_SideBySide(benchmark::State& state) {
  home();
  std::filesystem::remove(platform::Sandbox::documents() + "/orvaneanalytics.sql");
  PlainStore plain(home() + "/plain.sql");
  auto tracker = analytics::OATracker::sharedTracker();
  tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 0, {});
  double trackerSeconds = 0, plainSeconds = 0;
  int i = 0;
  for (auto _ : state) {
    std::string action = "level " + std::to_string(i);
    auto t0 = std::chrono::steady_clock::now();
    bool ok = tracker->trackEventActionLabelValueWithError("game", action, "won", i);
    auto t1 = std::chrono::steady_clock::now();
    ok = plain.put(action, i) && ok;
    auto t2 = std::chrono::steady_clock::now();
    if (!ok) state.SkipWithError("store failed");
    trackerSeconds += std::chrono::duration<double>(t1 - t0).count();
    plainSeconds += std::chrono::duration<double>(t2 - t1).count();
    ++i;
  }
  tracker->stopTracker();
  state.counters["tracker_hits_per_s"] = i / trackerSeconds;
  state.counters["plain_rows_per_s"] = i / plainSeconds;
  state.counters["ratio"] = plainSeconds / trackerSeconds;
}

BENCHMARK(BM_SideBySide)
    ->Iterations(kHitsPerRun)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_PlainSQLiteStoresRows)
    ->Iterations(kHitsPerRun)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_TrackerStoresHits)
    ->Iterations(kHitsPerRun)
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
