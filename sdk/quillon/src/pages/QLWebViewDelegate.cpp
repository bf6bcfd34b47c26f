#include "QLWebViewDelegate.h"

#include <algorithm>

#include "QLIdentifierUtilities.h"
#include "QLNetworkUtilities.h"
#include "QLNotification.h"
#include "QLNotificationCenter.h"
#include "QLSpamSignals.h"
#include "QLStatistics.h"
#include "platform/application.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/media.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/text_helpers.h"

namespace quillon {

using platform::Dictionary;
using platform::URL;
using platform::Value;
using platform::WebView;

namespace {
std::vector<std::string> splitOnComma(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

// The messages pages send that the client listens for, posted as notifications.
constexpr std::string_view kTaken[] = {"loadAdURL", "invalidRequest", "unableToServe", "settings"};

void postWebAction(const std::shared_ptr<WebView>& webView, Dictionary userInfo) {
  platform::NotificationCenter::defaultCenter().postNotificationName(kDidReceiveWebActionNotification, webView.get(),
                                                                     Value(std::move(userInfo)));
}
}  // namespace

std::shared_ptr<QLWebViewDelegate> QLWebViewDelegate::create(std::shared_ptr<QLStatistics> statistics,
                                                             std::shared_ptr<QLOpener> opener) {
  return std::make_shared<QLWebViewDelegate>(Passkey{}, std::move(statistics), std::move(opener));
}

QLWebViewDelegate::QLWebViewDelegate(std::shared_ptr<QLStatistics> statistics, std::shared_ptr<QLOpener> opener)
    : opener_(std::move(opener)), statistics_(std::move(statistics)) {}

QLWebViewDelegate::~QLWebViewDelegate() {
  if (tracker_) tracker_->reset();
  platform::RunLoop::main().cancelPerforms(this);
}

std::optional<bool> QLWebViewDelegate::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  return decideNavigation(webView, request, navigationType, false);
}

void QLWebViewDelegate::logRefusalOnce(WebView& webView, const std::string& kind, const std::string& line) {
  if (webView.noteRefusalOnce(kind)) platform::log(line);
}

bool QLWebViewDelegate::touchable(const WebView& webView) const {
  // The click's redirect, or its landing page going on while it loads, acts for the touch
  // that opened it, even while its page is still on its way in.
  return webView.navigationInheritsUserActivation() || showsPage(webView);
}

bool QLWebViewDelegate::takeUserAct(WebView& webView, const std::string& what, const std::string& kind) {
  // The navigation type is the page's to choose; only a touch says the user asked.
  if (touchable(webView) && webView.consumeUserActivation()) return true;
  return refuseUserAct(webView, what, kind);
}

bool QLWebViewDelegate::takeUserClick(WebView& webView, const std::string& what) {
  const auto touch = touchable(webView) ? webView.recentUserTouch() : std::nullopt;
  if (touch && touch != clickedTouch_) {
    clickedTouch_ = touch;
    return true;
  }
  return refuseUserAct(webView, what, "message click");
}

bool QLWebViewDelegate::refuseUserAct(WebView& webView, const std::string& what, const std::string& kind) {
  if (!showsPage(webView)) {
    logRefusalOnce(webView, "hidden " + kind, "<Quillon> Ignoring " + what + " from a page that is not shown.");
  } else {
    logRefusalOnce(webView, "untouched " + kind, "<Quillon> Ignoring " + what + ": the user has not touched the page.");
  }
  return false;
}

std::optional<bool> QLWebViewDelegate::decideNavigation(const std::shared_ptr<WebView>& webView,
                                                        const platform::URLRequest& request,
                                                        platform::WebViewNavigationType navigationType,
                                                        bool actGranted) {
  auto self = shared_from_this();
  if (auto agent = request.valueForHTTPHeaderField("User-Agent"); agent && !QLNetworkUtilities::setUserAgentString(*agent))
    logRefusalOnce(*webView, "user agent",
                   "<Quillon> Ignoring a user agent with control characters; the client keeps the one it had.");
  if (opener_) opener_->setViewController(viewController_);
  auto url = URL::create(request.url());
  if (!url) return false;
  if (QLNotification::isNotificationURL(*url)) {
    if (acceptsMessagesFrom(*webView)) {
      dispatchMessage(webView, *url);
    } else {
      const auto shown = webView->request();
      logRefusalOnce(*webView, "foreign page",
                     platform::format("<Quillon> Ignoring the page message %@ from %@: the page is not the ad's own.",
                                      url->absoluteString(), shown ? shown->url() : std::string("(none)")));
    }
    return false;
  }
  std::string scheme = platform::lowercase(url->scheme().value_or(""));
  const bool leaves = scheme != "file" && scheme != "about" && scheme != "http" && scheme != "https";
  // Another application or the composer: only for the user's own touch on a shown page.
  if (leaves && !actGranted && !takeUserAct(*webView, url->absoluteString(), "scheme " + scheme)) return false;
  if (!(navigationType == platform::WebViewNavigationType::Other && url->path().size() < 2))
    postWebAction(webView, Dictionary{{"u", Value(url->absoluteString())}});
  if (scheme == "mailto") {
    if (opener_) opener_->openMailComposer(*url);
    return false;
  }
  if (scheme == "file") return false;
  if (scheme == "about" || scheme == "http" || scheme == "https") return true;
  if (opener_) opener_->openApp(*url);
  return false;
}

void QLWebViewDelegate::dispatchMessage(const std::shared_ptr<WebView>& webView, const URL& url) {
  Dictionary userInfo{{"u", Value(url.absoluteString())}};
  auto message = QLNotification::notificationFromURL(url);
  if (!message) {
    // A message of a kind this client does not know: seen, and ignored.
    postWebAction(webView, std::move(userInfo));
    return;
  }
  const std::string& name = message->name();
  const std::string what = "the page message " + url.absoluteString();
  // A page that is not shown (a builder, an interstitial still loading, a banner hidden or
  // taken from its window) may tell the client things (its settings among them), but takes
  // nobody out of the ad.
  if (!showsPage(*webView) && name == "open") {
    logRefusalOnce(*webView, "hidden " + name, "<Quillon> Ignoring " + what + " from a page that is not shown.");
    return;
  }
  // A click and an opening speak for the user: only on a touch of theirs. The click reports
  // the touch (once per touch) and leaves it to the opening that follows it.
  if (name == "click" && !takeUserClick(*webView, what)) return;
  if (name == "open" && !takeUserAct(*webView, what, "message " + name)) return;
  if (name == "vibrate" && !allowance_->allowVibration()) {
    logRefusalOnce(*webView, "often vibrate",
                   "<Quillon> Ignoring " + what + ": the ad has vibrated within the last " +
                       platform::format("%.0f", QLAdAllowance::kVibrationInterval) + " seconds.");
    return;
  }
  userInfo.set("a", Value(name));
  postWebAction(webView, std::move(userInfo));
  if (name == "click") {
    trackURLStringAppendSpamSignals(message->parameter("u"), true);
  } else if (name == "close") {
    if (auto controller = viewController(); controller && controller->respondsToRelinquishScreen())
      controller->relinquishScreen();
  } else if (name == "httpTrack") {
    trackURLStringAppendSpamSignals(message->parameter("u"), false);
  } else if (name == "log") {
    // The page's text is the line itself, never a format.
    platform::log(message->parameter("string"));
  } else if (name == "open") {
    if (opener_) opener_->openNotification(*message);
  } else if (name == "touch") {
    const auto& p = message->parameters();
    QLSpamSignals::processTouch(static_cast<int>(intForKeyFromDictionary("tx", p)),
                                static_cast<int>(intForKeyFromDictionary("ty", p)),
                                static_cast<int>(intForKeyFromDictionary("td", p)));
  } else if (name == "vibrate") {
    platform::SystemSounds::playSystemSound(platform::kSystemSoundIDVibrate);
  } else if (name == "canOpenURLs") {
    processCanOpenURLs(message->parameter("urls"), *webView);
  } else if (name == "evalInOpener") {
    evaluateJavaScriptInOpener(message->parameter("js"), webView);
  } else if (std::find(std::begin(kTaken), std::end(kTaken), name) != std::end(kTaken)) {
    QLNotificationCenter::postNotificationFromURLObjectWithDelay(url, webView, 0);
  } else {
    // The process's notification center also carries the platform's and the other clients'
    // notifications: a page may not post under their names.
    platform::logf("<Quillon> Ignoring the page message %@: the client takes no such message.", url.absoluteString());
  }
}

void QLWebViewDelegate::processCanOpenURLs(const std::string& urls, WebView& webView) {
  Dictionary answers = QLIdentifierUtilities::canOpenURLs(splitOnComma(urls));
  QLNotificationCenter::postJSNotificationUserInfoWebView("openableURLs", Value(std::move(answers)), webView);
}

void QLWebViewDelegate::evaluateJavaScriptInOpener(const std::string& script, const std::shared_ptr<WebView>& webView) {
  if (!openingWebView()) return;
  std::weak_ptr<WebView> opening = openingWebView_;
  std::weak_ptr<WebView> requesting = webView;
  platform::RunLoop::main().postAfter(
      0,
      [opening, requesting, script] {
        auto source = opening.lock();
        auto target = requesting.lock();
        if (!source || !target) return;
        std::string result = source->stringByEvaluatingJavaScriptFromString(script);
        QLNotificationCenter::postJSNotificationUserInfoWebView("evalJavaScriptInOpenerResult",
                                                                Value(Dictionary{{"result", Value(result)}}), *target);
      },
      this);
}

void QLWebViewDelegate::webViewDidFinishLoad(const std::shared_ptr<WebView>& webView) {
  auto self = shared_from_this();
  notifyWebViewOfOrientationChange(*webView, platform::Application::sharedApplication().statusBarOrientation());
  if (!hasLoadedAtLeastOnce_) {
    hasLoadedAtLeastOnce_ = true;
    loadedFirstPage(webView);
  }
}

void QLWebViewDelegate::notifyWebViewOfOrientationChange(WebView& webView, int orientation) {
  int degrees;
  switch (orientation) {
    case platform::kInterfaceOrientationPortrait: degrees = 0; break;
    case platform::kInterfaceOrientationPortraitUpsideDown: degrees = 180; break;
    case platform::kInterfaceOrientationLandscapeLeft: degrees = 90; break;
    case platform::kInterfaceOrientationLandscapeRight: degrees = -90; break;
    default: return;
  }
  webView.stringByEvaluatingJavaScriptFromString(platform::format(
      "window.__defineGetter__('orientation',function(){return %i;});window.onorientationchange();", degrees));
}

void QLWebViewDelegate::setAllowance(std::shared_ptr<QLAdAllowance> allowance) {
  allowance_ = allowance ? std::move(allowance) : std::make_shared<QLAdAllowance>();
}

void QLWebViewDelegate::trackURLStringAppendSpamSignals(const std::string& text, bool appendSpamSignals) {
  auto url = URL::create(text);
  if (!url || !allowance_->allowTrackingRequest()) return;
  if (appendSpamSignals) url = QLSpamSignals::urlWithClickSignal(*url);
  if (!tracker_) tracker_ = QLClickTracker::create(statistics_);
  tracker_->trackURL(*url);
}

int64_t QLWebViewDelegate::intForKeyFromDictionary(const std::string& key, const Dictionary& dictionary) {
  const Value* v = dictionary.find(key);
  return v ? v->integerValue() : -1;
}

}  // namespace quillon
