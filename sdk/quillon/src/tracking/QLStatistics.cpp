#include "QLStatistics.h"

#include "QLConfiguration.h"
#include "QLNetworkUtilities.h"
#include "QLNotification.h"
#include "QLSpamSignals.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/singleton.h"

namespace quillon {

using platform::Dictionary;
using platform::URL;
using platform::Value;

namespace {
platform::ResettableSingleton<QLStatistics> gShared;

constexpr const char* kAdRequests = "preqs";
constexpr const char* kClicks = "pcc";
constexpr const char* kPageNavigations = "plpnc";
constexpr const char* kSSLPageNavigations = "plpsnc";
constexpr const char* kBreakOutToSafari = "pcbo";
constexpr const char* kAppOpenTimedOut = "aoi_timedout";
constexpr const char* kAppOpenNoFill = "aoi_nofill";
constexpr const char* kClickTiming = "pcl";
constexpr const char* kClickURLTiming = "pcrl";
constexpr const char* kShowToClickTiming = "ppcl";
constexpr const char* kProcessTiming = "ptime";
constexpr double kSecondsFrom1970To2001 = 978307200.0;

// (random - 1) / (2^31 - 1) * (2^32 - 1), held inside the 32-bit range: random() may be 0.
uint32_t makeSessionId() {
  double now = platform::Clock::current().now() - kSecondsFrom1970To2001;
  platform::Random::srandom(static_cast<unsigned>(static_cast<int64_t>(now)));
  double id = (static_cast<double>(platform::Random::random()) - 1) / 2147483647.0 * 4294967295.0;
  if (!(id > 0)) return 0;
  if (id >= 4294967295.0) return UINT32_MAX;
  return static_cast<uint32_t>(id);
}
}  // namespace

std::shared_ptr<QLStatistics> QLStatistics::sharedStatistics() {
  return gShared.get([] { return std::make_shared<QLStatistics>(Passkey{}); });
}

const std::vector<std::string>& QLStatistics::allTimingNames() {
  static const std::vector<std::string> names = {"prl", "pcl", "pai", "ppcl", "pcrl", "plpl", "plpd", "ptime"};
  return names;
}

QLStatistics::QLStatistics(Passkey)
    : sessionId_(makeSessionId()),
      statistics_(QLStatisticsCore::create("shared")),
      timingMgr_(QLTimingManager::create("shared")) {}

int64_t QLStatistics::incrementAdRequestCount() { return statistics_->addValueNumberForKey(1, kAdRequests); }
int64_t QLStatistics::adRequestCount() const { return statistics_->numberForKey(kAdRequests).integerValue(); }
void QLStatistics::setAdRequestCount(int64_t count) { statistics_->setNumberForKey(Value(count), kAdRequests); }
void QLStatistics::incrementClickCount() { statistics_->addValueNumberForKey(1, kClicks); }
void QLStatistics::resetClickCount() { statistics_->setNumberForKey(Value(0), kClicks); }
void QLStatistics::incrementPageNavigationCount() { statistics_->addValueNumberForKey(1, kPageNavigations); }
void QLStatistics::resetPageNavigationCount() { statistics_->setNumberForKey(Value(0), kPageNavigations); }
void QLStatistics::incrementSSLPageNavigationCount() { statistics_->addValueNumberForKey(1, kSSLPageNavigations); }
void QLStatistics::resetSSLPageNavigationCount() { statistics_->setNumberForKey(Value(0), kSSLPageNavigations); }
void QLStatistics::setFlag(const std::string& key) { statistics_->setNumberForKey(Value(1), key); }
void QLStatistics::setBreakOutToSafari() { setFlag(kBreakOutToSafari); }
void QLStatistics::resetBreakOutToSafari() { statistics_->removeObjectForKey(kBreakOutToSafari); }
void QLStatistics::setAppOpenInterstitialTimeOut() { setFlag(kAppOpenTimedOut); }
void QLStatistics::resetAppOpenInterstitialTimeOut() { statistics_->removeObjectForKey(kAppOpenTimedOut); }
void QLStatistics::setAppOpenInterstitialNoFill() { setFlag(kAppOpenNoFill); }
void QLStatistics::resetAppOpenInterstitialNoFill() { statistics_->removeObjectForKey(kAppOpenNoFill); }

std::shared_ptr<QLTiming> QLStatistics::startTimingNamed(const std::string& name) {
  timingMgr_->removeTimingForCategory(name);
  auto timing = timingMgr_->addTimingWithCategory(name);
  timing->start();
  return timing;
}

void QLStatistics::endTimingNamed(const std::string& name) {
  if (auto timing = timingMgr_->timingForCategory(name)) timing->end();
}

std::shared_ptr<QLTiming> QLStatistics::timingNamed(const std::string& name) const {
  return timingMgr_->timingForCategory(name);
}

void QLStatistics::removeTimingNamed(const std::string& name) { timingMgr_->removeTimingForCategory(name); }

void QLStatistics::pageDidStartLoading() {
  auto load = timingNamed("plpl");
  if (!load || !load->isActive()) startTimingNamed("plpl");
}

void QLStatistics::pageDidFinishLoading() {
  endTimingNamed("plpl");
  if (!timingNamed("plpd")) startTimingNamed("plpd");
}

bool QLStatistics::isTimingClick() const {
  auto timing = timingNamed(kClickTiming);
  return timing && timing->isActive();
}

void QLStatistics::addClickTrackingURL(const URL& url) {
  const std::string host = url.host().value_or("");
  const std::string suffix = QLConfiguration::current().clickServerDomainSuffix;
  if (suffix.empty() || host.size() < suffix.size() ||
      host.compare(host.size() - suffix.size(), suffix.size(), suffix) != 0)
    return;
  const std::string path = url.path();
  if (path.size() < 5) return;
  if (auto timing = timingNamed(kClickTiming)) timing->setValueForKey(Value(path.substr(4)), "pit");
}

URL QLStatistics::urlForClick(const URL& url) {
  if (QLNotification::isNotificationURL(url) || url.absoluteString() == "about:blank") return url;
  incrementClickCount();
  auto click = startTimingNamed(kClickTiming);
  startTimingNamed(kClickURLTiming);
  endTimingNamed(kShowToClickTiming);
  click->setValueForKey(Value::date(platform::Clock::current().now()), "date");
  if (auto ai = QLNetworkUtilities::parameterValueForKeyFromURL("ai", url)) click->setValueForKey(Value(*ai), "pai");
  URL result = QLSpamSignals::urlWithClickSignal(url);
  endTimingNamed(kClickURLTiming);
  return result;
}

Dictionary QLStatistics::parameters() { return buildParameters(true); }

Dictionary QLStatistics::snapshotParameters() { return buildParameters(false); }

Dictionary QLStatistics::buildParameters(bool reset) {
  Dictionary out;
  out.set("session_id", Value(sessionId_));
  bool clickTimed = timingNamed(kClickTiming) != nullptr;
  if (reset) {
    if (!clickTimed) removeTimingNamed(kShowToClickTiming);
    if (auto click = timingNamed(kClickTiming)) click->removeValueForKey("date");
  }
  for (const auto& name : allTimingNames()) {
    auto timing = timingNamed(name);
    if (!timing) continue;
    if (!reset && name == kShowToClickTiming && !clickTimed) continue;
    out.set(name, Value(timing->elapsedMillisecondsString()));
    for (const auto& [key, value] : timing->keysAndValues())
      if (reset || !(name == kClickTiming && key == "date")) out.set(key, value);
    if (reset && name != kProcessTiming) removeTimingNamed(name);
  }
  for (const char* key : {kAdRequests, kClicks, kPageNavigations, kSSLPageNavigations, kBreakOutToSafari,
                          kAppOpenTimedOut, kAppOpenNoFill}) {
    int64_t count = statistics_->numberForKey(key).integerValue();
    if (count != 0) out.set(key, Value(count));
  }
  if (reset) {
    for (const char* key : {kClicks, kPageNavigations, kSSLPageNavigations})
      statistics_->setNumberForKey(Value(0), key);
    for (const char* key : {kBreakOutToSafari, kAppOpenTimedOut, kAppOpenNoFill}) statistics_->removeObjectForKey(key);
  }
  return out;
}

void QLStatistics::synchronize() {
  statistics_->synchronize();
  timingMgr_->synchronize();
}

}  // namespace quillon
