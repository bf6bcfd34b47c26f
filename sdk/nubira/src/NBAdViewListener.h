#pragma once
// Everything the banner is a delegate of, in one object the banner owns.
#include "JSBridgeDelegate.h"
#include "NBEmbeddedWebViewController.h"
#include "NBHttpRequestDelegate.h"
#include "NBSDKUtil.h"
#include "NBURLRouting.h"
#include "NBWebView.h"
#include "nubira/NBAdView.h"
#include "platform/web_view.h"

namespace nubira {

// Everything the view is a delegate of goes through this object, so that the publisher's
// delegate is never handed to the view's inner parts.
class NBAdView::Listener : public NBHttpRequestDelegate,
                           public platform::WebViewDelegate,
                           public JSBridgeDelegate,
                           public NBAdScreenDismissDelegate {
 public:
  explicit Listener(std::weak_ptr<NBAdView> view) : view_(std::move(view)) {}

  unsigned respondedMessages() const override {
    return kAdRequestFinished | kAdRequestFailed | kAdClickFinished | kAdClickFailed;
  }
  void adClickRequestFinishedWithUrlNewAdActionType(const std::optional<std::string>& url,
                                                    const std::optional<std::string>& actionType) override {
    if (auto v = lock()) v->adClickRequestFinishedWithUrlNewAdActionType(url, actionType);
  }
  void adClickRequestFailed() override {
    if (auto v = lock()) v->adClickRequestFailed();
  }
  void adScreenWillDismiss() override {
    if (auto v = lock()) v->adScreenWillDismiss();
  }
  void adScreenDidDismiss() override {
    if (auto v = lock()) v->adScreenDidDismiss();
  }
  void nbAdRequestFinished(const platform::Bytes& data) override {
    if (auto v = lock()) v->nbAdRequestFinished(data);
  }
  void nbAdRequestFailed(const platform::Error& error) override {
    if (auto v = lock()) v->nbAdRequestFailed(error);
  }

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const WebViewPtr& webView,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType type) override {
    (void)type;  // a tap is known by the page's user activation, never by the navigation type
    auto v = lock();
    return v && v->shouldStartLoad(webView, request.url());
  }
  void webViewDidStartLoad(const WebViewPtr& webView) override {
    if (auto v = lock()) v->webViewDidStartLoad(webView);
  }
  void webViewDidFinishLoad(const WebViewPtr& webView) override {
    if (auto v = lock()) v->webViewDidFinishLoad(webView);
  }
  void webViewDidFailLoadWithError(const WebViewPtr& webView, const platform::Error& error) override {
    if (auto v = lock()) v->webViewDidFailLoadWithError(webView, error);
  }

  WebViewPtr webView() override {
    auto v = lock();
    return v ? v->onScreenWebView() : nullptr;
  }
  void adIsMRAIDEnabledForWebView(const WebViewPtr&) override {
    if (auto v = lock()) v->ismraidAd_ = true;
  }
  std::string usingWebViewExecuteJavascript(const WebViewPtr& webView, const std::string& script) override {
    auto v = lock();
    return v ? v->runScript(webView, script) : std::string();
  }
  void showAd(const WebViewPtr& webView) override {
    if (auto v = lock()) v->showAd(webView);
  }
  void hideAd(const WebViewPtr& webView) override {
    if (auto v = lock()) v->hideAd(webView);
  }
  void closeAd(const WebViewPtr& webView) override {
    if (auto v = lock()) v->closeAd(webView);
  }
  void expandToWithURLInWebViewBlockingColorBlockingOpacityLockOrientation(const platform::Rect& rect,
                                                                           const std::optional<platform::URL>&,
                                                                           const WebViewPtr& webView,
                                                                           const platform::Color&, float,
                                                                           bool) override {
    if (auto v = lock()) v->expandToWithURLInWebView(rect, webView);
  }
  void resizeToWidthHeightInWebView(float width, float height, const WebViewPtr& webView) override {
    if (auto v = lock()) v->resizeToWidthHeightInWebView(width, height, webView);
  }
  std::optional<platform::Rect> getAdFrameInWindowCoordinates() override {
    auto v = lock();
    return v ? std::optional(v->getAdFrameInWindowCoordinates()) : std::nullopt;
  }
  std::optional<platform::Rect> rectAccordingToOrientation(const platform::Rect& rect) override {
    auto v = lock();
    return v ? std::optional(v->rectAccordingToOrientation(rect)) : std::nullopt;
  }
  void rotateExpandedWindowsToCurrentOrientation() override {
    if (auto v = lock()) v->rotateExpandedWindowsToCurrentOrientation();
  }
  void openBrowserWithUrlStringEnableBackEnableForwardEnableRefresh(const WebViewPtr& webView,
                                                                     const std::optional<std::string>& url, bool,
                                                                     bool, bool) override {
    auto v = lock();
    // A landing page the ad's own page opens is no click of the banner: the host hears
    // nothing of it, coming or going, and the banner goes on refreshing behind it.
    if (v && v->mayPresentBrowserWithUrl(url) && v->holderOf(webView).userActivationForAct("open the browser"))
      v->showEmbedWebViewWithUrl(*url);
  }
  void sendEMailToWithSubjectWithBodyIsHTML(const std::string& to, const std::string& subject,
                                            const std::string& body, bool isHTML) override {
    auto v = lock();
    if (v && v->onScreenHolder().userActivationForAct("compose mail")) v->sendEMailTo(to, subject, body, isHTML);
  }
  void sendSMSToWithBody(const std::string& to, const std::string& body) override {
    auto v = lock();
    if (v && v->onScreenHolder().userActivationForAct("compose a message")) v->sendSMSToWithBody(to, body);
  }
  void placeCallTo(const std::string& number) override {
    if (!NBURLRouting::isPhoneNumber(number)) {
      logLine("not a phone number: %@", number);
      return;
    }
    auto v = lock();
    if (v && v->onScreenHolder().userActivationForAct("dial"))
      platform::Application::sharedApplication().openURL(platform::format("tel://%@", number));
  }
  void sendBeaconPingToUrl(const std::optional<std::string>& url) override {
    if (!url) {
      logLine("beacon url is null");
      return;
    }
    logLine("beacon url is %@", *url);
    auto v = lock();
    if (v && v->onScreenHolder().allowsRequestFromPage("ping")) NBAdView::openReferralURL(*url, false);
  }

 private:
  std::shared_ptr<NBAdView> lock() const { return view_.lock(); }
  std::weak_ptr<NBAdView> view_;
};

}  // namespace nubira
