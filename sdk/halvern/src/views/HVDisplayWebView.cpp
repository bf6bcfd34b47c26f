#include "HVDisplayWebView.h"

namespace halvern {

std::shared_ptr<HVDisplayWebView> HVDisplayWebView::create(const platform::Rect& frame) {
  return std::make_shared<HVDisplayWebView>(platform::Passkey<HVDisplayWebView>{}, frame);
}

void HVDisplayWebView::userTouchEnded() {
  platform::WebView::userTouchEnded();
  if (m_userTouchHandler) {
    // The handler may let go of the view.
    auto keep = std::static_pointer_cast<HVDisplayWebView>(shared_from_this());
    auto handler = m_userTouchHandler;
    handler();
  }
}

}  // namespace halvern
