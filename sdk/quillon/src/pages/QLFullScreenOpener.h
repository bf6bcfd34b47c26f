#pragma once
// Opens what ads ask for: the in-app browser, the web-app page, the mail composer, or another
// application through the system. Opening anything tracks the ad's click trackers once per
// user click: however often the opening has to be retried, and whatever the click goes on to
// open (a click address that leads on to another application). The mail composer takes the
// link's fields without control characters. Main thread only.
#include <functional>
#include <memory>
#include <optional>

#include "QLDelegateManager.h"
#include "QLOpener.h"
#include "platform/composers.h"
#include "platform/passkey.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"

namespace quillon {

class QLObjectPrivate;
class QLWebAppViewController;

class QLFullScreenOpener : public QLOpener, public std::enable_shared_from_this<QLFullScreenOpener> {
 public:
  static std::shared_ptr<QLFullScreenOpener> create();

  void setViewController(std::weak_ptr<QLFullScreenController> controller) override;
  void openNotification(const QLNotification& notification) override;
  void openApp(const platform::URL& url) override;
  void openMailComposer(const platform::URL& url) override;
  void setReferringURL(std::optional<platform::URL> url) override { referringURL_ = std::move(url); }
  void openBrowserToURLSupportedOrientations(const platform::URL& url, int orientations) override;
  void openWebAppSupportedOrientations(const platform::URL& url, int orientations) override;
  void openWebAppWithHTMLSupportedOrientations(const std::string& html, int orientations);

  // The controller pages are presented from when no full-screen page of the client is
  // showing the web view (the host's root view controller). Not retained.
  void setRootViewController(std::weak_ptr<platform::ViewController> c) { rootViewController_ = std::move(c); }
  void setDelegateManager(std::shared_ptr<QLDelegateManager> m) { delegateManager_ = std::move(m); }
  void setOpeningWebView(std::weak_ptr<platform::WebView> w) { openingWebView_ = std::move(w); }
  // The engine whose click-tracking URLs are tracked when something opens: `clickURLs`, those
  // of the ad a page shows, taken when the page was presented; without them, the engine's
  // pending ones (the ad the banner shows now).
  void setAdController(std::weak_ptr<QLObjectPrivate> engine,
                       std::optional<std::vector<platform::URL>> clickURLs = std::nullopt) {
    adController_ = std::move(engine);
    clickURLs_ = std::move(clickURLs);
  }
  // The click trackers have gone for `touch` (the click that opened the page of this opener).
  void setClickTrackedForTouch(std::optional<uint64_t> touch) { trackedTouch_ = touch; }

  using Passkey = platform::Passkey<QLFullScreenOpener>;
  explicit QLFullScreenOpener(Passkey) {}

 private:
  class MailListener;
  std::shared_ptr<platform::ViewController> presenter() const;
  void didOpen();
  std::vector<platform::URL> clickURLs() const;
  void openAppAttempt(const platform::URL& url, int attempt);
  void openWebApp(int orientations, const std::function<void(QLWebAppViewController&)>& load);

  std::optional<platform::URL> referringURL_;
  std::shared_ptr<QLDelegateManager> delegateManager_;
  std::weak_ptr<QLFullScreenController> viewController_;
  std::weak_ptr<platform::ViewController> rootViewController_;
  std::weak_ptr<platform::WebView> openingWebView_;
  std::weak_ptr<QLObjectPrivate> adController_;
  std::optional<std::vector<platform::URL>> clickURLs_;
  std::optional<uint64_t> trackedTouch_;  // the user's touch the click trackers last went for
};

}  // namespace quillon
