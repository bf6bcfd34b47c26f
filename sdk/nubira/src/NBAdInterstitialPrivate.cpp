#include "NBAdInterstitialPrivate.h"

#include <cmath>

#include "NBAdCloseButton.h"
#include "NBAdUnit.h"
#include "NBJSBridge.h"
#include "NBSDKUtil.h"
#include "NBURLRouting.h"
#include "NBUtilities.h"
#include "NBWebView.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/navigation_controller.h"
#include "platform/runtime.h"
#include "platform/screen.h"
#include "platform/scroll_view.h"

namespace nubira {

namespace {

constexpr double kCloseButtonSide = 25;
// Below the status bar, which a form navigation shows.
constexpr double kStatusBarHeight = 20;

}  // namespace

NBAdInterstitialPrivate::NBAdInterstitialPrivate(platform::Passkey<NBAdInterstitialPrivate>) {}

std::shared_ptr<NBAdInterstitialPrivate> NBAdInterstitialPrivate::create() {
  auto controller = std::make_shared<NBAdInterstitialPrivate>(platform::Passkey<NBAdInterstitialPrivate>());
  controller->build();
  return controller;
}

std::shared_ptr<NBAdInterstitialPrivate> NBAdInterstitialPrivate::self() {
  return std::static_pointer_cast<NBAdInterstitialPrivate>(platform::ViewController::shared_from_this());
}

void NBAdInterstitialPrivate::build() {
  auto me = self();
  const auto screen = platform::Screen::mainScreen().bounds();
  nbWebView_ = NBWebView::createWithFrameDelegate(screen, std::static_pointer_cast<platform::WebViewDelegate>(me));
  nbWebView_->webView()->setAutoresizingMask(18);
  scrollView_ = std::make_shared<platform::ScrollView>(screen);
  view()->addSubview(scrollView_);
  scrollView_->addSubview(nbWebView_->webView());
  auto button = NBAdCloseButton::buttonWithType(platform::ButtonType::Custom);
  button->addTarget(me, &NBAdInterstitialPrivate::closeButtonTapped, platform::kControlEventTouchUpInside);
  button->setFrame(platform::Rect(0, 0, kCloseButtonSide, kCloseButtonSide));
  view()->addSubview(button);
  closeButton_ = button;
  isEmbeddedControllerShowing_ = false;
  jsBridge_ = NBJSBridge::create();
  jsBridge_->setBridgeDelegate(std::static_pointer_cast<JSBridgeDelegate>(me));
  util_ = NBSDKUtil::util();
  setWantsFullScreenLayout(true);
}

NBAdInterstitialPrivate::~NBAdInterstitialPrivate() {
  delegate_.reset();
  if (nbWebView_) nbWebView_->stopLoading();
  if (nbEmbedWebViewController_) nbEmbedWebViewController_->setDelegate({});
}

void NBAdInterstitialPrivate::loadHtmlString(const std::string& markup) {
  isLoadingAd_ = true;
  nbWebView_->loadHtmlStringForRMAd(markup, true);
}

void NBAdInterstitialPrivate::stopLoading() { nbWebView_->stopLoading(); }

void NBAdInterstitialPrivate::setAdUnit(NBAdUnit& unit) { unit.isAdTypeInterstitial = true; }

void NBAdInterstitialPrivate::ready() { showAd(nbWebView_->webView()); }

// --- Appearance -------------------------------------------------------------------------------

void NBAdInterstitialPrivate::viewWillAppear(bool animated) {
  platform::ViewController::viewWillAppear(animated);
  isEmbeddedControllerShowing_ = false;
  platform::Application::sharedApplication().setStatusBarHidden(true);
  setWantsFullScreenLayout(true);
}

void NBAdInterstitialPrivate::viewWillDisappear(bool animated) {
  platform::ViewController::viewWillDisappear(animated);
  if (isGoing()) announceDismissal();
}

void NBAdInterstitialPrivate::announceDismissal() {
  if (dismissalAnnounced_) return;
  dismissalAnnounced_ = true;
  auto keep = self();
  if (showsStatusBarWhenGone_) platform::Application::sharedApplication().setStatusBarHidden(false);
  if (auto d = delegate_.lock()) d->interstitialWillDismiss();
}

void NBAdInterstitialPrivate::viewDidDisappear(bool animated) {
  platform::ViewController::viewDidDisappear(animated);
  if (!isGoing()) {
    logLine("embedded vc was showing, not notifying delegate..");
    return;
  }
  auto keep = self();
  if (auto d = delegate_.lock()) d->interstitialDidDismiss();
}

bool NBAdInterstitialPrivate::shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation orientation) {
  const auto size = platform::Screen::mainScreen().bounds().size;
  if (platform::isLandscape(orientation))
    scrollView_->setFrame(platform::Rect(0, 0, size.height, size.width));
  else
    scrollView_->setFrame(platform::Rect(0, 0, size.width, size.height));
  scrollView_->setContentSize(size);
  nbWebView_->webView()->setFrame(platform::Screen::mainScreen().bounds());
  return true;
}

