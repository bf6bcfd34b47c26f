// The banner's clicks: where the page's loads and the user's taps lead, the click request
// and its answer, the browser and the composers it presents, and their ends.
#include "nubira/NBAdView.h"

#include <cstdio>

#include "JSBridgeDelegate.h"
#include "NBAdInterstitialPrivate.h"
#include "NBAdUnit.h"
#include "NBAdViewListener.h"
#include "NBAdXMLParser.h"
#include "NBEmbeddedWebViewController.h"
#include "NBHttpAdRequest.h"
#include "NBHttpClickRequest.h"
#include "NBJSBridge.h"
#include "NBURLRouting.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "NBWebView.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBUserInfo.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/composers.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/keyboard.h"
#include "platform/navigation_controller.h"
#include "platform/url_connection.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"
#include "platform/text_helpers.h"
#include "platform/url.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace nubira {

bool NBAdView::shouldStartLoad(const std::shared_ptr<platform::WebView>& webView, const std::string& url) {
  NBSDKUtil::util()->logAbove(2, "Verify Web View should load URL: %@", url);
  const std::string scheme = NBURLRouting::schemeOf(url);
  if (scheme == "file") {
    logLine("not loading a local file: %@", url);
    return false;
  }
  if (scheme == "mraid") {
    // Only the ad on screen may drive the banner: not a page left behind by a swap, a failed
    // load or one being replaced by the next ad (whose old document runs on until the new one
    // commits).
    auto& holder = webView == nbWebView1_->webView() ? *nbWebView1_ : *nbWebView2_;
    if (holder.admitsCommandFromPage(url, currentAdUnit_ && webView == onScreenWebView()))
      jsBridge_->processURLForWebView(url, webView);
    return false;
  }
  // A page may load what it likes into itself, but only just after the user touched the ad on
  // screen may it send them anywhere else: one act per touch.
  auto userActed = [&](const char* act) { return holderOf(webView).userActivationForAct(act); };
  if (NBEmbeddedWebViewController::isAppStoreURL(url)) {
    if (userActed("open the store")) {
      logLine("Treating URL %@ as call to app store", url);
      openReferralURL(url, true);
    }
    return false;
  }
  if (url == "about:blank") return true;
  auto& app = platform::Application::sharedApplication();
  if (scheme == "mailto") {
    logLine("MAILTO: %@", url);
    if (auto to = NBURLRouting::mailtoRecipient(url); to && userActed("compose mail"))
      sendEMailTo(*to, std::nullopt, std::nullopt, false);
    return false;
  }
  if (scheme == "tel") {
    if (!NBURLRouting::telNumber(url))
      logLine("not a phone number: %@", url);
    else if (userActed("dial"))
      app.openURL(url);
    return false;
  }
  if (scheme != "http" && scheme != "https" && app.canOpenURL(url)) {
    if (userActed("open another application")) {
      logLine("opening url externally:%@", url);
      app.openURL(url);
    }
    return false;
  }
  // While the next ad loads, the pages go on loading what they ask for, except a link the user
  // just tapped on the ad on screen: that one leads out of the banner.
  if (isLoadingAd_ && (webView == markupWebView_ || !webView->hasUserActivation())) {
    logLine("Perform Normal process for URL.");
    return true;
  }
  if (!userActed("open a link")) return false;
  logLine("Delegating Open to web browser.");
  if (currentAdUnit_ && currentAdUnit_->adActionType == 3)
    webviewLinkWasClicked(url);
  else
    openReferralURL(url, true);
  return false;
}

bool NBAdView::touchInside(const platform::TouchSet& touches) const {
  if (touches.empty()) return false;
  auto self = std::const_pointer_cast<platform::View>(std::static_pointer_cast<const platform::View>(shared_from_this()));
  const auto at = touches.front()->locationInView(self);
  const auto b = bounds();
  return at.x >= b.origin.x && at.y >= b.origin.y && at.x < b.origin.x + b.size.width &&
         at.y < b.origin.y + b.size.height;
}

void NBAdView::touchesBeganWithEvent(const platform::TouchSet& touches, const platform::Event&) {
  logLine("ad touched!");
  // The ad on screen stays current until the next one is swapped in, so a tap while the next
  // one loads clicks the ad the user sees.
  if (!isClickUnderWay() && currentAdUnit_ && touchInside(touches))
    hideWebView_->setBackgroundColor(platform::Color::white(0, 0.2));
}

