#pragma once
// What loads ads for a banner view: a replacement factory may hand out its own. Listeners
// are not retained and are told in the order they were added; adding one twice adds it
// once. Main thread only.
#include <memory>

#include "pelora/PELOAdListenerProtocol.h"
#include "pelora/PELOAdSettings.h"

namespace pelora {

class PELOAdDownloaderProtocol {
 public:
  virtual ~PELOAdDownloaderProtocol() = default;
  virtual void addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& listener) = 0;
  virtual void removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& listener) = 0;
  virtual void asyncLoadNewBanner() = 0;
  virtual void setLocationUpdateEnabled(bool enabled) = 0;
  virtual bool isLocationUpdateEnabled() const = 0;
  virtual std::shared_ptr<PELOAdSettings> adSettings() const = 0;
  virtual void setAdSettings(std::shared_ptr<PELOAdSettings> settings) = 0;
  virtual bool autoReloadEnabled() const = 0;
  virtual void setAutoReloadEnabled(bool enabled) = 0;
  virtual int autoReloadFrequency() const = 0;
  virtual void setAutoReloadFrequency(int seconds) = 0;
};

}  // namespace pelora
