#include "NBWebView.h"

#include "NBMraid.h"
#include "NBMraidBridge.h"
#include "NBSDKUtil.h"
#include "platform/format.h"
#include "platform/runtime.h"
#include "platform/scroll_view.h"
#include "platform/web_view.h"

namespace nubira {

NBWebView::NBWebView(platform::Passkey<NBWebView>, const platform::Rect& frame)
    : webview_(platform::WebView::create(frame)) {}

std::unique_ptr<NBWebView> NBWebView::createWithFrameDelegate(const platform::Rect& frame,
                                                              std::weak_ptr<platform::WebViewDelegate> delegate) {
  auto holder = std::make_unique<NBWebView>(platform::Passkey<NBWebView>(), frame);
  auto& view = *holder->webview_;
  view.setDelegate(std::move(delegate));
  view.setBackgroundColor(platform::Color::clearColor());
  view.setOpaque(false);
  view.setAutoresizingMask(18);
  holder->disableBouncesAndScrolling();
  if (platform::Runtime::respondsToSelector("UIWebView", "setAllowsInlineMediaPlayback:"))
    view.setAllowsInlineMediaPlayback(true);
  if (platform::Runtime::respondsToSelector("UIWebView", "setMediaPlaybackRequiresUserAction:"))
    view.setMediaPlaybackRequiresUserAction(false);
  return holder;
}

NBWebView::~NBWebView() {
  webview_->setDelegate({});
  NBSDKUtil::util()->logAbove(1, "Nbwebview dealloced");
}

std::string NBWebView::pageForMarkup(const std::string& markup, bool richMedia) {
  if (!richMedia) return platform::format("%@%@%@", kPageHead, markup, kPageTail);
  const auto scripts =
      platform::format("<script>%@%@</script>", NBMraidBridge::nbMraidBridgeString(), NBMraid::nbMraidString());
  return platform::format("%@%@%@%@", kPageHead, scripts, markup, kPageTail);
}

void NBWebView::loadHtmlStringForRMAd(const std::string& markup, bool richMedia) {
  NBSDKUtil::util()->logAbove(1, "webview will start loading htmlstring");
  refusalLogged_ = false;
  requestBudget_.reset();
  webview_->loadHTMLStringBaseURL(pageForMarkup(markup, richMedia), std::nullopt);
}

bool NBWebView::admitsCommandFromPage(const std::string& url, bool current) {
  // The page given has no base URL, so it is "about:blank"; any other is one it went to.
  const auto shown = webview_->request();
  if (current && (!shown || shown->url() == "about:blank")) return true;
  if (!refusalLogged_) {
    refusalLogged_ = true;
    NBSDKUtil::util()->logAbove(1, "ignoring a command from a page other than the ad's own: %@", url);
  }
  return false;
}

bool NBWebView::userActivationForAct(const std::string& act) {
  if (webview_->consumeUserActivation()) return true;
  if (webview_->noteRefusalOnce("touch:" + act)) {
    NBSDKUtil::util()->logAbove(1, webview_->isShownOnScreen() ? kNoTouchRefusal : kOffScreenRefusal, act);
  }
  return false;
}

bool NBWebView::allowsRequestFromPage(const std::string& act) {
  if (!webview_->isShownOnScreen()) {
    if (webview_->noteRefusalOnce("shown:" + act)) NBSDKUtil::util()->logAbove(1, kOffScreenRefusal, act);
    return false;
  }
  return requestBudget_.allowRequest();
}

void NBWebView::loadRequest(const platform::URLRequest* request) {
  if (request) webview_->loadRequest(*request);
}

void NBWebView::injectJavascript(const std::string& script) { webview_->stringByEvaluatingJavaScriptFromString(script); }

void NBWebView::stopLoading() {
  if (webview_->isLoading()) webview_->stopLoading();
}

void NBWebView::setWebViewUserInteraction(bool enabled) { webview_->setUserInteractionEnabled(enabled); }

void NBWebView::disableBouncesAndScrolling() {
  for (const auto& subview : webview_->subviews()) {
    if (auto scroll = std::dynamic_pointer_cast<platform::ScrollView>(subview)) {
      scroll->setScrollEnabled(false);
      scroll->setBounces(false);
    }
  }
}

std::string NBWebView::style() {
  return platform::format(
      "</style> <style> #nb_c { background: -webkit-gradient(linear, left top, left bottom, from(%@), to(%@) "
      "!important;background: -moz-linear-gradient(top,%@  ,%@ ) !important;} </style>",
      "#ffffff", "#ff0000", "#ffffff", "#ff0000");
}

void NBWebView::injectMRAIDStateIntoWebView(const std::shared_ptr<platform::WebView>&) {
  NBSDKUtil::util()->logAbove(1, "Injecting MRAID State into creative.");
}

}  // namespace nubira