void NBAdView::touchesEndedWithEvent(const platform::TouchSet& touches, const platform::Event&) {
  if (!touches.empty()) {
    const auto at = touches.front()->locationInView(std::static_pointer_cast<platform::View>(shared_from_this()));
    logLine("touches ended.. touch.x=%f,touch.y=%f", at.x, at.y);
  }
  if (isClickUnderWay() || !currentAdUnit_) {
    logLine("already touched..returning..");
    return;
  }
  hideWebView_->setBackgroundColor(platform::Color::clearColor());
  if (!touchInside(touches)) return;
  startClick();
  adClicked();
}

void NBAdView::touchesCancelledWithEvent(const platform::TouchSet&, const platform::Event&) {
  hideWebView_->setBackgroundColor(platform::Color::clearColor());
  touchedDownOnAd_ = false;
  keyboardHoldsClicks_ = false;
}

void NBAdView::adClicked() {
  try {
    if (!touchedDownOnAd_ || !currentAdUnit_ || !currentAdUnit_->targetUrl) {
      logLine("not performing ad click");
      touchedDownOnAd_ = false;
      return;
    }
    if (!clickRequest_) {
      clickRequest_ = NBHttpClickRequest::create();
      clickRequest_->setDelegate(listener_);
    }
    // The answer acts for the ad that was tapped, whatever is swapped in meanwhile.
    clickedAdUnit_ = currentAdUnit_;
    std::string url = *currentAdUnit_->targetUrl;
    if (currentAdUnit_->adActionType == 3 && searchString_) url += platform::format("?%@", *searchString_);
    logLine("click url=%@", url);
    clickRequest_->setupRequestUserDataAdRequestRequestMethodRequestType(url, nbUserInfo_, nbAdRequest_, "POST", 2);
    clickRequest_->sendRequest();
    invalidateAdRefreshTimer();
  } catch (const std::exception&) {
    logLine("exception occured in ad clicked method");
    touchedDownOnAd_ = false;
  }
}

void NBAdView::adClickRequestFinishedWithUrlNewAdActionType(const std::optional<std::string>& url,
                                                            const std::optional<std::string>& actionType) {
  auto self = shared_from_this();
  logLine("ad click data finished loading,redirectUrl=%@.", url.value_or("(null)"));
  logLine("new ad actionType=%@", actionType.value_or("(null)"));
  const auto done = clickRequest_;
  clickRequest_.reset();
  if (done) done->setDelegate({});
  const auto clicked = std::exchange(clickedAdUnit_, nullptr);
  if (!url) {
    logLine("Error! null redirect url found!! cannot process ad click!");
    touchedDownOnAd_ = false;
    // Nothing was shown, so the banner goes on refreshing.
    if (refreshInterval_ != -1) invokeAdRefreshTimer();
    return;
  }
  logLine("Redirect url : %@", *url);
  if (!clicked) {
    touchedDownOnAd_ = false;
    return;
  }
  if (actionType) clicked->adActionType = std::atoi(actionType->c_str());
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  const std::string target = *url;
  if (clicked->adActionType == 2 || clicked->adActionType == 3) {
    (shouldLoadWebView1_ ? *nbWebView1_ : *nbWebView2_).setWebViewUserInteraction(true);
    platform::RunLoop::main().postAfter(
        0, [weak, target] {
          if (auto v = weak.lock()) v->presentClickBrowser(target);
        },
        this);
  } else {
    // The publisher hears that the application is left only when the system can open the
    // address; otherwise the click ends here and the banner goes on refreshing.
    if (!platform::Application::sharedApplication().canOpenURL(target)) {
      logLine("unidentified protcol found, unable to open external url:%@", target);
      touchedDownOnAd_ = false;
      if (refreshInterval_ != -1) invokeAdRefreshTimer();
      return;
    }
    performAppWillLeaveNotification();
    // Not tied to the banner: the host may let go of it inside "will leave", the tap still leads out.
    platform::RunLoop::main().postAfter(0, [weak, target] {
      openOutside(target);
      if (auto v = weak.lock()) v->touchedDownOnAd_ = false;
    });
  }
}

void NBAdView::adClickRequestFailed() {
  logLine("ad click data failed to load");
  clickedAdUnit_.reset();
  const auto done = clickRequest_;
  clickRequest_.reset();
  if (done) done->setDelegate({});
  touchedDownOnAd_ = false;
  if (refreshInterval_ != -1) invokeAdRefreshTimer();
}

