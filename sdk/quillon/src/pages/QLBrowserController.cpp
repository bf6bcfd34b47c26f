#include "QLBrowserController.h"

#include "QLFullScreenOpener.h"
#include "QLIntrinsicImages.h"
#include "QLStatistics.h"
#include "QLWebViewDelegate.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/text_helpers.h"

namespace quillon {

class QLBrowserController::PageDelegate : public QLWebViewDelegate {
 public:
  PageDelegate(std::shared_ptr<QLOpener> opener, std::weak_ptr<QLBrowserController> browser)
      : QLWebViewDelegate(QLStatistics::sharedStatistics(), std::move(opener)), browser_(std::move(browser)) {}

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType type) override {
    if (type == platform::WebViewNavigationType::LinkClicked || type == platform::WebViewNavigationType::FormSubmitted) {
      auto url = platform::URL::create(request.url());
      std::string scheme = url ? platform::lowercase(url->scheme().value_or("")) : "";
      if (scheme == "http") QLStatistics::sharedStatistics()->incrementPageNavigationCount();
      if (scheme == "https") QLStatistics::sharedStatistics()->incrementSSLPageNavigationCount();
    }
    return QLWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(webView, request, type);
  }
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>&) override {
    QLStatistics::sharedStatistics()->pageDidStartLoading();
    refresh();
  }
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override {
    auto self = shared_from_this();
    QLStatistics::sharedStatistics()->pageDidFinishLoading();
    QLWebViewDelegate::webViewDidFinishLoad(webView);
    refresh();
  }
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>&, const platform::Error&) override {
    refresh();
  }

 protected:
  // The browser shows the pages an ad leads to, never the ad itself: none of them may drive
  // the client.
  bool acceptsMessagesFrom(const platform::WebView&) const override { return false; }

 private:
  void refresh() {
    if (auto browser = browser_.lock()) browser->refreshToolbar();
  }
  std::weak_ptr<QLBrowserController> browser_;
};

std::shared_ptr<QLBrowserController> QLBrowserController::create() {
  return std::make_shared<QLBrowserController>(Passkey{});
}

QLBrowserController::~QLBrowserController() {
  if (webView_) {
    webView_->setDelegate({});
    webView_->stopLoading();
  }
}

void QLBrowserController::loadReferringURL(const platform::URL& url, const std::optional<platform::URL>& referringURL) {
  if (!webView_) {
    urlToLoad_ = url;
    referringURLToLoad_ = referringURL;
    return;
  }
  platform::URLRequest request(url.absoluteString());
  if (referringURL) request.setValueForHTTPHeaderField(referringURL->absoluteString(), "Referer");
  // The opener shows the browser only for a touch it counted: the click goes on to its end.
  webView_->loadRequestWithUserActivation(request);
}

void QLBrowserController::back() {
  if (webView_ && webView_->canGoBack()) webView_->goBack();
}

void QLBrowserController::forward() {
  if (webView_ && webView_->canGoForward()) webView_->goForward();
}

void QLBrowserController::reload() {
  if (webView_) webView_->reload();
}

void QLBrowserController::stop() {
  if (webView_) webView_->stopLoading();
}

void QLBrowserController::openInSafari() {
  auto current = webView_ ? webView_->request() : std::nullopt;
  auto url = current ? platform::URL::create(current->url()) : std::nullopt;
  if (!url) return;
  auto opener = QLFullScreenOpener::create();
  opener->setDelegateManager(delegateManager());
  opener->openApp(*url);
  QLStatistics::sharedStatistics()->setBreakOutToSafari();
}

void QLBrowserController::createToolbar(const platform::Rect& frame, unsigned autoresizingMask) {
  auto self = std::static_pointer_cast<QLBrowserController>(platform::ViewController::shared_from_this());
  std::weak_ptr<QLBrowserController> weak = self;
  auto action = [weak](void (QLBrowserController::*method)()) {
    return [weak, method](platform::BarButtonItem&) {
      if (auto browser = weak.lock()) (browser.get()->*method)();
    };
  };
  using Item = platform::BarButtonItem;
  buttons_.back = Item::createWithImage(QLIntrinsicImages::browserBackButton(), platform::BarButtonItemStyle::Plain, self,
                                        action(&QLBrowserController::back));
  buttons_.forward = Item::createWithImage(QLIntrinsicImages::browserForwardButton(),
                                           platform::BarButtonItemStyle::Plain, self,
                                           action(&QLBrowserController::forward));
  buttons_.reload = Item::createWithBarButtonSystemItem(platform::BarButtonSystemItem::Refresh, self,
                                                        action(&QLBrowserController::reload));
  spinner_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::White);
  buttons_.spinner = Item::createWithCustomView(spinner_);
  buttons_.safari = Item::createWithBarButtonSystemItem(platform::BarButtonSystemItem::Action, self,
                                                        action(&QLBrowserController::openInSafari));
  buttons_.done = Item::createWithBarButtonSystemItem(platform::BarButtonSystemItem::Done, self,
                                                      action(&QLBrowserController::done));
  buttons_.done->setStyle(platform::BarButtonItemStyle::Done);
  for (const auto& item : {buttons_.back, buttons_.forward, buttons_.reload, buttons_.safari}) item->setWidth(27);
  buttons_.back->setAccessibilityLabel("Back");
  buttons_.forward->setAccessibilityLabel("Forward");
  buttons_.reload->setAccessibilityLabel("Reload");
  buttons_.spinner->setAccessibilityLabel("Spinner");
  buttons_.safari->setAccessibilityLabel("View in Safari");
  buttons_.done->setAccessibilityLabel("Done");
  buttons_.spinner->setWidth(20);
  flexibleSpaceButton_ = Item::createWithBarButtonSystemItem(platform::BarButtonSystemItem::FlexibleSpace, nullptr, {});
  toolbar_ = std::make_shared<platform::Toolbar>(frame);
  toolbar_->setBarStyle(platform::BarStyle::Black);
  toolbar_->setAutoresizingMask(autoresizingMask);
  view()->addSubview(toolbar_);
  refreshToolbar();
}

