#pragma once
// One ad as the reply describes it: its type, action type, size, click target and markup.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nubira {

enum NBAdType : int { NBAdTypeUnknown = 0, NBAdTypeText = 1, NBAdTypeBanner = 2, NBAdTypeSearch = 3, NBAdTypeRichMedia = 5 };

class NBAdUnit {
 public:
  int adActionType = 2;
  int adType = NBAdTypeUnknown;
  std::optional<std::string> targetUrl;
  std::optional<std::string> CDATABlock;
  int width = 0;
  int height = 0;
  bool isAdTypeInterstitial = false;

  // An action type, a size, and either rich media or a target URL; a failing check is logged
  // above log level 1.
  bool isValid() const;
  // Logs the fields.
  void print() const;
  // The code of the (trimmed) type attribute; exact match.
  static int getAdType(std::string_view type);
};

}  // namespace nubira
