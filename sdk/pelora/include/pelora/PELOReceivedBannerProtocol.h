#pragma once
// What an ad listener may read of a received banner, and the numbers the banner's words
// stand for.
#include <string>
#include <vector>

namespace pelora {

enum PELOAdDimension : int { kPELOAdDimensionXXLarge = 0, kPELOAdDimensionMedRect = 1, kPELOAdDimensionLeader = 2, kPELOAdDimensionSky = 3 };
enum PELOAdType : int { kPELOAdTypeAll = 0, kPELOAdTypeImage = 1, kPELOAdTypeText = 2, kPELOAdTypeVideo = 3, kPELOAdTypeRichMedia = 4 };
enum PELOBannerStatus : int { kPELOBannerStatusSuccess = 0, kPELOBannerStatusError = 1 };
enum PELOErrorCode : int {
  kPELOErrorCodeNoError = 0,
  kPELOErrorCodeUnknownPublisher = 1,      // "106"
  kPELOErrorCodeNoConnectionError = 2,     // set by the client: the server could not be reached
  kPELOErrorCodeNoAd = 3,                  // "42"
  kPELOErrorCodeAdPageFailed = 4,          // "107"; set by the client: the ad page did not load
  kPELOErrorCodeParsingError = 5,          // set by the client: the answer was not well-formed
};
enum PELOGender : int { kPELOGenderUnset = 0, kPELOGenderMale = 1, kPELOGenderFemale = 2 };

class PELOReceivedBannerProtocol {
 public:
  virtual ~PELOReceivedBannerProtocol() = default;
  virtual int status() const = 0;
  virtual const std::string& richMediaData() const = 0;
  virtual const std::vector<std::string>& beacons() const = 0;
  virtual const std::string& mediaFile() const = 0;
  virtual const std::string& adText() const = 0;
  virtual const std::string& imageUrl() const = 0;
  virtual int errorCode() const = 0;
  virtual const std::string& errorMessage() const = 0;
  virtual int adType() const = 0;
  virtual const std::string& clickUrl() const = 0;
};

}  // namespace pelora
