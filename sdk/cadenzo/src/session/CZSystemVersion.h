#pragma once
// Numeric comparison of dotted version texts, as the platform's numeric string compare
// does it: runs of digits compare as numbers, other characters as themselves, and a text
// that is a prefix of the other is the smaller.
#include <string_view>

namespace cadenzo {

// Negative, zero or positive as `a` is below, equal to or above `b`.
int CZCompareVersions(std::string_view a, std::string_view b);

// The device's system version is below `version`.
bool CZSystemVersionBelow(std::string_view version);

}  // namespace cadenzo
