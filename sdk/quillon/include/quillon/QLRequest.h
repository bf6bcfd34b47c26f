#pragma once
// What a host asks for with an ad load: targeting facts and test switches. Every request is
// made by request() (or copy()); its working half lives in the client. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/value.h"

namespace quillon {

enum QLGender : int { kQLGenderUnknown = 0, kQLGenderMale = 1, kQLGenderFemale = 2 };

class QLRequest {
 public:
  virtual ~QLRequest() = default;

  // A new, empty request.
  static std::shared_ptr<QLRequest> request();
  // "quillon-sdk-i-v4.1.1"
  static const std::string& sdkVersion();

  // An equal request; the count of requests it was loaded with is not copied.
  virtual std::shared_ptr<QLRequest> copy() const = 0;

  const std::optional<std::vector<std::string>>& keywords() const { return keywords_; }
  void setKeywords(std::optional<std::vector<std::string>> keywords) { keywords_ = std::move(keywords); }
  // Seconds since 1970.
  std::optional<double> birthday() const { return birthday_; }
  void setBirthday(std::optional<double> birthday) { birthday_ = birthday; }
  const std::vector<std::string>& testDevices() const { return testDevices_; }
  void setTestDevices(std::vector<std::string> devices) { testDevices_ = std::move(devices); }
  const std::optional<platform::Dictionary>& additionalParameters() const { return additionalParameters_; }
  void setAdditionalParameters(std::optional<platform::Dictionary> parameters) {
    additionalParameters_ = std::move(parameters);
  }
  // Deprecated: use testDevices.
  bool isTesting() const { return testing_; }
  void setTesting(bool testing) { testing_ = testing; }
  int gender() const { return gender_; }
  void setGender(int gender) { gender_ = gender; }

  // Degrees, degrees, metres. A point on the equator or the prime meridian, or out of
  // range, is no location: the request then carries none.
  virtual void setLocationWithLatitudeLongitudeAccuracy(double latitude, double longitude, double accuracy) = 0;
  // Free text; an empty text is no location.
  virtual void setLocationWithDescription(const std::string& description) = 0;
  // The date of those Gregorian components in the local time zone.
  virtual void setBirthdayWithMonthDayYear(int month, int day, int year) = 0;
  // An empty keyword is ignored.
  virtual void addKeyword(const std::string& keyword) = 0;

 protected:
  QLRequest() = default;
  QLRequest(const QLRequest&) = default;

  std::optional<std::vector<std::string>> keywords_;
  std::optional<double> birthday_;
  std::vector<std::string> testDevices_;
  std::optional<platform::Dictionary> additionalParameters_;
  bool testing_ = false;
  int gender_ = kQLGenderUnknown;
};

}  // namespace quillon
