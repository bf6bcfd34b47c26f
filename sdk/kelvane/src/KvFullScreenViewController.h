#pragma once
// The full-screen ad of a type 3 placement. Its view fetches and shows the ad page; the ad
// ends through done() (the skip link, a failure) or when the browser a tap opened is closed,
// and the delegate hears that once, however many of these happen.
// Main thread only. Make with create(); the delegate is not retained.
#include <memory>
#include <optional>
#include <string>

#include "KvBrowserViewController.h"
#include "platform/passkey.h"
#include "platform/url.h"
#include "platform/view_controller.h"

namespace kelvane {

class KvFullScreenViewController;

class KvFullScreenViewControllerDelegate {
 public:
  virtual ~KvFullScreenViewControllerDelegate() = default;
  virtual void kvFullScreenViewControllerDidFinish(const std::shared_ptr<KvFullScreenViewController>& controller) = 0;
};

class KvFullScreenViewController : public platform::ViewController, public KvBrowserViewControllerDelegate {
 public:
  static std::shared_ptr<KvFullScreenViewController> create();
  explicit KvFullScreenViewController(platform::Passkey<KvFullScreenViewController>) {}

  std::shared_ptr<KvFullScreenViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<KvFullScreenViewControllerDelegate> d) { delegate_ = std::move(d); }
  // An unparsable text leaves no URL: the view's load then fails.
  void setUrl(const std::string& url) { aUrl_ = platform::URL::create(url); }
  void setKvFrame(const platform::Rect& frame) { kvFrame_ = frame; }
  const platform::Rect& kvFrame() const { return kvFrame_; }
  const std::string& aid() const { return aid_; }
  void setAid(std::string aid) { aid_ = std::move(aid); }

  void loadView() override;
  void done();
  // The browser takes the ad's place in its window, once: a second one is not shown.
  void showBrowser(const platform::URL& url);
  bool canShowBrowser() const { return !browser_ && !finished_; }
  void kvBrowserViewControllerDidFinish(const std::shared_ptr<KvBrowserViewController>& browser) override;
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation o) override { return o >= 1 && o <= 4; }

  const std::shared_ptr<KvBrowserViewController>& browserForTesting() const { return browser_; }

 private:
  void finish();

  std::weak_ptr<KvFullScreenViewControllerDelegate> delegate_;
  std::optional<platform::URL> aUrl_;
  std::string aid_;
  platform::Rect kvFrame_;
  std::shared_ptr<KvBrowserViewController> browser_;
  bool finished_ = false;
};

}  // namespace kelvane
