#include "QLWebAppViewController.h"

#include "QLFullScreenOpener.h"
#include "QLIdentifierUtilities.h"
#include "QLIntrinsicImages.h"
#include "QLNotificationCenter.h"
#include "QLObjectPrivate.h"
#include "QLStatistics.h"
#include "QLWebViewDelegate.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "quillon/QLRequest.h"

namespace quillon {

using platform::Value;

namespace {
constexpr double kWebViewReleaseDelay = 2.0;
}  // namespace

class QLWebAppViewController::PageDelegate : public QLWebViewDelegate {
 public:
  PageDelegate(std::shared_ptr<QLOpener> opener, std::weak_ptr<QLWebAppViewController> owner)
      : QLWebViewDelegate(QLStatistics::sharedStatistics(), std::move(opener)), owner_(std::move(owner)) {}
  // The URL the controller loads is the ad's own page.
  void setLoadedURLTalks(bool talks) { loadedURLTalks_ = talks; }

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override {
    if (closed_) {
      // A closed page no longer speaks for the ad: nothing it asks for is done.
      platform::logf("<Quillon> Ignoring %@ from a page that has closed.", request.url());
      return false;
    }
    if (auto owner = owner_.lock(); owner && owner->loadedForClick_ && webView->navigationInheritsUserActivation()) {
      // The first load of the click's address carries the click's touch on: what it leads to
      // (another application, say) is that same click, whose trackers have already gone.
      owner->loadedForClick_ = false;
      owner->opener_->setClickTrackedForTouch(webView->recentUserTouch());
    }
    return QLWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(webView, request, navigationType);
  }
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>&) override {
    QLStatistics::sharedStatistics()->pageDidStartLoading();
  }
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override {
    auto self = shared_from_this();
    QLStatistics::sharedStatistics()->pageDidFinishLoading();
    QLWebViewDelegate::webViewDidFinishLoad(webView);
    if (auto owner = owner_.lock()) owner->sendOnShowIfReady();
  }
  void loadedFirstPage(const std::shared_ptr<platform::WebView>&) override {
    if (auto owner = owner_.lock()) owner->firstPageLoaded();
  }
  // Whether the page now shown talks with the client: the markup or the URL the controller
  // was given, never a page that one went on to.
  bool hasBridge(const platform::WebView& webView) const { return acceptsMessagesFrom(webView); }
  // The controller has gone: from now on the page is not shown and may not act.
  void detach() {
    closed_ = true;
    owner_.reset();
    setViewController({});
  }

 protected:
  bool acceptsMessagesFrom(const platform::WebView& webView) const override {
    return showsOwnMarkup(webView) || (loadedURLTalks_ && webView.currentDocumentIsHostLoaded());
  }

 private:
  std::weak_ptr<QLWebAppViewController> owner_;
  bool closed_ = false;
  bool loadedURLTalks_ = false;
};

std::shared_ptr<QLWebAppViewController> QLWebAppViewController::create() {
  return std::make_shared<QLWebAppViewController>(Passkey{});
}

QLWebAppViewController::~QLWebAppViewController() {
  if (!webView_) return;
  // The page keeps running a little after it closed (its "onhide" handler may still be at
  // work), refused everything it asks for, and is then emptied and let go.
  webViewDelegate_->detach();
  webView_->stopLoading();
  platform::RunLoop::main().postAfter(kWebViewReleaseDelay, [webView = webView_, delegate = webViewDelegate_]() mutable {
    webView->setDelegate({});
    webView->loadHTMLStringBaseURL("", std::nullopt);
    webView.reset();
    delegate.reset();
  });
}

void QLWebAppViewController::load(const platform::URL& url, bool adsOwnPage) {
  if (webView_) {
    // The opener shows the page only for a touch it counted: the click goes on to its end.
    webViewDelegate_->setLoadedURLTalks(adsOwnPage);
    loadedForClick_ = true;
    webView_->loadRequestWithUserActivation(platform::URLRequest(url.absoluteString()));
  } else {
    urlToLoad_ = url;
    urlIsAdsOwnPage_ = adsOwnPage;
  }
}

