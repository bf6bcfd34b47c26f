#pragma once
// What the publisher tells the ad server about its user, and the request options: made with
// request(), filled, and handed to the banner view or the interstitial. A plain value.
#include <memory>
#include <optional>
#include <string>

#include "platform/value.h"

namespace nubira {

class NBAdRequest {
 public:
  // A request with nothing set, location enquiry and device-id hashing on, test mode off.
  static std::shared_ptr<NBAdRequest> request();

  const std::optional<std::string>& postalCode() const { return postalCode_; }
  void setPostalCode(std::optional<std::string> v) { postalCode_ = std::move(v); }
  const std::optional<std::string>& areaCode() const { return areaCode_; }
  void setAreaCode(std::optional<std::string> v) { areaCode_ = std::move(v); }
  // Sent as given.
  const std::optional<std::string>& dateOfBirth() const { return dateOfBirth_; }
  void setDateOfBirth(std::optional<std::string> v) { dateOfBirth_ = std::move(v); }
  // 0 not set, 1 male, any other value female.
  int gender() const { return gender_; }
  void setGender(int v) { gender_ = v; }
  const std::optional<std::string>& keywords() const { return keywords_; }
  void setKeywords(std::optional<std::string> v) { keywords_ = std::move(v); }
  const std::optional<std::string>& searchString() const { return searchString_; }
  void setSearchString(std::optional<std::string> v) { searchString_ = std::move(v); }
  // 0 means not set for income, education, ethnicity and age.
  unsigned income() const { return income_; }
  void setIncome(unsigned v) { income_ = v; }
  int education() const { return education_; }
  void setEducation(int v) { education_ = v; }
  int ethnicity() const { return ethnicity_; }
  void setEthnicity(int v) { ethnicity_ = v; }
  unsigned age() const { return age_; }
  void setAge(unsigned v) { age_ = v; }
  const std::optional<std::string>& interests() const { return interests_; }
  void setInterests(std::optional<std::string> v) { interests_ = std::move(v); }
  // Extra pairs sent as they are, in the dictionary's order. Keys and values must be
  // strings: a request holding anything else is refused when it is built. Kept as a copy.
  const std::optional<platform::Dictionary>& paramsDictionary() const { return paramsDictionary_; }
  void setParamsDictionary(std::optional<platform::Dictionary> v) { paramsDictionary_ = std::move(v); }

  bool isLocationEnquiryAllowed() const { return isLocationEnquiryAllowed_; }
  void setIsLocationEnquiryAllowed(bool v) { isLocationEnquiryAllowed_ = v; }
  bool testMode() const { return testMode_; }
  void setTestMode(bool v) { testMode_ = v; }
  bool UDIDHashingAllowed() const { return UDIDHashingAllowed_; }
  void setUDIDHashingAllowed(bool v) { UDIDHashingAllowed_ = v; }

 private:
  std::optional<std::string> postalCode_;
  std::optional<std::string> areaCode_;
  std::optional<std::string> dateOfBirth_;
  int gender_ = 0;
  std::optional<std::string> keywords_;
  std::optional<std::string> searchString_;
  unsigned income_ = 0;
  int education_ = 0;
  int ethnicity_ = 0;
  unsigned age_ = 0;
  std::optional<std::string> interests_;
  std::optional<platform::Dictionary> paramsDictionary_;
  bool isLocationEnquiryAllowed_ = true;
  bool testMode_ = false;
  bool UDIDHashingAllowed_ = true;
};

}  // namespace nubira
