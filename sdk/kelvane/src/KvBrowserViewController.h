#pragma once
// The in-app browser that opens the target of a tapped ad: a web view filling the client's
// window and a "Back" button. Its end (Back, or a page that cannot load) goes to the delegate,
// which removes it.
// Main thread only. Make with create(); the delegate is not retained.
#include <memory>
#include <optional>

#include "platform/passkey.h"
#include "platform/url.h"
#include "platform/view_controller.h"

namespace kelvane {

class KvBrowserViewController;

class KvBrowserViewControllerDelegate {
 public:
  virtual ~KvBrowserViewControllerDelegate() = default;
  virtual void kvBrowserViewControllerDidFinish(const std::shared_ptr<KvBrowserViewController>& browser) = 0;
};

class KvBrowserViewController : public platform::ViewController {
 public:
  static std::shared_ptr<KvBrowserViewController> create();
  explicit KvBrowserViewController(platform::Passkey<KvBrowserViewController>) {}

  std::shared_ptr<KvBrowserViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<KvBrowserViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
  void setUrl(const platform::URL& url) { aUrl_ = url; }
  void setKvFrame(const platform::Rect& frame) { kvFrame_ = frame; }

  void loadView() override;
  void done();
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation o) override { return o >= 1 && o <= 4; }

 private:
  std::weak_ptr<KvBrowserViewControllerDelegate> delegate_;
  std::optional<platform::URL> aUrl_;
  platform::Rect kvFrame_;
};

}  // namespace kelvane
