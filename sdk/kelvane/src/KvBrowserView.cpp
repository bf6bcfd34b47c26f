#include "KvBrowserView.h"

#include "KvBrowserViewController.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/text_helpers.h"

namespace kelvane {

void KvMoveToOriginOnRotation(platform::View& view) {
  int device = static_cast<int>(platform::Device::currentDevice().orientation());
  if (device >= 1 && device <= 4) view.setFrame(platform::Rect(platform::Point{0, 0}, view.frame().size));
}

std::shared_ptr<KvBrowserView> KvBrowserView::create(const platform::Rect& frame) {
  auto view = std::make_shared<KvBrowserView>(platform::Passkey<KvBrowserView>{}, frame);
  view->kvWebView_->setDelegate(view);
  std::weak_ptr<KvBrowserView> weak = view;
  view->back_->addTargetActionForControlEvents(
      view, [weak](platform::Control&) {
        if (auto self = weak.lock()) self->done();
      },
      platform::kControlEventTouchUpInside);
  platform::Device::currentDevice().beginGeneratingDeviceOrientationNotifications();
  platform::NotificationCenter::defaultCenter().addObserver(
      view.get(), platform::kDeviceOrientationDidChangeNotification, nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->didRotate();
      });
  return view;
}

KvBrowserView::KvBrowserView(platform::Passkey<KvBrowserView>, const platform::Rect& frame) : platform::View(frame) {
  const unsigned flexible = platform::kAutoresizingFlexibleWidth | platform::kAutoresizingFlexibleHeight;
  setAutoresizingMask(flexible);
  kvWebView_ = platform::WebView::create(bounds());
  kvWebView_->setBackgroundColor(platform::Color::whiteColor());
  kvWebView_->setAutoresizingMask(flexible);
  addSubview(kvWebView_);
  back_ = platform::Button::buttonWithType(platform::ButtonType::RoundedRect);
  back_->setFrame(platform::Rect(5, bounds().size.height - 30, 70, 25));
  back_->setTitleForState(std::string("Back"), platform::kControlStateNormal);
  back_->setAutoresizingMask(platform::kAutoresizingFlexibleLeftMargin | platform::kAutoresizingFlexibleRightMargin |
                             platform::kAutoresizingFlexibleTopMargin | platform::kAutoresizingFlexibleBottomMargin);
  addSubview(back_);
}

KvBrowserView::~KvBrowserView() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

void KvBrowserView::loadUrl(const std::optional<platform::URL>& url) {
  // The browser opens only for the user's tap on the ad, which the ad counted.
  kvWebView_->loadRequestWithUserActivation(platform::URLRequest(url ? url->absoluteString() : std::string()));
}

bool KvBrowserView::kvBrowserUrlTouched(const std::string& url) {
  const auto parsed = platform::URL::create(url);
  const std::string scheme = parsed ? platform::lowercase(parsed->scheme().value_or("")) : std::string();
  if (scheme.empty() || scheme == "http" || scheme == "https" || scheme == "about" || scheme == "file" ||
      !platform::Application::sharedApplication().canOpenURL(url))
    return false;
  return kvWebView_->consumeUserActivation();
}

void KvBrowserView::done() {
  if (auto controller = kvBrowserViewController_.lock()) controller->done();
}

void KvBrowserView::didRotate() { KvMoveToOriginOnRotation(*this); }

std::optional<bool> KvBrowserView::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>&, const platform::URLRequest& request, platform::WebViewNavigationType) {
  kvBrowserUrl_ = request.url();
  kvBrowserUrlTouched_ = kvBrowserUrlTouched(kvBrowserUrl_);
  return true;
}

void KvBrowserView::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>&,
                                                const platform::Error& error) {
  // An interrupted load is followed by the one that replaced it; the browser stays.
  if (error.domain == platform::kURLErrorDomain && error.code == platform::URLErrorCancelled) return;
  auto self = sharedAs<KvBrowserView>();
  auto& app = platform::Application::sharedApplication();
  if (!kvBrowserUrl_.empty() && app.canOpenURL(kvBrowserUrl_)) {
    if (kvBrowserUrlTouched_) {
      kvBrowserUrlTouched_ = false;
      app.openURL(kvBrowserUrl_);
    } else {
      static constexpr const char* kRefusal =
          "Kelvane: the browser's page reached a URL for the system without the user's touch; it is not opened";
      if (kvWebView_->noteRefusalOnce(kRefusal)) platform::log(kRefusal);
    }
  }
  done();
}

}  // namespace kelvane
