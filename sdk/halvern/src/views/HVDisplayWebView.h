#pragma once
// The web view a display page runs in. It tells its owner when the user's finger lifted from
// it (or from anything inside it), once the touch's activation has been granted, so that the
// page's bridge can take what the page queued for that touch while the touch still counts.
// Main thread only.
#include <functional>
#include <memory>

#include "platform/passkey.h"
#include "platform/web_view.h"

namespace halvern {

class HVDisplayWebView final : public platform::WebView {
 public:
  static std::shared_ptr<HVDisplayWebView> create(const platform::Rect& frame);
  HVDisplayWebView(platform::Passkey<HVDisplayWebView>, const platform::Rect& frame) : platform::WebView(frame) {}

  // Called after each user touch that ended on the view; replaces the one before.
  void setUserTouchHandler(std::function<void()> handler) { m_userTouchHandler = std::move(handler); }

 protected:
  void userTouchEnded() override;

 private:
  std::function<void()> m_userTouchHandler;
};

}  // namespace halvern
