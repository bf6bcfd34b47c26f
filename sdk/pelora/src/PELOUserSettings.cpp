#include "pelora/PELOUserSettings.h"

#include "PELOEnumConverter.h"
#include "PELOQuery.h"
#include "platform/format.h"

namespace pelora {

std::string PELOUserSettings::requestString() const {
  std::string out;
  if (auto gender = PELOGenderEnumConverter::stringForValue(userGender_); gender && !gender->empty())
    out += queryPair("gender", *gender);
  if (age_ >= 1) out += platform::format("&age=%d", age_);
  const std::pair<const char*, const std::string*> strings[] = {{"kws", &keywordList_}, {"qs", &searchQuery_},
                                                                {"region", &region_},   {"country", &country_},
                                                                {"city", &city_},       {"zip", &zip_}};
  for (const auto& [key, value] : strings)
    if (!value->empty()) out += queryPair(key, *value);
  if (latitude_ != 0 && longitude_ != 0) out += platform::format("&gps=%.6f,%.6f", latitude_, longitude_);
  return out;
}

}  // namespace pelora
