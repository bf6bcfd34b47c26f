// The game's analytics service on the Orvane Analytics tracker: page views and events are
// stored on the device, dispatched every ten seconds of (virtual) time to the collector as
// pipelined hits, and what the collector received is printed.
#include <memory>
#include <string>

#include "analytics/OATracker.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/analytics_collector.h"
#include "timeline.h"

namespace adhost {
namespace {

class DispatchPrinter : public analytics::OATrackerDelegate {
 public:
  void trackerDispatchDidCompleteEventsDispatchedEventsFailedDispatch(analytics::OATracker&, unsigned sent,
                                                                      unsigned failed) override {
    notef("tracker", "dispatch complete: %u sent, %u failed", sent, failed);
    ++completions;
  }
  int completions = 0;
};

}  // namespace

bool runAnalyticsScene(const Options& options) {
  heading("Orvane Analytics");
  std::unique_ptr<testkit::AnalyticsCollector> collector;
  if (options.collector.empty()) {
    collector = std::make_unique<testkit::AnalyticsCollector>();
    analytics::OATracker::setCollector({collector->host(), collector->port()});
    notef("collector", "sandbox collector at %@:%u", collector->host(), unsigned(collector->port()));
  } else {
    auto colon = options.collector.rfind(':');
    analytics::OACollectorAddress address;
    address.host = options.collector.substr(0, colon);
    if (colon != std::string::npos) address.port = static_cast<uint16_t>(std::stoi(options.collector.substr(colon + 1)));
    analytics::OATracker::setCollector(address);
    notef("collector", "collector at %@:%u", address.host, unsigned(address.port));
  }

  auto printer = std::make_shared<DispatchPrinter>();
  auto tracker = analytics::OATracker::sharedTracker();
  note("game", "startTracker OA-1234567-1, dispatch period 10 s");
  tracker->startTrackerWithAccountIDDispatchPeriodDelegate("OA-1234567-1", 10, printer);

  std::optional<platform::Error> error;
  tracker->setCustomVariableAtIndexNameValueWithError(1, std::string("device"), std::string("phone"), &error);
  tracker->trackPageviewWithError(std::string("/mainMenu"), &error);
  tracker->trackPageviewWithError(std::string("/levelSelector"), &error);
  for (int level = 1; level <= 43; ++level) {  // 45 hits: a full batch of 30, then 15
    tracker->trackEventActionLabelValueWithError(std::string("flight"), std::string("end"),
                                                 "level " + std::to_string(level), 100 * level, &error);
  }
  // Bad input is refused with an error and stores nothing.
  if (!tracker->trackEventActionLabelValueWithError(std::nullopt, std::string("end"), std::nullopt, 0, &error) && error)
    notef("tracker", "an event without a category is refused: %@ %ld", error->domain, error->code);
  notef("tracker", "%u hits stored", tracker->storedEventsForTesting());

  note("demo", "ten seconds pass");
  pass(10);
  bool ok = passUntil([&] { return tracker->storedEventsForTesting() == 0 && tracker->inFlightForTesting() == 0; }, 10);
  notef("tracker", "%u hits left in the store", tracker->storedEventsForTesting());

  if (collector) {
    heading("What the collector received");
    auto hits = collector->hits();
    notef("collector", "%zu hits over %zu connection(s)", hits.size(), collector->connectionCount());
    size_t shown = 0;
    for (const auto& hit : hits) {
      if (shown++ >= 5) break;
      if (hit.isPageview()) {
        note("collector", "page view " + hit.param("ovap").value_or("?"));
      } else if (auto e = hit.event()) {
        notef("collector", "event %@ / %@ / %@ / %ld", e->category, e->action, e->label.value_or(""), e->value.value_or(0));
      }
    }
    if (hits.size() > shown) notef("collector", "… and %zu more", hits.size() - shown);
    ok = ok && hits.size() == 45;
    collector->stop();
  }
  tracker->stopTracker();
  return ok;
}

ADHOST_SCENE("analytics", 8, runAnalyticsScene);

}  // namespace adhost
