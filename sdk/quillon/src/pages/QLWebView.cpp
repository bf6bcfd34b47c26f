#include "QLWebView.h"

#include "platform/runtime.h"

namespace quillon {

std::shared_ptr<QLWebView> QLWebView::create(const platform::Rect& frame) {
  auto view = std::make_shared<QLWebView>(Passkey{}, frame);
  view->setClipsToBounds(true);
  view->setScalesPageToFit(true);
  view->setAutoresizingMask(platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight);
  view->setOpaque(false);
  view->setBackgroundColor(platform::Color::clearColor());
  view->setDataDetectorTypes(platform::kDataDetectorTypeNone);
  view->setAllowsInlineMediaPlayback(true);
  view->setMediaPlaybackRequiresUserAction(false);
  if (platform::Runtime::isAvailable("UIWebView.setMediaPlaybackAllowsAirPlay:")) view->setMediaPlaybackAllowsAirPlay(true);
  return view;
}

std::shared_ptr<platform::View> QLWebView::hitTestWithEvent(const platform::Point& p, const platform::Event* event) {
  if (event && !event->touches.empty()) touched_ = true;
  return platform::WebView::hitTestWithEvent(p, event);
}

}  // namespace quillon
