#pragma once
// Opens what ads ask for: the in-app browser, the web-app page, the mail composer, or another
// application through the system. Opening anything tracks the ad's waiting click trackers,
// once per opening however often the opening has to be retried. The mail composer takes the
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
  // The engine whose pending click-tracking URLs are tracked when something opens.
  void setAdController(std::weak_ptr<QLObjectPrivate> engine) { adController_ = std::move(engine); }

  using Passkey = platform::Passkey<QLFullScreenOpener>;
  explicit QLFullScreenOpener(Passkey) {}

 private:
  class MailListener;
  std::shared_ptr<platform::ViewController> presenter() const;
  void didOpen();
  void openAppAttempt(const platform::URL& url, int attempt);
  void openWebApp(int orientations, const std::function<void(QLWebAppViewController&)>& load);

  std::optional<platform::URL> referringURL_;
  std::shared_ptr<QLDelegateManager> delegateManager_;
  std::weak_ptr<QLFullScreenController> viewController_;
  std::weak_ptr<platform::ViewController> rootViewController_;
  std::weak_ptr<platform::WebView> openingWebView_;
  std::weak_ptr<QLObjectPrivate> adController_;
  std::shared_ptr<MailListener> mailListener_;
};

}  // namespace quillon
