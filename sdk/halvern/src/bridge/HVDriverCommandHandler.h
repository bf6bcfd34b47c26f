#pragma once
// "BridgeDriver": the driver page's reports and requests to its client driver and, through
// an explicit table of properties, to the ad manager.
#include <memory>

#include "HVCommandHandler.h"

namespace halvern {

class HVClientDriver;

class HVDriverCommandHandler final : public HVCommandHandler {
 public:
  // The driver owns the handler through its bridge, so it is held weakly here.
  explicit HVDriverCommandHandler(std::weak_ptr<HVClientDriver> driver);
  // The ad manager properties the page may read and set.
  static bool isAdManagerProperty(const std::string& key);

 private:
  std::weak_ptr<HVClientDriver> m_driver;
};

}  // namespace halvern
