#include "pacing.h"

#include <utility>
#include <vector>

#include "platform/run_loop.h"
#include "testing/loopback_traffic.h"
#include "timeline.h"

namespace adhost {
namespace {

// The conditions of the live SettledWhile scopes, innermost last.
std::vector<testkit::SettledCondition>& conditions() {
  static std::vector<testkit::SettledCondition> all;
  return all;
}

bool gEveryWaitSettled = true;

// Moves time as pass() does; `done`, when set, stops it at the first instant it holds.
bool advanceSettling(double seconds, const std::function<bool()>& done) {
  bool settled = true;
  platform::RunLoop::main().advance(seconds, [&] {
    // A wait that gave up is on the timeline; time still moves, so the scene goes on to its
    // own checks rather than stopping where it stood.
    settled = settle() && settled;
    return !done || !done();
  });
  return settled;
}

}  // namespace

bool settle() {
  const std::string underWay =
      testkit::settleLoopbackTraffic(platform::RunLoop::main(), kSettleRealSeconds, conditions());
  if (underWay.empty()) return true;
  gEveryWaitSettled = false;
  note("demo", "gave up waiting, still under way after " + std::to_string(static_cast<int>(kSettleRealSeconds)) +
                   " s of real time:\n" + underWay);
  return false;
}

bool everyWaitSettled() { return gEveryWaitSettled; }

bool pass(double seconds) { return advanceSettling(seconds, {}); }

bool passUntil(const std::function<bool()>& done, double atMostSeconds) {
  if (!advanceSettling(atMostSeconds, done)) return false;
  return done();
}

SettledWhile::SettledWhile(std::string what, std::function<bool()> settled) {
  conditions().emplace_back(std::move(what), std::move(settled));
}

SettledWhile::~SettledWhile() { conditions().pop_back(); }

}  // namespace adhost
