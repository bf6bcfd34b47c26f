#pragma once
// The in-app browser: a web page above a toolbar of back, forward, reload, "View in Safari"
// and Done. Link and form navigations are counted for the next ad request. Main thread only.
#include <memory>
#include <optional>

#include "QLViewController.h"
#include "QLWebView.h"
#include "platform/bars.h"
#include "platform/controls.h"
#include "platform/passkey.h"

namespace quillon {

class QLFullScreenOpener;

class QLBrowserController : public QLViewController {
 public:
  static std::shared_ptr<QLBrowserController> create();
  ~QLBrowserController() override;

  void load(const platform::URL& url) { loadReferringURL(url, std::nullopt); }
  // Sends "Referer" when there is a referring URL; before the view exists, kept until it does.
  void loadReferringURL(const platform::URL& url, const std::optional<platform::URL>& referringURL);
  void back();
  void forward();
  void reload();
  void stop();
  // Hands the page to the system browser (leaving the application).
  void openInSafari();
  void done() { relinquishScreen(); }

  void viewWillAppear(bool animated) override;
  std::shared_ptr<QLWebView> webView() const { return webView_; }
  std::shared_ptr<platform::WebView> pageWebView() const override { return webView_; }
  // Back and forward as the page can go; while it loads, the spinner in place of reload and
  // "View in Safari" disabled.
  void refreshToolbar();
  std::shared_ptr<platform::Toolbar> toolbar() const { return toolbar_; }
  // back, forward, reload, the spinner, "View in Safari", Done.
  struct Buttons {
    std::shared_ptr<platform::BarButtonItem> back, forward, reload, spinner, safari, done;
  };
  const Buttons& buttons() const { return buttons_; }

  using Passkey = platform::Passkey<QLBrowserController>;
  explicit QLBrowserController(Passkey) {}

 private:
  class PageDelegate;
  void createToolbar(const platform::Rect& frame, unsigned autoresizingMask);

  std::optional<platform::URL> urlToLoad_;
  std::optional<platform::URL> referringURLToLoad_;
  std::shared_ptr<PageDelegate> webViewDelegate_;
  std::shared_ptr<QLWebView> webView_;
  std::shared_ptr<QLFullScreenOpener> opener_;
  std::shared_ptr<platform::Toolbar> toolbar_;
  std::shared_ptr<platform::BarButtonItem> flexibleSpaceButton_;
  std::shared_ptr<platform::ActivityIndicatorView> spinner_;
  Buttons buttons_;
};

}  // namespace quillon
