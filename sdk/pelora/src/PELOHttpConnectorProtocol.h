#pragma once
// Sends one ad request at a time and hands the answer, read into a banner, to its listener.
#include <memory>
#include <string>

#include "PELOReceivedBanner.h"

namespace pelora {

class PELOHttpConnectorListener {
 public:
  virtual ~PELOHttpConnectorListener() = default;
  virtual void bannerDownloadComplete(const std::shared_ptr<PELOReceivedBanner>& banner) = 0;
};

class PELOHttpConnectorProtocol {
 public:
  virtual ~PELOHttpConnectorProtocol() = default;
  virtual void asyncLoadNewBanner(const std::string& url) = 0;
  // There is no synchronous load: always nullptr.
  virtual std::shared_ptr<PELOReceivedBanner> loadNewBanner(const std::string& url) = 0;
  // Not retained.
  virtual void setConnectionListener(std::weak_ptr<PELOHttpConnectorListener> listener) = 0;
};

}  // namespace pelora
