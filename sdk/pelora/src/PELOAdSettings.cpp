#include "pelora/PELOAdSettings.h"

#include "PELOEnumConverter.h"
#include "PELOQuery.h"
#include "platform/format.h"

namespace pelora {

std::string PELOAdSettings::requestString() const {
  std::string out;
  if (publisherId_ >= 1) out += platform::format("&pub=%d", publisherId_);
  if (adspaceId_ >= 1) out += platform::format("&adspace=%d", adspaceId_);
  if (auto word = PELOAdTypeEnumConverter::stringForValue(adType_); !word.empty()) out += queryPair("format", word);
  if (bannerWidth_ >= 1) out += platform::format("&width=%d", bannerWidth_);
  if (bannerHeight_ >= 1) out += platform::format("&height=%d", bannerHeight_);
  if (auto word = PELOAdDimensionEnumConverter::stringForValue(adDimension_); !word.empty())
    out += queryPair("dimension", word);
  return out;
}

}  // namespace pelora
