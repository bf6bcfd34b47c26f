#include "QLRequestPrivate.h"

#include <algorithm>

#include "QLIdentifierUtilities.h"
#include "QLNetworkChecker.h"
#include "QLSpamSignals.h"
#include "QLStatistics.h"
#include "platform/calendar.h"
#include "platform/date_formatter.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/log.h"

namespace quillon {

using platform::Dictionary;
using platform::Value;

std::shared_ptr<QLRequest> QLRequest::request() { return QLRequestPrivate::create(); }

const std::string& QLRequest::sdkVersion() {
  static const std::string version = platform::format("quillon-sdk-i-v%d.%d.%d", 4, 1, 1);
  return version;
}

std::shared_ptr<QLRequestPrivate> QLRequestPrivate::create() { return std::make_shared<QLRequestPrivate>(Passkey{}); }

std::shared_ptr<QLRequestPrivate> QLRequestPrivate::createWithRequest(const QLRequest& other) {
  auto copy = std::make_shared<QLRequestPrivate>(Passkey{}, other);
  if (auto p = dynamic_cast<const QLRequestPrivate*>(&other)) {
    copy->location_ = p->location_;  // immutable, so shared
    copy->interstitialAd_ = p->interstitialAd_;
  }
  return copy;
}

std::shared_ptr<QLRequest> QLRequestPrivate::copy() const { return createWithRequest(*this); }

void QLRequestPrivate::setLocationWithLatitudeLongitudeAccuracy(double latitude, double longitude, double accuracy) {
  location_ = QLLocation::createWithLatitudeLongitudeAccuracy(latitude, longitude, accuracy);
}

void QLRequestPrivate::setLocationWithDescription(const std::string& description) {
  location_ = QLLocation::createWithDescription(description);
}

void QLRequestPrivate::setBirthdayWithMonthDayYear(int month, int day, int year) {
  platform::DateComponents fields;
  fields.year = year;
  fields.month = month;
  fields.day = day;
  birthday_ = platform::Calendar::date(fields, platform::TimeZone::local());
}

void QLRequestPrivate::addKeyword(const std::string& keyword) {
  if (keyword.empty()) return;
  if (!keywords_) keywords_.emplace();
  keywords_->push_back(keyword);
}

std::optional<std::string> QLRequestPrivate::genderString() const {
  if (gender_ == kQLGenderMale) return "m";
  if (gender_ == kQLGenderFemale) return "f";
  return std::nullopt;
}

std::optional<std::string> QLRequestPrivate::birthdayString() const {
  if (!birthday_) return std::nullopt;
  return platform::DateFormatter("yyyyMMdd").stringFromDate(*birthday_);
}

std::string QLRequestPrivate::description() const {
  std::string gender = gender_ == kQLGenderMale ? "\ngender:Male" : gender_ == kQLGenderFemale ? "\ngender:Female" : "";
  std::string birthday = birthday_ ? platform::format("\nbirthday:%@", Value::date(*birthday_)) : "";
  std::string location = location_ ? platform::format("\nlocation:%@", location_->description()) : "";
  std::string keywords;
  if (keywords_) {
    platform::Array list(keywords_->begin(), keywords_->end());
    keywords = platform::format("\nkeywords:%@", Value(std::move(list)));
  }
  std::string extras =
      additionalParameters_ ? platform::format("\nadditionalParameters:%@", Value(*additionalParameters_)) : "";
  return platform::format("%@<%p>: %@%@%@%@%@", "QLRequest", static_cast<const void*>(this), gender, birthday, location,
                          keywords, extras);
}

Dictionary QLRequestPrivate::parameters() const { return buildParameters(true); }

Dictionary QLRequestPrivate::parametersForReport() const { return buildParameters(false); }

Dictionary QLRequestPrivate::buildParameters(bool resetStatistics) const {
  Dictionary out = QLIdentifierUtilities::sharedInstance()->parameters();
  out.set("js", Value(sdkVersion()));
  if (auto net = QLNetworkChecker::sharedChecker()->networkTypeString()) out.set("net", Value(*net));
  if (testing_) {
    out.set("testing", Value("1"));
    platform::log("<Quillon> \"testing\" property has been deprecated.  Use \"testDevices\" instead.");
  }
  const std::string device = platform::Device::currentDevice().uniqueIdentifier();
  if (std::find(testDevices_.begin(), testDevices_.end(), device) != testDevices_.end()) out.set("adtest", Value("on"));
  if (additionalParameters_) out.set("extras", Value(*additionalParameters_));
  if (auto gender = genderString()) out.set("cust_gender", Value(*gender));
  if (auto birthday = birthdayString()) out.set("cust_age", Value(*birthday));
  if (keywords_) out.set("kw", Value(platform::Array(keywords_->begin(), keywords_->end())));
  if (location_)
    if (auto text = location_->encodedRepresentation()) out.set("qloc", Value(*text));
  auto statistics = QLStatistics::sharedStatistics();
  Dictionary stats = resetStatistics ? statistics->parameters() : statistics->snapshotParameters();
  for (const auto& [key, value] : stats) out.set(key, value);
  out.set("preqs", Value(counter_));
  return out;
}

std::vector<std::pair<std::string, std::string>> QLRequestPrivate::spamSignals() const {
  std::string signal;
  if (!QLSpamSignals::fillAdURLSignal(signal)) return {};
  size_t eq = signal.find('=');
  if (eq == std::string::npos) return {};
  std::string key = signal.substr(0, eq);
  std::string rest = signal.substr(eq + 1);
  std::string value = rest.substr(0, rest.find('='));
  if (value.empty()) return {};
  return {{key, value}};
}

bool QLRequestPrivate::deviceAtLeastMinimumOSMajorVersionMinorVersion(int major, int minor) {
  int haveMajor = 0;
  int haveMinor = 0;
  QLIdentifierUtilities::getOSMajorMinorBugFix(&haveMajor, &haveMinor, nullptr);
  return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}

int QLRequestPrivate::requestTypeFromString(const std::string& type) {
  if (type == "quillon") return 4;
  if (type == "publisher") return 5;
  if (type == "contextual") return 1;
  return 0;
}

}  // namespace quillon