// --- Page loads -------------------------------------------------------------------------------

void NBAdInterstitialPrivate::webViewDidStartLoad(const WebViewPtr&) {
  logLine("nbwebview did start loading..laod count=%d", webViewLoadCount_);
  ++webViewLoadCount_;
}

void NBAdInterstitialPrivate::restoreScreenAfterFormNavigation() {
  // Only what a form changed is put back: a page's own later loads, shown or not, leave the
  // application's status bar alone.
  if (!formChangedScreen_) return;
  formChangedScreen_ = false;
  auto& app = platform::Application::sharedApplication();
  app.setStatusBarHidden(true);
  app.setNetworkActivityIndicatorVisible(false);
  closeButton_->setFrame(platform::Rect(0, 0, kCloseButtonSide, kCloseButtonSide));
}

void NBAdInterstitialPrivate::webViewDidFinishLoad(const WebViewPtr&) {
  logLine("nbwebview finished loading..,load count=%d", webViewLoadCount_);
  if (--webViewLoadCount_ != 0) return;
  auto keep = self();
  if (!isLoadingAd_) restoreScreenAfterFormNavigation();
  if (auto d = delegate_.lock()) d->interstitialFinishedLoading();
  isLoadingAd_ = false;
  nbWebView_->disableBouncesAndScrolling();
}

void NBAdInterstitialPrivate::webViewDidFailLoadWithError(const WebViewPtr&, const platform::Error& error) {
  if (--webViewLoadCount_ != 0) return;
  auto keep = self();
  if (!isLoadingAd_) restoreScreenAfterFormNavigation();
  isLoadingAd_ = false;
  if (auto d = delegate_.lock()) d->interstitialFailedToLoadWithError(error);
}

// --- Routing ----------------------------------------------------------------------------------

