#pragma once
// The browser's view: a web view that loads the ad's target and anything the user follows
// from there, and a "Back" button. A page that fails to load ends the browser, after its
// URL was offered to the system when the system can open it (a store link, for instance);
// a load that was only interrupted (another load took its place) is not a failure.
// Main thread only. Make with create().
#include <memory>
#include <optional>

#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/url.h"
#include "platform/web_view.h"

namespace kelvane {

class KvBrowserViewController;

class KvBrowserView : public platform::View, public platform::WebViewDelegate {
 public:
  static std::shared_ptr<KvBrowserView> create(const platform::Rect& frame);
  KvBrowserView(platform::Passkey<KvBrowserView>, const platform::Rect& frame);
  ~KvBrowserView() override;

  void setKvBrowserViewController(std::weak_ptr<KvBrowserViewController> c) { kvBrowserViewController_ = std::move(c); }
  void loadUrl(const std::optional<platform::URL>& url);
  void done();
  void didRotate();

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;

  const std::shared_ptr<platform::WebView>& kvWebViewForTesting() const { return kvWebView_; }
  const std::shared_ptr<platform::Button>& backButtonForTesting() const { return back_; }

 private:
  std::weak_ptr<KvBrowserViewController> kvBrowserViewController_;
  std::shared_ptr<platform::WebView> kvWebView_;
  std::string kvBrowserUrl_;
  std::shared_ptr<platform::Button> back_;
};

// The full-screen views' answer to a device rotation: back to the origin, same size, for the
// four upright orientations.
void KvMoveToOriginOnRotation(platform::View& view);

}  // namespace kelvane
