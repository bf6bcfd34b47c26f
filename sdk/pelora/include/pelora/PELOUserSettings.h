#pragma once
// The user's targeting data, sent with every request while userProfileEnabled holds. The
// location feed writes latitude and longitude. Main thread only.
#include <string>

namespace pelora {

class PELOUserSettings {
 public:
  bool userProfileEnabled() const { return userProfileEnabled_; }
  void setUserProfileEnabled(bool v) { userProfileEnabled_ = v; }
  double longitude() const { return longitude_; }
  void setLongitude(double v) { longitude_ = v; }
  double latitude() const { return latitude_; }
  void setLatitude(double v) { latitude_ = v; }
  const std::string& zip() const { return zip_; }
  void setZip(std::string v) { zip_ = std::move(v); }
  const std::string& city() const { return city_; }
  void setCity(std::string v) { city_ = std::move(v); }
  const std::string& country() const { return country_; }
  void setCountry(std::string v) { country_ = std::move(v); }
  const std::string& region() const { return region_; }
  void setRegion(std::string v) { region_ = std::move(v); }
  const std::string& searchQuery() const { return searchQuery_; }
  void setSearchQuery(std::string v) { searchQuery_ = std::move(v); }
  const std::string& keywordList() const { return keywordList_; }
  void setKeywordList(std::string v) { keywordList_ = std::move(v); }
  int age() const { return age_; }
  void setAge(int v) { age_ = v; }
  int userGender() const { return userGender_; }
  void setUserGender(int v) { userGender_ = v; }

  // The targeting part of the request query, its values escaped.
  std::string requestString() const;

 private:
  bool userProfileEnabled_ = true;
  double longitude_ = 0;
  double latitude_ = 0;
  std::string zip_, city_, country_, region_, searchQuery_, keywordList_;
  int age_ = 0;
  int userGender_ = 0;
};

}  // namespace pelora