std::optional<bool> NBAdInterstitialPrivate::webViewShouldStartLoadWithRequestNavigationType(
    const WebViewPtr& webView, const platform::URLRequest& request, platform::WebViewNavigationType type) {
  const std::string& url = request.url();
  util_->logAbove(1, "Verify Web View should load URL: %@", url);
  util_->logAbove(1, "navigation type:%d", static_cast<int>(type));
  const std::string scheme = NBURLRouting::schemeOf(url);
  if (scheme == "file") return false;
  if (url == "about:blank") return true;
  using Type = platform::WebViewNavigationType;
  if ((type == Type::FormSubmitted || type == Type::FormResubmitted) && NBURLRouting::isHttp(url)) {
    // An ad not on screen submits nothing and changes nothing on the screen.
    if (!isShown() || !webView->isShownOnScreen()) {
      if (webView->noteRefusalOnce("form")) logLine("the ad is not on screen: its page may not submit a form");
      return false;
    }
    formChangedScreen_ = true;
    auto& app = platform::Application::sharedApplication();
    app.setStatusBarHidden(false);
    app.setNetworkActivityIndicatorVisible(true);
    closeButton_->setFrame(platform::Rect(0, kStatusBarHeight, kCloseButtonSide, kCloseButtonSide));
    return true;
  }
  // Commands the bridge does not know are not pages either.
  if (scheme == "mraid") {
    if (nbWebView_->admitsCommandFromPage(url, webView == nbWebView_->webView()))
      jsBridge_->processURLForWebView(url, webView);
    return false;
  }
  // Everything below leaves the ad's page: a page may load what it likes into itself, but
  // only just after the user touched the ad on screen may it send anyone elsewhere, one act
  // per touch (the navigation type says nothing of that).
  auto userActed = [&](const char* act) { return nbWebView_->userActivationForAct(act); };
  if (NBEmbeddedWebViewController::isAppStoreURL(url)) {
    if (userActed("open the store")) {
      logLine("Treating URL %@ as call to app store", url);
      openReferralURL(url);
    }
    return false;
  }
  if (scheme == "mailto" || scheme == "tel") {
    routeTappedURL(url, scheme);
    return false;
  }
  auto& app = platform::Application::sharedApplication();
  if (!NBURLRouting::isHttp(url) && app.canOpenURL(url)) {
    if (userActed("open another application")) {
      util_->logAbove(2, "opening url externally:%@", url);
      leaveApplicationWithURL(url);
    }
    return false;
  }
  if (isLoadingAd_) {
    logLine("Perform Normal process for URL.");
    return NBURLRouting::isHttp(url);
  }
  if (NBURLRouting::isHttp(url) && userActed("open a link")) {
    logLine("Delegating Open to web browser.");
    openReferralURL(url);
  }
  return false;
}

void NBAdInterstitialPrivate::routeTappedURL(const std::string& url, const std::string& scheme) {
  if (scheme == "mailto") {
    logLine("MAILTO: %@", url);
    if (auto to = NBURLRouting::mailtoRecipient(url)) sendEMailToWithSubjectWithBodyIsHTML(*to, "", "", false);
    return;
  }
  auto number = NBURLRouting::telNumber(url);
  if (!number) {
    logLine("not a phone number: %@", url);
    return;
  }
  if (nbWebView_->userActivationForAct("dial")) leaveApplicationWithURL(url);
}

void NBAdInterstitialPrivate::openReferralURL(const std::string& url) {
  std::weak_ptr<NBAdInterstitialPrivate> weak = self();
  NBURLRouting::openReferralURL(url, [weak](const std::string& last) {
    if (auto controller = weak.lock())
      controller->leaveApplicationWithURL(last);
    else if (platform::Application::sharedApplication().canOpenURL(last))
      platform::Application::sharedApplication().openURL(last);
  });
}

void NBAdInterstitialPrivate::leaveApplicationWithURL(const std::string& url) {
  auto& app = platform::Application::sharedApplication();
  if (!app.canOpenURL(url)) {
    logLine("<<<unidentified protocol found, cannot open url %@", url);
    return;
  }
  auto keep = self();
  if (auto d = delegate_.lock()) d->interstitialWillLeaveApp();
  app.openURL(url);
}

// --- Page commands ----------------------------------------------------------------------------

JSBridgeDelegate::WebViewPtr NBAdInterstitialPrivate::webView() { return nbWebView_->webView(); }

void NBAdInterstitialPrivate::adIsMRAIDEnabledForWebView(const WebViewPtr&) { ismraidAd_ = true; }

std::string NBAdInterstitialPrivate::usingWebViewExecuteJavascript(const WebViewPtr& webView,
                                                                   const std::string& script) {
  util_->logAbove(1, "Executing Javascript: %@", script);
  return webView ? webView->stringByEvaluatingJavaScriptFromString(script) : std::string();
}

void NBAdInterstitialPrivate::showAd(const WebViewPtr& webView) {
  usingWebViewExecuteJavascript(webView, "window.mraidview.fireViewableChangeEvent(true);");
  usingWebViewExecuteJavascript(webView, platform::format("window.mraidview.fireStateChangeEvent('%@');", "default"));
  usingWebViewExecuteJavascript(webView, "window.mraidview.fireReadyEvent();");
}

