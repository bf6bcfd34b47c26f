#pragma once
// Hears every banner a downloader (or a banner view) delivers, errors included.
#include <memory>

#include "pelora/PELOReceivedBannerProtocol.h"

namespace pelora {

class PELOAdDownloaderProtocol;

class PELOAdListenerProtocol {
 public:
  virtual ~PELOAdListenerProtocol() = default;
  // `sender` is the downloader or the banner view that delivers; a listener may release the
  // banner view from here.
  virtual void onReceiveAdWithReceivedBanner(const std::shared_ptr<PELOAdDownloaderProtocol>& sender,
                                             const std::shared_ptr<PELOReceivedBannerProtocol>& banner) = 0;
};

}  // namespace pelora
