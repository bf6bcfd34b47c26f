#pragma once
// The in-app browser: a web page above a toolbar of back, forward, reload, "View in Safari"
// and Done. Link and form navigations are counted for the next ad request. Main thread only.
#include <memory>
#include <optional>

#include "QLViewController.h"
#include "QLWebView.h"
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

  using Passkey = platform::Passkey<QLBrowserController>;
  explicit QLBrowserController(Passkey) {}

 private:
  class PageDelegate;

  std::optional<platform::URL> urlToLoad_;
  std::optional<platform::URL> referringURLToLoad_;
  std::shared_ptr<PageDelegate> webViewDelegate_;
  std::shared_ptr<QLWebView> webView_;
  std::shared_ptr<QLFullScreenOpener> opener_;
};

}  // namespace quillon
