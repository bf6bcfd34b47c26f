#pragma once
// The in-app browser in which ads open their landing pages: the page full screen with a bottom
// toolbar (close, reload, open outside, back, forward). Its owner wraps it in a navigation
// controller, presents that modally and hears of the dismissal. Main thread only.
// Ownership: shared_ptr; the delegate is not retained.
#include <memory>
#include <optional>
#include <string>

#include "platform/passkey.h"
#include "platform/view_controller.h"

namespace platform {
class BarButtonItem;
class GraphicsContext;
class Image;
class WebView;
}  // namespace platform

namespace nubira {

class NBAdScreenDismissDelegate {
 public:
  virtual ~NBAdScreenDismissDelegate() = default;
  virtual void adScreenWillDismiss() = 0;
  virtual void adScreenDidDismiss() = 0;
};

class NBEmbeddedWebViewController : public platform::ViewController {
 public:
  // Where store links are served (configuration): a link to either goes to the system.
  static constexpr const char* kStoreWebHost = "apps.store.example";
  static constexpr const char* kStoreMediaHost = "media.store.example";
  static bool isAppStoreURL(const std::string& url);

  static std::shared_ptr<NBEmbeddedWebViewController> create();
  ~NBEmbeddedWebViewController() override;

  void setUrlString(std::optional<std::string> url) { urlString_ = std::move(url); }
  const std::optional<std::string>& urlString() const { return urlString_; }
  void setDelegate(std::weak_ptr<NBAdScreenDismissDelegate> delegate) { delegate_ = std::move(delegate); }

  void loadView() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  // However the browser goes (its close button, or its presenter dismissing it, animated or
  // not), its delegate hears adScreenWillDismiss once before adScreenDidDismiss.
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation) override { return true; }

  void closeMVC();
  void refresh();
  void openSafari();
  void goBack();
  void goFwd();
  void checkButtonAction();

  // The drawn icons of the close, back and forward buttons, each 27 × 27 pixels.
  static std::shared_ptr<platform::GraphicsContext> newContext();
  static std::shared_ptr<platform::Image> newCloseImage();
  static std::shared_ptr<platform::Image> newBackArrowImageRef();
  static std::shared_ptr<platform::Image> newFwdArrowImageRef();

  const std::shared_ptr<platform::WebView>& webView() const { return webview_; }
  const std::shared_ptr<platform::BarButtonItem>& closeItem() const { return close_; }
  const std::shared_ptr<platform::BarButtonItem>& backItem() const { return back_; }
  const std::shared_ptr<platform::BarButtonItem>& fwdItem() const { return fwd_; }
  const std::shared_ptr<platform::BarButtonItem>& safariItem() const { return safari_; }

  explicit NBEmbeddedWebViewController(platform::Passkey<NBEmbeddedWebViewController>);

 private:
  class Listener;
  void build();
  // Stops the page and tells the delegate adScreenWillDismiss, once per dismissal.
  void announceDismissal();
  // Tells the delegate adScreenDidDismiss: the browser has gone.
  void announceDisappearance();
  void viewLeftWindow();

  std::shared_ptr<platform::WebView> webview_;
  std::shared_ptr<platform::BarButtonItem> safari_, close_, back_, fwd_, reload_;
  std::shared_ptr<Listener> listener_;
  std::weak_ptr<NBAdScreenDismissDelegate> delegate_;
  std::optional<std::string> urlString_;
  bool dismissalAnnounced_ = false;
  // Its disappearance has been told: a browser is shown once.
  bool disappeared_ = false;
};

}  // namespace nubira
