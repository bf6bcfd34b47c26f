#pragma once
// Small helpers of the client's views: whether a click-through belongs to another
// application, the interface transform of a device orientation, numeric version order, and
// two literal delimiter cuts. Pure functions; any thread.
#include <optional>
#include <string>
#include <string_view>

#include "platform/device.h"
#include "platform/geometry.h"
#include "platform/url.h"

namespace halvern {

class HVUtil {
 public:
  // The store's two hosts and the maps host, whose pages only their own applications show.
  static constexpr const char* kStoreAppsHost = "apps.store.example";
  static constexpr const char* kStoreMediaHost = "media.store.example";
  static constexpr const char* kMapsHost = "maps.example";
  // The first system version on which telephone links leave the application.
  static constexpr const char* kTelephoneSystemVersion = "4.2.1";

  // True for the store and maps hosts, "mailto" links, and "tel" links from the telephone
  // system version on (the running system's version, compared numerically).
  static bool URLWillLoadExternalApp(const platform::URL& url);
  // Portrait upside down turns by pi, landscape left by +pi/2, landscape right by -pi/2;
  // every other orientation (unknown, face up or down) is the identity.
  static platform::AffineTransform transformForOrientation(platform::DeviceOrientation orientation);
  // Negative, zero or positive as `a` orders before, with or after `b` ("4.10" after "4.2.1").
  static int versionCompareTo(std::string_view a, std::string_view b);

  // The text between the first `left` found at or after `start` and the first `right` of
  // the whole text; nullopt when either is missing, a delimiter is empty, `start` lies past
  // the end, or that `right` does not stand after the `left` (so an empty cut is nullopt).
  static std::optional<std::string> delimitedStringFromStringLeftDelimiterRightDelimiter(std::string_view text,
                                                                                       std::string_view left,
                                                                                       std::string_view right);
  static std::optional<std::string> delimitedStringFromStringLeftDelimiterRightDelimiterStart(std::string_view text,
                                                                                            std::string_view left,
                                                                                            std::string_view right,
                                                                                            size_t start);
  // `target` with the text between its first `left` and its first `right` replaced by
  // `replacement` (the delimiters stay); unchanged unless both exist in that order. Later
  // pairs are left alone.
  static std::string replaceStringLeftDelimiterRightDelimiterIntoString(std::string_view replacement,
                                                                        std::string_view left,
                                                                        std::string_view right,
                                                                        std::string_view target);
};

}  // namespace halvern