void NBAdInterstitialPrivate::hideAd() {
  nbWebView_->injectJavascript("window.mraidview.fireViewableChangeEvent(false);");
  nbWebView_->injectJavascript("window.mraidview.fireStateChangeEvent('loading');");
}

void NBAdInterstitialPrivate::closeAd() {
  // Only an ad fully on screen closes, and only once.
  if (!isShown() || isBeingPresented()) return;
  auto keep = self();
  // The ad goes for good, with whatever it had opened on top of it: the owner hears that.
  isEmbeddedControllerShowing_ = false;
  announceDismissal();
  // Dismissed from its presenter, the ad leaves with the browser or composer it opened on
  // top; asked of itself while it presents one, only that one would go.
  if (auto presenter = presentingViewController())
    presenter->dismissModalViewControllerAnimated(true);
  hideAd();
}

// Covered by its own browser or composer, the ad stays; dismissed (by its close or by the
// host, with whatever it opened on top), it goes.
bool NBAdInterstitialPrivate::isGoing() const { return isBeingDismissed() || !isEmbeddedControllerShowing_; }

bool NBAdInterstitialPrivate::isShown() const { return presentingViewController() && !isBeingDismissed(); }

// What a page asks of the device needs the user's touch on the ad on screen (one act per
// touch), and a screen of its own: a page loading off screen, or one the user did not touch,
// opens no browser, composer or call over the game, and screens never stack.
bool NBAdInterstitialPrivate::mayActForPage(const char* what) {
  if (!isShown()) {
    if (nbWebView_->webView()->noteRefusalOnce(std::string("shown:") + what))
      logLine("ad not on screen, ignoring %@", std::string(what));
    return false;
  }
  return nbWebView_->userActivationForAct(what);
}

bool NBAdInterstitialPrivate::mayPresentScreen(const char* what) {
  if (!presentedViewController()) return mayActForPage(what);
  logLine("a screen is already up over the ad, ignoring %@", std::string(what));
  return false;
}

void NBAdInterstitialPrivate::presentComposer(const std::shared_ptr<platform::ViewController>& composer) {
  isEmbeddedControllerShowing_ = true;
  presentModalViewControllerAnimated(composer, true);
}

void NBAdInterstitialPrivate::sendEMailToWithSubjectWithBodyIsHTML(const std::string& to, const std::string& subject,
                                                                   const std::string& body, bool isHTML) {
  if (!mayPresentScreen("email")) return;
  if (!platform::Runtime::classExists("MFMailComposeViewController")) {
    showAlertWithMsg("Cannot send email!");
    return;
  }
  if (!platform::MailComposeViewController::canSendMail()) {
    showAlertWithMsg("No email account has been setup!");
    return;
  }
  auto composer = std::make_shared<platform::MailComposeViewController>();
  if (!to.empty()) composer->setToRecipients({to});
  if (!subject.empty()) composer->setSubject(subject);
  if (!body.empty()) composer->setMessageBodyIsHTML(body, isHTML);
  composer->setMailComposeDelegate(std::static_pointer_cast<platform::MailComposeDelegate>(self()));
  presentComposer(composer);
}

void NBAdInterstitialPrivate::sendSMSToWithBody(const std::string& to, const std::string& body) {
  if (!mayPresentScreen("sms")) return;
  if (!platform::Runtime::classExists("MFMessageComposeViewController") ||
      !platform::MessageComposeViewController::canSendText()) {
    showAlertWithMsg("Cannot send SMS!");
    return;
  }
  auto composer = std::make_shared<platform::MessageComposeViewController>();
  if (!to.empty()) composer->setRecipients({to});
  if (!body.empty()) composer->setBody(body);
  composer->setMessageComposeDelegate(std::static_pointer_cast<platform::MessageComposeDelegate>(self()));
  presentComposer(composer);
}

void NBAdInterstitialPrivate::mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController& c,
                                                                           platform::MailComposeResult,
                                                                           const std::optional<platform::Error>&) {
  c.dismissModalViewControllerAnimated(true);
}

