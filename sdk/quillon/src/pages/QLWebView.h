#pragma once
// The web view every ad page of the client is shown in: clips, fits pages, resizes with its
// superview, shows through where the page does, detects no data, plays media inline. It
// remembers whether it has been touched, which tells a tap from a page navigating by itself.
#include <memory>

#include "platform/passkey.h"
#include "platform/web_view.h"

namespace quillon {

class QLWebView : public platform::WebView {
 public:
  static std::shared_ptr<QLWebView> create(const platform::Rect& frame);

  bool touched() const { return touched_; }
  void setTouched(bool touched) { touched_ = touched; }
  std::shared_ptr<platform::View> hitTestWithEvent(const platform::Point& p, const platform::Event* event) override;

  using Passkey = platform::Passkey<QLWebView>;
  QLWebView(Passkey, const platform::Rect& frame) : platform::WebView(frame) {}

 private:
  bool touched_ = false;
};

}  // namespace quillon
