#pragma once
// What an ad surface does for its page's "mraid://" commands. The owner of the web view (the
// banner or the interstitial) implements it. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/geometry.h"
#include "platform/graphics.h"
#include "platform/url.h"

namespace platform {
class WebView;
}

namespace nubira {

class JSBridgeDelegate {
 public:
  using WebViewPtr = std::shared_ptr<platform::WebView>;
  virtual ~JSBridgeDelegate() = default;

  virtual WebViewPtr webView() = 0;
  virtual void adIsMRAIDEnabledForWebView(const WebViewPtr& webView) = 0;
  // Runs a finished script in the page and gives its result. Callers escape what they put
  // in it.
  virtual std::string usingWebViewExecuteJavascript(const WebViewPtr& webView, const std::string& script) = 0;
  virtual void showAd(const WebViewPtr& webView) = 0;
  virtual void hideAd(const WebViewPtr& webView) = 0;
  virtual void closeAd(const WebViewPtr& webView) = 0;
  virtual void sendEMailToWithSubjectWithBodyIsHTML(const std::string& to, const std::string& subject,
                                                    const std::string& body, bool isHTML) = 0;
  virtual void sendSMSToWithBody(const std::string& to, const std::string& body) = 0;
  virtual void placeCallTo(const std::string& number) = 0;
  virtual void sendBeaconPingToUrl(const std::optional<std::string>& url) = 0;

  // Optional: the defaults do nothing (or answer nullopt, "not implemented").
  virtual void openBrowserWithUrlStringEnableBackEnableForwardEnableRefresh(const WebViewPtr&,
                                                                             const std::optional<std::string>&,
                                                                             bool, bool, bool) {}
  virtual void openMapWithUrlStringAndFullScreen(const WebViewPtr&, const std::optional<std::string>&, bool) {}
  virtual void resizeToWidthHeightInWebView(float, float, const WebViewPtr&) {}
  virtual void expandToWithURLInWebViewBlockingColorBlockingOpacityLockOrientation(const platform::Rect&,
                                                                                   const std::optional<platform::URL>&,
                                                                                   const WebViewPtr&,
                                                                                   const platform::Color&, float,
                                                                                   bool) {}
  virtual std::optional<platform::Rect> getAdFrameInWindowCoordinates() { return std::nullopt; }
  virtual void rotateExpandedWindowsToCurrentOrientation() {}
  virtual std::optional<platform::Rect> rectAccordingToOrientation(const platform::Rect&) { return std::nullopt; }
};

}  // namespace nubira
