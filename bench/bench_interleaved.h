#pragma once
// Several readers of the same bytes timed side by side in one process: each round gives every
// side one timed run of at least 0.2 s, the sides taking turns, so that a busy machine slows
// them alike. What counts is each side's median over the rounds, with the slowest and fastest
// round as its range, and the ratios of the medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace benchrounds {

struct Side {
  std::string name;
  // One read of the document; what it returns is kept so the work cannot be dropped.
  std::function<long()> once;
  // Printed at the end of the side's line (what else was measured of it), when not empty.
  std::string note = {};
};

struct Spread {
  double median = 0, low = 0, high = 0;
};

// MB/s of one round of at least 0.2 s.
inline double roundMBps(size_t bytes, const std::function<long()>& once) {
  using Clock = std::chrono::steady_clock;
  volatile long sink = 0;
  long runs = 0;
  const auto start = Clock::now();
  double seconds = 0;
  do {
    for (int i = 0; i < 10; ++i) sink = sink + once();
    runs += 10;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < 0.2);
  return static_cast<double>(bytes) * static_cast<double>(runs) / seconds / 1e6;
}

inline Spread spreadOf(std::vector<double> rates) {
  std::sort(rates.begin(), rates.end());
  return {rates[rates.size() / 2], rates.front(), rates.back()};
}

// Runs `rounds` interleaved rounds of every side over a document of `bytes` bytes, prints a
// line per side (median MB/s, range, the ratio of its median to the last side's, the
// reference, and its note) and returns the spreads in the order of `sides`.
inline std::vector<Spread> compare(const char* document, size_t bytes, const std::vector<Side>& sides,
                                   int rounds = 9) {
  std::vector<std::vector<double>> rates(sides.size());
  for (int r = 0; r < rounds; ++r)
    for (size_t s = 0; s < sides.size(); ++s) rates[s].push_back(roundMBps(bytes, sides[s].once));
  std::vector<Spread> spreads;
  for (auto& side : rates) spreads.push_back(spreadOf(std::move(side)));
  const Spread& reference = spreads.back();
  std::printf("%s (%zu bytes), median MB/s [slowest - fastest round] of %d interleaved rounds:\n", document, bytes,
              rounds);
  for (size_t s = 0; s < sides.size(); ++s)
    std::printf("  %-34s %8.1f [%7.1f - %7.1f]  %5.2fx %s%s%s\n", sides[s].name.c_str(), spreads[s].median,
                spreads[s].low, spreads[s].high, spreads[s].median / reference.median, sides.back().name.c_str(),
                sides[s].note.empty() ? "" : "  ", sides[s].note.c_str());
  return spreads;
}

}  // namespace benchrounds
