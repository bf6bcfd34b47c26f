#pragma once
// The working half of every QLRequest: its location, whether it is for an interstitial, the
// count of requests it was loaded with, and the parameter dictionary handed to the ad-URL
// builder. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "QLLocation.h"
#include "platform/passkey.h"
#include "quillon/QLRequest.h"

namespace quillon {

class QLRequestPrivate : public QLRequest {
 public:
  static std::shared_ptr<QLRequestPrivate> create();
  // A copy of `other` (without its counter).
  static std::shared_ptr<QLRequestPrivate> createWithRequest(const QLRequest& other);

  std::shared_ptr<QLRequest> copy() const override;
  void setLocationWithLatitudeLongitudeAccuracy(double latitude, double longitude, double accuracy) override;
  void setLocationWithDescription(const std::string& description) override;
  void setBirthdayWithMonthDayYear(int month, int day, int year) override;
  void addKeyword(const std::string& keyword) override;

  const std::shared_ptr<QLLocation>& location() const { return location_; }
  void setLocation(std::shared_ptr<QLLocation> location) { location_ = std::move(location); }
  bool isInterstitialAd() const { return interstitialAd_; }
  void setInterstitialAd(bool interstitial) { interstitialAd_ = interstitial; }
  int64_t counter() const { return counter_; }
  void setCounter(int64_t counter) { counter_ = counter; }

  // "m" for male, "f" for female.
  std::optional<std::string> genderString() const;
  // "yyyyMMdd" in the local time zone.
  std::optional<std::string> birthdayString() const;
  std::string description() const;

  // The request facts of an ad request: device facts, targeting, statistics (which are
  // reported and reset) and "preqs".
  platform::Dictionary parameters() const;
  // The same facts for a report that is not an ad request: the statistics are read without
  // being reset, so the next request still carries them.
  platform::Dictionary parametersForReport() const;
  // At most one extra ad-URL parameter from the spam-signal module.
  std::vector<std::pair<std::string, std::string>> spamSignals() const;

  static bool deviceAtLeastMinimumOSMajorVersionMinorVersion(int major, int minor);
  // "quillon" 4, "publisher" 5, "contextual" 1, anything else 0.
  static int requestTypeFromString(const std::string& type);

  using Passkey = platform::Passkey<QLRequestPrivate>;
  explicit QLRequestPrivate(Passkey) {}
  QLRequestPrivate(Passkey, const QLRequest& other) : QLRequest(other) {}

 private:
  platform::Dictionary buildParameters(bool resetStatistics) const;

  std::shared_ptr<QLLocation> location_;
  bool interstitialAd_ = false;
  int64_t counter_ = 0;
};

}  // namespace quillon
