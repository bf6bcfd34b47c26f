#pragma once
// A banner of search ads: a QLBannerView whose ads come from the search builder script.
#include <memory>

#include "platform/passkey.h"
#include "quillon/QLBannerView.h"

namespace quillon {

class QLSearchBannerView : public QLBannerView {
 public:
  static std::shared_ptr<QLSearchBannerView> create(const platform::Rect& frame = platform::Rect{});

  using Passkey = platform::Passkey<QLSearchBannerView>;
  QLSearchBannerView(Passkey, const platform::Rect& frame) : QLBannerView(frame) {}
};

}  // namespace quillon