void QLBrowserController::refreshToolbar() {
  if (!toolbar_ || !webView_) return;
  const bool loading = webView_->isLoading();
  buttons_.back->setEnabled(webView_->canGoBack());
  buttons_.forward->setEnabled(webView_->canGoForward());
  buttons_.safari->setEnabled(!loading);
  if (loading) {
    spinner_->startAnimating();
  } else {
    spinner_->stopAnimating();
  }
  buttons_.reload->setEnabled(!loading);
  const auto& space = flexibleSpaceButton_;
  toolbar_->setItems({buttons_.back, space, buttons_.forward, space, loading ? buttons_.spinner : buttons_.reload,
                      space, buttons_.safari, space, buttons_.done});
}

void QLBrowserController::viewWillAppear(bool animated) {
  QLViewController::viewWillAppear(animated);
  if (webView_) return;
  auto self = std::static_pointer_cast<QLBrowserController>(platform::ViewController::shared_from_this());
  const bool pad = platform::Device::currentDevice().userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad;
  const bool landscape = platform::Application::sharedApplication().statusBarOrientation() >=
                         platform::kInterfaceOrientationLandscapeRight;
  const double toolbarHeight = !pad && landscape ? 30 : 44;
  // A phone's toolbar is thinner in landscape, so on a phone it gives and takes height as the
  // screen turns; a pad's keeps its height.
  using platform::kAutoresizingFlexibleWidth, platform::kAutoresizingFlexibleHeight,
      platform::kAutoresizingFlexibleTopMargin, platform::kAutoresizingFlexibleBottomMargin;
  unsigned webViewMask = kAutoresizingFlexibleWidth | kAutoresizingFlexibleHeight;
  unsigned toolbarMask = kAutoresizingFlexibleWidth | kAutoresizingFlexibleTopMargin | kAutoresizingFlexibleBottomMargin;
  if (!pad) {
    webViewMask |= kAutoresizingFlexibleBottomMargin;
    toolbarMask |= kAutoresizingFlexibleHeight;
  }
  platform::Rect bounds = view()->bounds();
  webView_ = QLWebView::create(platform::Rect(0, 0, bounds.size.width, bounds.size.height - toolbarHeight));
  webView_->setAutoresizingMask(webViewMask);
  webView_->setDataDetectorTypes(platform::kDataDetectorTypeAll);
  opener_ = QLFullScreenOpener::create();
  opener_->setDelegateManager(delegateManager());
  opener_->setOpeningWebView(webView_);
  webViewDelegate_ = std::make_shared<PageDelegate>(opener_, self);
  webViewDelegate_->setViewController(std::static_pointer_cast<QLFullScreenController>(self));
  webViewDelegate_->setOpeningWebView(openingWebView());
  webView_->setDelegate(webViewDelegate_);
  observeSettingsFrom(webView_);
  view()->addSubview(webView_);
  createToolbar(platform::Rect(0, bounds.size.height - toolbarHeight, bounds.size.width, toolbarHeight), toolbarMask);
  // Back from the background before the first page came: the browser has nothing to show.
  std::weak_ptr<QLBrowserController> weak = self;
  platform::NotificationCenter::defaultCenter().addObserver(
      this, "UIApplicationWillEnterForegroundNotification", nullptr, [weak](const platform::Notification&) {
        auto browser = weak.lock();
        if (!browser || browser->webViewDelegate_->hasLoadedAtLeastOnce()) return;
        platform::RunLoop::main().post([weak] {
          if (auto b = weak.lock()) b->relinquishScreen();
        });
      });
  if (urlToLoad_) loadReferringURL(*urlToLoad_, referringURLToLoad_);
  urlToLoad_.reset();
}

}  // namespace quillon
