#pragma once
// The settings of one banner slot: ids, the ad type asked for and the banner's size.
// Every field is 0 until set. Main thread only.
#include <string>

namespace pelora {

class PELOAdSettings {
 public:
  int bannerHeight() const { return bannerHeight_; }
  void setBannerHeight(int v) { bannerHeight_ = v; }
  int bannerWidth() const { return bannerWidth_; }
  void setBannerWidth(int v) { bannerWidth_ = v; }
  int adDimension() const { return adDimension_; }
  void setAdDimension(int v) { adDimension_ = v; }
  int adType() const { return adType_; }
  void setAdType(int v) { adType_ = v; }
  int adspaceId() const { return adspaceId_; }
  void setAdspaceId(int v) { adspaceId_ = v; }
  int publisherId() const { return publisherId_; }
  void setPublisherId(int v) { publisherId_ = v; }

  // The settings' part of the request query, its values escaped.
  std::string requestString() const;

 private:
  int bannerHeight_ = 0;
  int bannerWidth_ = 0;
  int adDimension_ = 0;
  int adType_ = 0;
  int adspaceId_ = 0;
  int publisherId_ = 0;
};

}  // namespace pelora
