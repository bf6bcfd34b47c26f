#pragma once
// One ad answer as the client read it. A new banner is an ERROR banner (code 0, message "")
// until an answer says otherwise. Main thread only.
#include <string>
#include <vector>

#include "pelora/PELOReceivedBannerProtocol.h"

namespace pelora {

class PELOReceivedBanner : public PELOReceivedBannerProtocol {
 public:
  const std::string& errorMessage() const override { return errorMessage_; }
  void setErrorMessage(std::string v) { errorMessage_ = std::move(v); }
  int errorCode() const override { return errorCode_; }
  void setErrorCode(int v) { errorCode_ = v; }
  const std::string& imageUrl() const override { return imageUrl_; }
  void setImageUrl(std::string v) { imageUrl_ = std::move(v); }
  const std::string& adText() const override { return adText_; }
  void setAdText(std::string v) { adText_ = std::move(v); }
  const std::string& mediaFile() const override { return mediaFile_; }
  void setMediaFile(std::string v) { mediaFile_ = std::move(v); }
  const std::vector<std::string>& beacons() const override { return beacons_; }
  void setBeacons(std::vector<std::string> v) { beacons_ = std::move(v); }
  void addBeacon(std::string v) { beacons_.push_back(std::move(v)); }
  const std::string& clickUrl() const override { return clickUrl_; }
  void setClickUrl(std::string v) { clickUrl_ = std::move(v); }
  const std::string& richMediaData() const override { return richMediaData_; }
  void setRichMediaData(std::string v) { richMediaData_ = std::move(v); }
  int adType() const override { return adType_; }
  void setAdType(int v) { adType_ = v; }
  int status() const override { return status_; }
  void setStatus(int v) { status_ = v; }
  const std::string& sessionId() const { return sessionId_; }
  void setSessionId(std::string v) { sessionId_ = std::move(v); }

 private:
  std::string errorMessage_;
  int errorCode_ = 0;
  std::string imageUrl_, adText_, mediaFile_;
  std::vector<std::string> beacons_;
  std::string clickUrl_, richMediaData_;
  int adType_ = 0;
  int status_ = kPELOBannerStatusError;
  std::string sessionId_;
};

}  // namespace pelora
