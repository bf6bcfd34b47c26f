#pragma once
// Whether the device's system version is below a threshold, compared numerically
// (platform::compareVersions): a system "4" counts as "4.0".
#include <string_view>

namespace cadenzo {

bool CZSystemVersionBelow(std::string_view version);

}  // namespace cadenzo
