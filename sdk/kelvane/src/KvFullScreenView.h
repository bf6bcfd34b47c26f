#pragma once
// The full-screen ad's page: loaded like a banner's, with no size taken and no reload. A
// failure closes the ad; "House Ad" and "OK" leave it up until the user acts. A tap on a link
// ending "kelvane-skip" closes it without a click; any other tapped link is a click, once per
// touch on the shown ad, and only while no browser has taken the ad's place.
// Main thread only. Make with create().
#include <memory>

#include "KvPageView.h"
#include "platform/passkey.h"

namespace kelvane {

class KvFullScreenViewController;

class KvFullScreenView : public KvPageView {
 public:
  static std::shared_ptr<KvFullScreenView> create(const platform::Rect& frame);
  KvFullScreenView(platform::Passkey<KvFullScreenView>, const platform::Rect& frame);

  void setKvFullScreenViewController(std::weak_ptr<KvFullScreenViewController> c) {
    kvFullScreenViewController_ = std::move(c);
  }
  void done();
  void showBrowser(const platform::URL& url) override;
  bool canShowBrowser() const override;
  void didRotate();

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;

 protected:
  void answerDidFail() override;

 private:
  std::weak_ptr<KvFullScreenViewController> kvFullScreenViewController_;
};

}  // namespace kelvane
