// A process of its own for the relaunch test: "track <home> <port> <count>" tracks hits,
// printing the number of each one the tracker accepted, and dispatches every few hits until
// it is killed; "deliver <home> <port>" dispatches until the store is empty, then exits.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analytics/OATracker.h"
#include "platform/run_loop.h"
#include "platform/sandbox.h"

using analytics::OATracker;

namespace {

bool dispatchAndWait(OATracker& tracker) {
  if (!tracker.dispatch()) return false;
  return platform::RunLoop::main().runUntil([&] { return tracker.inFlightForTesting() == 0; }, 20.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[1];
  platform::Sandbox::setHome(argv[2]);
  OATracker::setCollector({"127.0.0.1", static_cast<uint16_t>(std::atoi(argv[3]))});
  auto tracker = OATracker::sharedTracker();
  tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234-5", 0, {});
  if (mode == "track" && argc == 5) {
    const int count = std::atoi(argv[4]);
    for (int i = 1; i <= count; ++i) {
      if (tracker->trackEventActionLabelValueWithError("c", "hit " + std::to_string(i), std::nullopt, -1, nullptr)) {
        std::printf("%d\n", i);
        std::fflush(stdout);
      }
      if (i % 7 == 0) dispatchAndWait(*tracker);
    }
    for (;;) {  // until killed
      if (!dispatchAndWait(*tracker)) platform::RunLoop::main().runUntil([] { return false; }, 0.01);
    }
  }
  if (mode == "deliver") {
    for (int i = 0; i < 50 && tracker->storedEventsForTesting() > 0; ++i) dispatchAndWait(*tracker);
    return tracker->storedEventsForTesting() == 0 ? 0 : 1;
  }
  return 2;
}