void NBAdView::openOutside(const std::string& url) {
  auto& app = platform::Application::sharedApplication();
  if (app.canOpenURL(url))
    app.openURL(url);
  else
    logLine("unidentified protcol found, unable to open external url:%@", url);
}

// The click's browser comes once the screen is free: not over the banner's own expanded ad
// (the host was told of that one already), nor over another ad's screen or a screen on its
// way. Until then the click stays under way and the refresh stopped; the host hears "present"
// only when the browser is about to show.
void NBAdView::presentClickBrowser(std::string url) {
  // Held here: the host may let go of the banner inside "present", the browser still comes.
  auto self = shared_from_this();
  if (!browserTakes(url)) {
    endWaitingClick();
    touchedDownOnAd_ = false;
    if (refreshInterval_ != -1) invokeAdRefreshTimer();
    return;
  }
  if (currentState_ == kMRAIDStateExpanded || !presenter()) {
    if (!waitingClickUrl_) {
      std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(self);
      waitingClickTimer_ = platform::Timer::scheduledTimer(0.1, true, [weak](platform::Timer&) {
        auto v = weak.lock();
        if (v && v->waitingClickUrl_) v->presentClickBrowser(*v->waitingClickUrl_);
      });
    }
    waitingClickUrl_ = url;
    invalidateAdRefreshTimer();
    return;
  }
  endWaitingClick();
  touchedDownOnAd_ = true;
  screenAnnounced_ = true;
  performAdClickNotification();
  // No browser could be shown after all: the click ends as if it had been closed.
  if (!showEmbedWebViewWithUrl(url)) {
    adScreenWillDismiss();
    adScreenDidDismiss();
  }
}

void NBAdView::endWaitingClick() {
  waitingClickUrl_.reset();
  if (waitingClickTimer_) waitingClickTimer_->invalidate();
  waitingClickTimer_.reset();
}

bool NBAdView::browserTakes(const std::optional<std::string>& url) {
  // The browser takes any address but the disk's and a script's: it hands a store link on.
  if (url && NBURLRouting::opensInBrowser(*url)) return true;
  logLine("not opening %@ in the browser", url.value_or("(null)"));
  return false;
}

bool NBAdView::mayPresentBrowserWithUrl(const std::optional<std::string>& url) const {
  return browserTakes(url) && presenter() != nullptr;
}

// The browser goes over a screen of the host's own: a click answered under it still leads where
// the user tapped. Over an ad's screen (a browser, the interstitial) there is none: the user is
// in that ad now, and the two would not close in order.
std::shared_ptr<platform::ViewController> NBAdView::presenter() const {
  auto top = rootViewController();
  // A screen coming or going refuses another: the browser would never show.
  if (top && top->isBeingDismissed()) return nullptr;
  while (top && top->presentedViewController()) {
    top = top->presentedViewController();
    auto navigation = std::dynamic_pointer_cast<platform::NavigationController>(top);
    const bool browser = navigation && std::dynamic_pointer_cast<NBEmbeddedWebViewController>(
                                           navigation->topViewController());
    if (browser || std::dynamic_pointer_cast<NBAdInterstitialPrivate>(top)) return nullptr;
    if (top->isBeingPresented() || top->isBeingDismissed()) return nullptr;
  }
  return top;
}

bool NBAdView::showEmbedWebViewWithUrl(const std::optional<std::string>& url) {
  if (!mayPresentBrowserWithUrl(url)) return false;
  auto root = presenter();
  setExpandedViewsHidden(true);
  if (nbEmbedWebViewController_) nbEmbedWebViewController_->setDelegate({});
  auto browser = NBEmbeddedWebViewController::create();
  auto navigation = platform::NavigationController::createWithRootViewController(browser);
  browser->setUrlString(url);
  browser->setDelegate(listener_);
  root->presentModalViewControllerAnimated(navigation, true);
  nbEmbedWebViewController_ = browser;
  return true;
}

// The host hears that the browser goes exactly when it heard that it came, whatever the ad.
void NBAdView::adScreenWillDismiss() {
  if (!screenAnnounced_) return;
  performAdWillDismissNotification();
  touchedDownOnAd_ = false;
}

void NBAdView::adScreenDidDismiss() {
  auto self = shared_from_this();
  if (screenAnnounced_) {
    screenAnnounced_ = false;
    performAdDidDismissNotification();
  }
  if (nbEmbedWebViewController_) nbEmbedWebViewController_->setDelegate({});
  nbEmbedWebViewController_.reset();
  setExpandedViewsHidden(false);
}

