#include "ORMMAConnector.h"

#include <array>

namespace pelora {

std::optional<std::string> ORMMAConnector::bannerStateString(int state) {
  static constexpr std::array<const char*, 7> kWords{"unknown", "default", "expanded", "resized",
                                                     "hidden",  "loadingVideo", "playingVideo"};
  if (state < 0 || state >= static_cast<int>(kWords.size())) return std::nullopt;
  return kWords[state];
}

void ORMMAConnector::setOrmmaView(std::weak_ptr<platform::WebView> view) {
  ormmaView_ = std::move(view);
  isORMMA_ = false;
  bannerState_ = kUnknown;
}

bool ORMMAConnector::parseORMMAResponse(const std::string&) { return false; }

void ORMMAConnector::webViewFinishedLoad(bool) { bannerState_ = kDefault; }

}  // namespace pelora