void QLWebAppViewController::loadHTMLBaseURL(const std::string& html, const std::optional<platform::URL>& baseURL) {
  if (webView_) {
    webView_->loadHTMLStringBaseURL(html, baseURL);
  } else {
    htmlToLoad_ = html;
    htmlBaseURLToLoad_ = baseURL;
  }
}

void QLWebAppViewController::viewWillAppear(bool animated) {
  QLViewController::viewWillAppear(animated);
  if (webView_) return;
  auto self = std::static_pointer_cast<QLWebAppViewController>(platform::ViewController::shared_from_this());
  webView_ = QLWebView::create(view()->bounds());
  opener_ = QLFullScreenOpener::create();
  opener_->setDelegateManager(delegateManager());
  opener_->setOpeningWebView(webView_);
  opener_->setAdController(adController_, clickURLs_);
  webViewDelegate_ = std::make_shared<PageDelegate>(opener_, self);
  webViewDelegate_->setViewController(std::static_pointer_cast<QLFullScreenController>(self));
  webViewDelegate_->setOpeningWebView(openingWebView());
  // The page is the ad's (its target, or the interstitial itself): it spends the ad's budget.
  if (auto engine = adController_.lock()) webViewDelegate_->setAllowance(engine->allowance());
  webView_->setDelegate(webViewDelegate_);
  observeSettingsFrom(webView_);
  view()->addSubview(webView_);
  closeButton_ = platform::Button::buttonWithType(platform::ButtonType::Custom);
  closeButton_->setFrame(platform::Rect(0, 0, 32, 32));
  closeButton_->setImageForState(QLIntrinsicImages::closeButton(), platform::kControlStateNormal);
  closeButton_->setShowsTouchWhenHighlighted(true);
  closeButton_->addTarget(self, &QLWebAppViewController::close, platform::kControlEventTouchUpInside);
  view()->addSubview(closeButton_);
  loadingSpinner_ = std::make_shared<platform::ActivityIndicatorView>(platform::ActivityIndicatorViewStyle::White);
  platform::Rect bounds = view()->bounds();
  loadingSpinner_->setCenter({bounds.size.width / 2, bounds.size.height / 2});
  loadingSpinner_->startAnimating();
  view()->addSubview(loadingSpinner_);
  if (urlToLoad_) {
    load(*urlToLoad_, urlIsAdsOwnPage_);
  } else if (htmlToLoad_) {
    loadHTMLBaseURL(*htmlToLoad_, htmlBaseURLToLoad_);
  }
  urlToLoad_.reset();
  htmlToLoad_.reset();
}

void QLWebAppViewController::viewDidAppear(bool animated) {
  QLViewController::viewDidAppear(animated);
  pendingOnShow_ = true;
  sendOnShowIfReady();
}

void QLWebAppViewController::viewDidDisappear(bool animated) {
  QLViewController::viewDidDisappear(animated);
  auto statistics = QLStatistics::sharedStatistics();
  statistics->endTimingNamed("plpd");
  statistics->endTimingNamed("pcl");
  if (webView_ && webViewDelegate_->hasBridge(*webView_))
    QLNotificationCenter::postJSNotificationUserInfoWebView("onhide", std::nullopt, *webView_);
}

void QLWebAppViewController::firstPageLoaded() {
  if (loadingSpinner_) {
    loadingSpinner_->stopAnimating();
    loadingSpinner_->removeFromSuperview();
    loadingSpinner_.reset();
  }
}

void QLWebAppViewController::sendOnShowIfReady() {
  if (!pendingOnShow_ || calledOnShow_ || !webView_ || webView_->isLoading() ||
      !webViewDelegate_->hasLoadedAtLeastOnce() || !webViewDelegate_->hasBridge(*webView_))
    return;
  calledOnShow_ = true;
  platform::Dictionary info{{"version", Value(QLRequest::sdkVersion())}};
  if (auto model = QLIdentifierUtilities::sharedInstance()->deviceSubmodel()) info.set("device", Value(*model));
  QLNotificationCenter::postJSNotificationUserInfoWebView("onshow", Value(std::move(info)), *webView_);
}

}  // namespace quillon
