#include "nubira/NBAdError.h"

namespace nubira {

platform::Error NBAdError::errorWithDomainCodeUserInfo(const std::string& message, long code,
                                                       const platform::Value& userInfo) {
  platform::Dictionary info;
  info.set(platform::kLocalizedDescriptionKey, message);
  if (userInfo.isDictionary()) {
    for (const auto& [key, value] : userInfo.dictionary()) {
      if (key != platform::kLocalizedDescriptionKey) info.set(key, value);
    }
  }
  return platform::Error{message, code, platform::Value(std::move(info))};
}

}  // namespace nubira