void NBAdInterstitialPrivate::messageComposeViewControllerDidFinishWithResult(
    platform::MessageComposeViewController& c, platform::MessageComposeResult) {
  c.dismissModalViewControllerAnimated(true);
}

void NBAdInterstitialPrivate::placeCallTo(const std::string& number) {
  if (!NBURLRouting::isPhoneNumber(number)) {
    logLine("not a phone number: %@", number);
    return;
  }
  if (!mayActForPage("dial")) return;
  leaveApplicationWithURL(platform::format("tel://%@", number));
}

void NBAdInterstitialPrivate::sendBeaconPingToUrl(const std::optional<std::string>& url) {
  if (!url) {
    logLine("beacon url is null");
    return;
  }
  logLine("beacon url is %@", *url);
  if (nbWebView_->allowsRequestFromPage("ping")) NBURLRouting::ping(*url);
}

void NBAdInterstitialPrivate::openBrowserWithUrlStringEnableBackEnableForwardEnableRefresh(
    const WebViewPtr&, const std::optional<std::string>& url, bool, bool, bool) {
  if (!url) return;
  // What the browser may not be given is refused without using the user's touch.
  if (NBURLRouting::opensInBrowser(*url) && !mayPresentScreen("open the browser")) return;
  showEmbedWebViewWithUrl(*url);
}

void NBAdInterstitialPrivate::showEmbedWebViewWithUrl(const std::string& url) {
  // The browser takes any address but the disk's and a script's: it hands a store link on.
  if (!NBURLRouting::opensInBrowser(url)) {
    logLine("not opening %@ in the browser", url);
    return;
  }
  if (presentedViewController()) return;
  isEmbeddedControllerShowing_ = true;
  if (nbEmbedWebViewController_) nbEmbedWebViewController_->setDelegate({});
  auto browser = NBEmbeddedWebViewController::create();
  browser->setUrlString(url);
  browser->setDelegate(std::static_pointer_cast<NBAdScreenDismissDelegate>(self()));
  auto navigation = platform::NavigationController::createWithRootViewController(browser);
  presentModalViewControllerAnimated(navigation, false);
  nbEmbedWebViewController_ = browser;
}

void NBAdInterstitialPrivate::adScreenDidDismiss() {
  if (nbEmbedWebViewController_) nbEmbedWebViewController_->setDelegate({});
  nbEmbedWebViewController_.reset();
}

std::optional<platform::Rect> NBAdInterstitialPrivate::getAdFrameInWindowCoordinates() { return view()->frame(); }

platform::InterfaceOrientation NBAdInterstitialPrivate::currentInterfaceOrientation() const {
  const int device = static_cast<int>(platform::Device::currentDevice().orientation());
  if (device >= 1 && device <= 4) return device;
  return platform::Application::sharedApplication().statusBarOrientation();
}

// The interstitial turns the other way round from the banner's expansion for the two
// landscape orientations.
void NBAdInterstitialPrivate::rotateExpandedWindowsToOrientation(platform::InterfaceOrientation orientation) {
  view()->setTransform(rotationForInterfaceOrientation(orientation, -M_PI / 2));
}

std::optional<platform::Rect> NBAdInterstitialPrivate::rectAccordingToOrientation(const platform::Rect& r) {
  const auto screen = platform::Screen::mainScreen().bounds().size;
  const double W = screen.width, H = screen.height;
  const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
  switch (currentInterfaceOrientation()) {
    case 4: return platform::Rect(H - y - h, x, h, w);
    case 3: return platform::Rect(y, W - x - w, h, w);
    case 2: return platform::Rect(W - x - w, H - y - h, w, h);
    default: return r;
  }
}

void NBAdInterstitialPrivate::showAlertWithMsg(const std::string& message) {
  auto alert = std::make_shared<platform::AlertView>("Error!", message, nullptr, std::string("OK"),
                                                     std::vector<std::string>{});
  alert->show();
}

}  // namespace nubira
