#pragma once
// The banner or text ad of a placement: fetches the ad page, sizes itself from the page's
// first image, posts the page's outcome, and reloads on a one-shot timer of the placement's
// period while it is visible. A tap on the ad opens the in-app browser and is reported.
//
// One reload is pending at most: scheduling one replaces the one pending. The cycle ends
// once the view is found outside its superview; a tap on the ad, once it is back on screen,
// starts it again.
// Main thread only. Make with create().
#include <memory>
#include <optional>
#include <string>

#include "KvPageView.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"

namespace kelvane {

class KvAdViewController;

class KvAdView : public KvPageView {
 public:
  static std::shared_ptr<KvAdView> create(const platform::Rect& frame);
  KvAdView(platform::Passkey<KvAdView>, const platform::Rect& frame);
  ~KvAdView() override;

  std::shared_ptr<KvAdViewController> kvAdViewController() const { return kvAdViewController_.lock(); }
  void setKvAdViewController(std::weak_ptr<KvAdViewController> controller) {
    kvAdViewController_ = std::move(controller);
  }
  // Once its reload cycle has ended the view keeps its placement (see KvAdViewController).
  void keepPlacement(std::shared_ptr<KvAdViewController> controller) { keptPlacement_ = std::move(controller); }
  const platform::Rect& wvFrame() const { return wvFrame_; }
  void setWvFrame(const platform::Rect& frame) { wvFrame_ = frame; }

  // The reload timer fired.
  void reload(platform::Timer& timer);
  // Reloads one second from now (after a tap).
  void initReload();
  void showBrowser(const platform::URL& url) override;
  bool canShowBrowser() const override;
  void didRotate();
  void applicationDidBecomeActive();
  void applicationWillResignActive();

  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;

  // Tests: the pending reload's interval (nullopt: none pending), and the active flag.
  std::optional<double> pendingReloadIntervalForTesting() const;
  bool isScreenActiveForTesting() const { return screenActive_; }
  // The visibility test of a reload, without its effects.
  bool isVisibleForTesting() const { return isVisible(); }

 protected:
  void answerDidFail() override;

 private:
  void scheduleReloadAfter(double seconds);
  void scheduleNextReload();
  void stopReload();
  bool isInSuperview() const;
  bool isVisible() const;
  // The cycle is over: the placement may go.
  void endCycle();

  std::weak_ptr<KvAdViewController> kvAdViewController_;
  std::shared_ptr<KvAdViewController> keptPlacement_;
  std::shared_ptr<platform::Timer> kvTimer_;
  platform::Rect wvFrame_;
  bool screenActive_ = true;
};

}  // namespace kelvane