void NBAdView::webviewLinkWasClicked(const std::optional<std::string>& url) {
  logLine("web view, link was clicked,url=%@", url.value_or("(null)"));
  if (!currentAdUnit_ || currentAdUnit_->adActionType != 3) {
    if (url) showEmbedWebViewWithUrl(*url);
    return;
  }
  if (isClickUnderWay()) {
    logLine("an ad click is in process..");
    return;
  }
  std::string search;
  if (url) {
    auto q = url->find('?');
    if (q != std::string::npos) search = url->substr(q + 1);
  }
  startClick();
  searchString_ = search;
  adClicked();
}

void NBAdView::openReferralURL(const std::string& url, bool followToTheEnd) {
  if (!followToTheEnd) return NBURLRouting::ping(url);
  NBURLRouting::openReferralURL(url, [](const std::string& last) {
    auto& app = platform::Application::sharedApplication();
    if (app.canOpenURL(last)) app.openURL(last);
  });
}


namespace {

// A composer that goes when the user ends it (its own delegate, so also once the host has let
// go of the banner), and says when it has gone, however it went: the host may dismiss it too.
template <class Composer>
class NBComposer : public Composer, public platform::MailComposeDelegate, public platform::MessageComposeDelegate {
 public:
  explicit NBComposer(std::function<void()> gone) : gone_(std::move(gone)) {}
  void viewDidDisappear(bool animated) override {
    Composer::viewDidDisappear(animated);
    if (gone_) std::exchange(gone_, nullptr)();
  }
  void mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController&, platform::MailComposeResult,
                                                     const std::optional<platform::Error>&) override {
    Composer::dismissModalViewControllerAnimated(true);
  }
  void messageComposeViewControllerDidFinishWithResult(platform::MessageComposeViewController&,
                                                       platform::MessageComposeResult) override {
    Composer::dismissModalViewControllerAnimated(true);
  }

 private:
  std::function<void()> gone_;
};

}  // namespace

template <class Composer>
std::shared_ptr<Composer> NBAdView::makeComposer() {
  std::weak_ptr<NBAdView> weak = std::static_pointer_cast<NBAdView>(shared_from_this());
  return std::make_shared<NBComposer<Composer>>([weak] {
    if (auto view = weak.lock()) view->setExpandedViewsHidden(false);
  });
}

void NBAdView::presentComposer(const std::shared_ptr<platform::ViewController>& composer) {
  auto root = rootViewController();
  // One screen at a time: while another is up this one could not be shown, nor the ad again.
  if (!root || root->presentedViewController()) return;
  setExpandedViewsHidden(true);
  root->presentModalViewControllerAnimated(composer, true);
}

void NBAdView::sendEMailTo(const std::string& to, const std::optional<std::string>& subject,
                           const std::optional<std::string>& body, bool isHTML) {
  if (!platform::Runtime::classExists("MFMailComposeViewController")) {
    showAlertWithMsg("Cannot send Email!");
    return;
  }
  if (!platform::MailComposeViewController::canSendMail()) {
    showAlertWithMsg("No email account has been setup!");
    return;
  }
  auto composer = makeComposer<platform::MailComposeViewController>();
  composer->setMailComposeDelegate(std::dynamic_pointer_cast<platform::MailComposeDelegate>(composer));
  if (!to.empty()) composer->setToRecipients({to});
  if (subject) composer->setSubject(*subject);
  if (body) composer->setMessageBodyIsHTML(*body, isHTML);
  presentComposer(composer);
}

void NBAdView::sendSMSToWithBody(const std::optional<std::string>& to, const std::optional<std::string>& body) {
  if (!platform::Runtime::classExists("MFMessageComposeViewController") ||
      !platform::MessageComposeViewController::canSendText()) {
    showAlertWithMsg("Cannot send SMS!");
    return;
  }
  auto composer = makeComposer<platform::MessageComposeViewController>();
  composer->setMessageComposeDelegate(std::dynamic_pointer_cast<platform::MessageComposeDelegate>(composer));
  if (to) composer->setRecipients({*to});
  if (body) composer->setBody(*body);
  presentComposer(composer);
}

void NBAdView::showAlertWithMsg(const std::string& message) {
  std::make_shared<platform::AlertView>("Error!", message, nullptr, std::string("OK"), std::vector<std::string>{})
      ->show();
}

}  // namespace nubira
