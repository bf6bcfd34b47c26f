#pragma once
// A full-screen web page with a close button: an ad's web-app target, and a presented
// interstitial. The page hears "onshow" (with the SDK version and the hardware model) once it
// has loaded and is on screen, and "onhide" when it goes. Only markup the controller was
// given talks to the client; a page loaded from a URL (a landing page) is shown, not heard.
// Main thread only.
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

  // Before the view exists, kept until it does.
  void load(const platform::URL& url);
  void loadHTMLBaseURL(const std::string& html, const std::optional<platform::URL>& baseURL);
  void setAdController(std::weak_ptr<QLObjectPrivate> engine) { adController_ = std::move(engine); }

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
  std::optional<std::string> htmlToLoad_;
  std::optional<platform::URL> htmlBaseURLToLoad_;
  std::shared_ptr<PageDelegate> webViewDelegate_;
  std::shared_ptr<QLWebView> webView_;
  std::shared_ptr<platform::Button> closeButton_;
  std::shared_ptr<platform::ActivityIndicatorView> loadingSpinner_;
  std::weak_ptr<QLObjectPrivate> adController_;
  std::shared_ptr<QLFullScreenOpener> opener_;
  bool pendingOnShow_ = false;
  bool calledOnShow_ = false;
};

}  // namespace quillon
