#pragma once
// The delegate of an engine's ad web view: the page bridge's handling, plus what the engine
// needs: the page shown (or failed), and taps on a shown ad turned into clicks that open in
// the client's own full-screen pages instead of navigating the banner.
#include <memory>

#include "QLWebViewDelegate.h"
#include "platform/passkey.h"

namespace quillon {

class QLObjectPrivate;

class QLBannerWebViewDelegate : public QLWebViewDelegate {
 public:
  static std::shared_ptr<QLBannerWebViewDelegate> create(const std::shared_ptr<QLObjectPrivate>& engine);

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;

  // The opener that clicks and the page's "open" messages go through.
  void setAdOpener(std::shared_ptr<QLOpener> opener) { setOpener(std::move(opener)); }

  using Passkey = platform::Passkey<QLBannerWebViewDelegate>;
  QLBannerWebViewDelegate(Passkey, const std::shared_ptr<QLObjectPrivate>& engine);

 protected:
  bool acceptsMessagesFrom(const platform::WebView& webView) const override { return showsOwnMarkup(webView); }
  // An interstitial's page is on show only in the web-app page that presents it, never in
  // the engine's own view; a banner's only while it is shown on screen.
  bool showsPage(const platform::WebView& webView) const override;

 private:
  std::weak_ptr<QLObjectPrivate> private_;
};

}  // namespace quillon
