#include "PELOEnumConverter.h"

#include <array>

#include "platform/text_helpers.h"

namespace pelora {
namespace {

template <size_t N>
std::string wordFor(const std::array<const char*, N>& words, int value) {
  return value >= 0 && static_cast<size_t>(value) < N ? words[value] : "";
}

template <size_t N>
int valueFor(const std::array<const char*, N>& words, std::string_view word) {
  for (size_t i = 0; i < N; ++i)
    if (platform::equalsIgnoringAsciiCase(words[i], word)) return static_cast<int>(i);
  return 0;
}

constexpr std::array<const char*, 4> kDimensions{"XXLARGE", "MEDRECT", "LEADER", "SKY"};
constexpr std::array<const char*, 5> kAdTypes{"ALL", "IMG", "TXT", "VIDEO", "RICHMEDIA"};
constexpr std::array<const char*, 2> kStatuses{"SUCCESS", "ERROR"};
constexpr std::array<const char*, 6> kErrorCodes{"0", "106", "kPELOErrorCodeNoConnectionError",
                                                 "42", "107", "kPELOErrorCodeParsingError"};
constexpr std::array<const char*, 3> kGenders{"", "m", "f"};

}  // namespace

std::string PELOAdDimensionEnumConverter::stringForValue(int v) { return wordFor(kDimensions, v); }
int PELOAdDimensionEnumConverter::valueForString(std::string_view w) { return valueFor(kDimensions, w); }
std::string PELOAdTypeEnumConverter::stringForValue(int v) { return wordFor(kAdTypes, v); }
int PELOAdTypeEnumConverter::valueForString(std::string_view w) { return valueFor(kAdTypes, w); }
std::string PELOBannerStatusEnumConverter::stringForValue(int v) { return wordFor(kStatuses, v); }
int PELOBannerStatusEnumConverter::valueForString(std::string_view w) { return valueFor(kStatuses, w); }
std::string PELOErrorCodeEnumConverter::stringForValue(int v) { return wordFor(kErrorCodes, v); }
int PELOErrorCodeEnumConverter::valueForString(std::string_view w) { return valueFor(kErrorCodes, w); }

std::optional<std::string> PELOGenderEnumConverter::stringForValue(int v) {
  if (v < 0 || v > 2) return std::nullopt;
  return kGenders[v];
}

}  // namespace pelora
