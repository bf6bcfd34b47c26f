#pragma once
// The surface every Nubira ad is loaded into: a web view set up for ads, with the markup
// wrapped in a fixed page and, for rich-media ads, the two MRAID scripts in front of it. The
// owner is the web view's delegate, so loads and command URLs go to the owner. Main thread.
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/passkey.h"
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
};

}  // namespace nubira
