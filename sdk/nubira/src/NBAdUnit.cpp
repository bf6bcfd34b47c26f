#include "NBAdUnit.h"

#include "NBSDKUtil.h"
#include "platform/log.h"

namespace nubira {

bool NBAdUnit::isValid() const {
  auto util = NBSDKUtil::util();
  if (adActionType == 0) {
    util->logAbove(1, "no ad action specified..");
    return false;
  }
  if (width == 0 || height == 0) {
    util->logAbove(1, "dimensions are null");
    return false;
  }
  if (adType == NBAdTypeRichMedia) return true;
  if (targetUrl) return true;
  util->logAbove(1, "target url is null");
  return false;
}

void NBAdUnit::print() const {
  platform::logf("width=%d,height=%d", width, height);
  platform::logf("adtype=%d", adType);
  platform::logf("adurl=%@", targetUrl ? platform::Value(*targetUrl) : platform::Value());
  platform::logf("cdata=%@", CDATABlock ? platform::Value(*CDATABlock) : platform::Value());
  platform::logf("adactiontype=%d", adActionType);
}

int NBAdUnit::getAdType(std::string_view type) {
  if (type == "text") return NBAdTypeText;
  if (type == "banner") return NBAdTypeBanner;
  if (type == "search") return NBAdTypeSearch;
  if (type == "rm") return NBAdTypeRichMedia;
  return NBAdTypeUnknown;
}

}  // namespace nubira
