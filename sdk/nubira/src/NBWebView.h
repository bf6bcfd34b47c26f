#pragma once
// The surface every Nubira ad is loaded into: a web view set up for ads, with the markup
// wrapped in a fixed page and, for rich-media ads, the two MRAID scripts in front of it. The
// owner is the web view's delegate, so loads and command URLs go to the owner. Main thread.
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/passkey.h"
#include "platform/request_budget.h"
#include "platform/url_connection.h"

namespace platform {
class WebView;
class WebViewDelegate;
}  // namespace platform

namespace nubira {

class NBWebView {
 public:
  static constexpr const char* kPageHead =
      "<html><head><meta http-equiv=\"Content-Type\"content=\"text/html charset=utf-16le\">"
      "<style>body{margin:0px;}</style></head><body>";
  static constexpr const char* kPageTail = "</body></html>";

  static std::unique_ptr<NBWebView> createWithFrameDelegate(const platform::Rect& frame,
                                                            std::weak_ptr<platform::WebViewDelegate> delegate);
  ~NBWebView();
  NBWebView(const NBWebView&) = delete;
  NBWebView& operator=(const NBWebView&) = delete;

  const std::shared_ptr<platform::WebView>& webview() const { return webview_; }
  const std::shared_ptr<platform::WebView>& webView() const { return webview_; }

  // The page as loadHtmlStringForRMAd loads it.
  static std::string pageForMarkup(const std::string& markup, bool richMedia);
  void loadHtmlStringForRMAd(const std::string& markup, bool richMedia);
  // Whether a command URL the page sent may be carried out: only while the view shows the
  // page it was given (not one the ad navigated to) and the owner counts the ad as `current`.
  // A refusal is logged once per page given, as a page on a timer would flood the log.
  bool admitsCommandFromPage(const std::string& url, bool current);
  // What a page may do beyond its own view, for the ad now given to this view:
  // - act for the user (count or report a click, open anything outside the ad, present a
  //   screen, compose, dial): only just after the user touched this view while it is shown,
  //   one act per touch;
  // - make requests of its own (beacons, pings, referrals): only while the view is shown, and
  //   at most kRequestsPerAd of them (the rest dropped, said once).
  // Each refusal is logged once per page, naming `act`.
  bool userActivationForAct(const std::string& act);
  bool allowsRequestFromPage(const std::string& act);
  // The refusal line for a page the user did not touch (logged with the act it refused).
  static constexpr const char* kNoTouchRefusal = "the ad's page may not %@ without the user's touch";
  static constexpr const char* kOffScreenRefusal = "the ad is not on screen: its page may not %@";
  static constexpr size_t kRequestsPerAd = platform::RequestBudget::kDefaultLimit;
  static constexpr const char* kRequestBudgetLine =
      "Nubira: the ad asked for more requests than an ad may make; the rest are dropped";
  void loadRequest(const platform::URLRequest* request);
  void injectJavascript(const std::string& script);
  void stopLoading();
  void setWebViewUserInteraction(bool enabled);
  void disableBouncesAndScrolling();
  static std::string style();
  void injectMRAIDStateIntoWebView(const std::shared_ptr<platform::WebView>& webView);
  void injectMRAIDJavaScriptIntoWebView(const std::shared_ptr<platform::WebView>&) {}

  NBWebView(platform::Passkey<NBWebView>, const platform::Rect& frame);

 private:
  std::shared_ptr<platform::WebView> webview_;
  bool refusalLogged_ = false;
  platform::RequestBudget requestBudget_{kRequestBudgetLine, kRequestsPerAd};
};

}  // namespace nubira
