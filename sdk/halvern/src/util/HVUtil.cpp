#include "HVUtil.h"

#include <numbers>

#include "platform/text_helpers.h"
#include "platform/version_compare.h"

namespace halvern {

bool HVUtil::URLWillLoadExternalApp(const platform::URL& url) {
  // Host and scheme names are case-insensitive.
  const std::string host = url.host() ? platform::lowercase(*url.host()) : std::string();
  const std::string scheme = url.scheme() ? platform::lowercase(*url.scheme()) : std::string();
  if (host == kStoreAppsHost || host == kStoreMediaHost || host == kMapsHost) return true;
  if (scheme == "tel" &&
      versionCompareTo(platform::Device::currentDevice().systemVersion(), kTelephoneSystemVersion) >= 0)
    return true;
  return scheme == "mailto";
}

platform::AffineTransform HVUtil::transformForOrientation(platform::DeviceOrientation orientation) {
  using platform::AffineTransform;
  using platform::DeviceOrientation;
  switch (orientation) {
    case DeviceOrientation::PortraitUpsideDown:
      return AffineTransform::makeRotation(std::numbers::pi);
    case DeviceOrientation::LandscapeLeft:
      return AffineTransform::makeRotation(std::numbers::pi / 2);
    case DeviceOrientation::LandscapeRight:
      return AffineTransform::makeRotation(-std::numbers::pi / 2);
    default:
      return AffineTransform::identity();
  }
}

int HVUtil::versionCompareTo(std::string_view a, std::string_view b) { return platform::compareVersions(a, b); }

std::optional<std::string> HVUtil::delimitedStringFromStringLeftDelimiterRightDelimiter(std::string_view text,
                                                                                      std::string_view left,
                                                                                      std::string_view right) {
  return delimitedStringFromStringLeftDelimiterRightDelimiterStart(text, left, right, 0);
}

std::optional<std::string> HVUtil::delimitedStringFromStringLeftDelimiterRightDelimiterStart(std::string_view text,
                                                                                           std::string_view left,
                                                                                           std::string_view right,
                                                                                           size_t start) {
  if (left.empty() || right.empty() || start > text.size()) return std::nullopt;
  const size_t leftAt = text.find(left, start);
  if (leftAt == std::string_view::npos) return std::nullopt;
  const size_t from = leftAt + left.size();
  // The right delimiter is looked up in the whole text, not after the left one, and must
  // stand strictly after it: an empty cut counts as none.
  const size_t rightAt = text.find(right);
  if (rightAt == std::string_view::npos || rightAt <= from) return std::nullopt;
  return std::string(text.substr(from, rightAt - from));
}

std::string HVUtil::replaceStringLeftDelimiterRightDelimiterIntoString(std::string_view replacement,
                                                                      std::string_view left,
                                                                      std::string_view right,
                                                                      std::string_view target) {
  const size_t leftAt = left.empty() ? std::string_view::npos : target.find(left);
  const size_t rightAt = right.empty() ? std::string_view::npos : target.find(right);
  if (leftAt == std::string_view::npos || rightAt == std::string_view::npos || rightAt < leftAt + left.size())
    return std::string(target);
  std::string out(target.substr(0, leftAt + left.size()));
  out += replacement;
  out += target.substr(rightAt);
  return out;
}

}  // namespace halvern
