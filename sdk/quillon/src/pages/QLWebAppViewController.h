#pragma once
// A full-screen web page with a close button: an ad's web-app target, and a presented
// interstitial. Only the document the controller loaded talks with the client: the markup it
// was given, or a URL an ad page asked for as its own web-app page (wherever that URL's
// redirects led). Any other page (a landing page a tap opened, a page the loaded one went
// on to) is shown, not heard, and hears nothing. The page with the bridge hears "onshow"
// (with the SDK version and the hardware model) once it has loaded and is on screen, and
// "onhide" when it goes. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "QLViewController.h"
#include "QLWebView.h"
#include "platform/controls.h"
#include "platform/passkey.h"

namespace quillon {

class QLObjectPrivate;
class QLFullScreenOpener;

class QLWebAppViewController : public QLViewController {
 public:
  static std::shared_ptr<QLWebAppViewController> create();
  ~QLWebAppViewController() override;

  // Before the view exists, kept until it does. `adsOwnPage`: an ad page asked for the URL
  // as its web-app page, so the document it loads gets the bridge.
  void load(const platform::URL& url, bool adsOwnPage = false);
  void loadHTMLBaseURL(const std::string& html, const std::optional<platform::URL>& baseURL);
  // The ad the page belongs to: its engine, and the click-tracking URLs of the ad the page
  // shows, which a click on the page tracks (the engine may load another ad meanwhile).
  void setAdController(std::weak_ptr<QLObjectPrivate> engine, std::vector<platform::URL> clickURLs) {
    adController_ = std::move(engine);
    clickURLs_ = std::move(clickURLs);
  }

  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;

  std::shared_ptr<QLWebView> webView() const { return webView_; }
  std::shared_ptr<platform::WebView> pageWebView() const override { return webView_; }
  std::shared_ptr<platform::Button> closeButton() const { return closeButton_; }
  // Spins until the first page has loaded; nothing after.
  std::shared_ptr<platform::ActivityIndicatorView> loadingSpinner() const { return loadingSpinner_; }

  using Passkey = platform::Passkey<QLWebAppViewController>;
  explicit QLWebAppViewController(Passkey) {}

 private:
  class PageDelegate;
  void sendOnShowIfReady();
  void firstPageLoaded();
  void close(platform::Control&) { relinquishScreen(); }

  std::optional<platform::URL> urlToLoad_;
  bool urlIsAdsOwnPage_ = false;
  std::optional<std::string> htmlToLoad_;
  std::optional<platform::URL> htmlBaseURLToLoad_;
  std::shared_ptr<PageDelegate> webViewDelegate_;
  std::shared_ptr<QLWebView> webView_;
  std::shared_ptr<platform::Button> closeButton_;
  std::shared_ptr<platform::ActivityIndicatorView> loadingSpinner_;
  std::weak_ptr<QLObjectPrivate> adController_;
  std::vector<platform::URL> clickURLs_;
  // The URL was loaded for a click whose trackers went when the page opened.
  bool loadedForClick_ = false;
  std::shared_ptr<QLFullScreenOpener> opener_;
  bool pendingOnShow_ = false;
  bool calledOnShow_ = false;
};

}  // namespace quillon
