#pragma once
// The browser's view: a web view that loads the ad's target and anything the user follows
// from there, and a "Back" button. A page that fails to load ends the browser, after its
// URL was offered to the system when the system can open it (a store link, for instance);
// a load that was only interrupted (another load took its place) is not a failure.
// Handing a URL to the system leaves the ad, so it is the user's act, one URL per touch: the
// ad's target opens for the user's tap on the ad, so the target itself, its redirects (a
// click address leading to the store) and what its landing page goes to while it first loads
// go on that tap; anything else the browser's page reaches (a link, a frame, a later script)
// goes only on the user's touch on that page. Refusals are logged once per page.
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
  // Whether the user's touch asked for kvBrowserUrl_, a URL the web view cannot show that the
  // system can open: known only while the web view asks about it, and used up then.
  bool kvBrowserUrlTouched(const std::string& url);

  std::string kvBrowserUrl_;
  bool kvBrowserUrlTouched_ = false;
  std::shared_ptr<platform::Button> back_;
};

// The full-screen views' answer to a device rotation: back to the origin, same size, for the
// four upright orientations.
void KvMoveToOriginOnRotation(platform::View& view);

}  // namespace kelvane
