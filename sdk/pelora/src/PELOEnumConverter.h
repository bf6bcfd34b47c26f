#pragma once
// The words of the ad answer and the request for the client's numbers. valueForString
// ignores case and gives 0 for an unknown word; stringForValue gives "" for an unknown value.
#include <optional>
#include <string>
#include <string_view>

namespace pelora {

struct PELOAdDimensionEnumConverter {
  static std::string stringForValue(int value);
  static int valueForString(std::string_view word);
};
struct PELOAdTypeEnumConverter {
  static std::string stringForValue(int value);
  static int valueForString(std::string_view word);
};
struct PELOBannerStatusEnumConverter {
  static std::string stringForValue(int value);
  static int valueForString(std::string_view word);
};
struct PELOErrorCodeEnumConverter {
  static std::string stringForValue(int value);
  static int valueForString(std::string_view word);
};
struct PELOGenderEnumConverter {
  // nullopt for a value other than 0, 1, 2.
  static std::optional<std::string> stringForValue(int value);
};

}  // namespace pelora
