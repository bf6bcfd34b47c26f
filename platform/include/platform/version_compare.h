#pragma once
// Numeric comparison of dotted version texts ("4.10" is above "4.2.1").
// Pure function; thread-safe.
#include <string_view>

namespace platform {

// Negative, zero or positive as `a` is below, equal to or above `b`. The texts are split at
// dots and compared component by component; a missing component counts as "0", so "6" equals
// "6.0". A component compares first by the number its leading digits make (leading zeros do
// not count, and the digits may be any number long), then by the text after them, where no
// text comes first: "6.0" < "6.0b1" < "6.0b2" < "6.1". A component without digits counts as
// 0 followed by its text.
int compareVersions(std::string_view a, std::string_view b);

}  // namespace platform
