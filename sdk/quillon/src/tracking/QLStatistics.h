#pragma once
// Counters, flags and timings about the user's dealings with ads, sent with the next ad
// request and then reset (all but "preqs" and the timing "ptime"). One shared instance for
// the process. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QLStatisticsCore.h"
#include "QLTimingManager.h"
#include "platform/url.h"
#include "platform/value.h"
#include "platform/passkey.h"

namespace quillon {

class QLStatistics {
 public:
  static std::shared_ptr<QLStatistics> sharedStatistics();
  // The timing names, in the order they are reported.
  static const std::vector<std::string>& allTimingNames();

  int64_t incrementAdRequestCount();
  int64_t adRequestCount() const;
  void setAdRequestCount(int64_t count);
  void incrementClickCount();
  void resetClickCount();
  void incrementPageNavigationCount();
  void resetPageNavigationCount();
  void incrementSSLPageNavigationCount();
  void resetSSLPageNavigationCount();
  void setBreakOutToSafari();
  void resetBreakOutToSafari();
  void setAppOpenInterstitialTimeOut();
  void resetAppOpenInterstitialTimeOut();
  void setAppOpenInterstitialNoFill();
  void resetAppOpenInterstitialNoFill();

  // Drops any timing of that name and starts a new one.
  std::shared_ptr<QLTiming> startTimingNamed(const std::string& name);
  void endTimingNamed(const std::string& name);
  std::shared_ptr<QLTiming> timingNamed(const std::string& name) const;
  void removeTimingNamed(const std::string& name);
  // A page of the in-app browser or the web-app page starts and ends loading: "plpl" times
  // the load, "plpd" the display from the first load on.
  void pageDidStartLoading();
  void pageDidFinishLoading();
  // The click timing "pcl" is running.
  bool isTimingClick() const;

  // A tracker finished with `url`: a click-server URL leaves its tracking id ("pit").
  void addClickTrackingURL(const platform::URL& url);
  // Counts the click and times it; returns the URL to open, with the click signal appended
  // when the module gives one. Message URLs and "about:blank" come back unchanged, uncounted.
  platform::URL urlForClick(const platform::URL& url);

  // The parameters of the next ad request; reports the timings and counters and resets them.
  platform::Dictionary parameters();
  // The same parameters without resetting anything, for reports that are not ad requests
  // (an error report must not use up what the next request carries).
  platform::Dictionary snapshotParameters();

  void synchronize();
  uint32_t sessionId() const { return sessionId_; }

  using Passkey = platform::Passkey<QLStatistics>;
  explicit QLStatistics(Passkey);

 private:
  platform::Dictionary buildParameters(bool reset);
  void setFlag(const std::string& key);

  uint32_t sessionId_;
  std::shared_ptr<QLStatisticsCore> statistics_;
  std::shared_ptr<QLTimingManager> timingMgr_;
};

}  // namespace quillon
