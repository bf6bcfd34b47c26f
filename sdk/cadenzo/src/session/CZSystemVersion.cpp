#include "CZSystemVersion.h"

#include "platform/device.h"
#include "platform/version_compare.h"

namespace cadenzo {

bool CZSystemVersionBelow(std::string_view version) {
  return platform::compareVersions(platform::Device::currentDevice().systemVersion(), version) < 0;
}

}  // namespace cadenzo
