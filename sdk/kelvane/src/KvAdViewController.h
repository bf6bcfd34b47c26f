#pragma once
// One placement: builds the request URL, runs a banner or text ad view in the root view or a
// full-screen ad in the client's own window, and shows the in-app browser of a tapped ad in
// that window. The window is hidden before it is let go, and the window that was key before
// it is made key again.
//
// The client keeps every placement it made until its cycle is over (a banner's view found
// outside its superview, or a full-screen ad closed) and its window is gone. A banner's
// placement then lives on with its view, which keeps it: a banner put back still answers
// taps (and a tap starts its reload cycle again); both go when the host lets the view go.
// Main thread only. Make with create(), then initWithAppIdWithTypeWithRootWithReloadWithParams.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KvBrowserViewController.h"
#include "KvFullScreenViewController.h"
#include "kelvane/KelvaneAd.h"
#include "platform/passkey.h"
#include "platform/url.h"
#include "platform/view_controller.h"
#include "platform/window.h"

namespace kelvane {

class KvAdViewController : public platform::ViewController,
                           public KvBrowserViewControllerDelegate,
                           public KvFullScreenViewControllerDelegate {
 public:
  static std::shared_ptr<KvAdViewController> create();
  explicit KvAdViewController(platform::Passkey<KvAdViewController>) {}

  void initWithAppIdWithTypeWithRootWithReloadWithParams(const std::string& appId, int type,
                                                         const std::shared_ptr<platform::View>& root, int reload,
                                                         const std::optional<KelvaneParams>& params);
  void setBaseUrlWithTypeWithParams(const std::string& appId, int type, const std::optional<KelvaneParams>& params);
  // The base URL with the stored client id and the time; nullopt without a base.
  std::optional<std::string> getRequestUrl() const;
  // Shows the browser in the client's window; nothing while one is up (canShowBrowser()).
  void showBrowser(const platform::URL& url);
  bool canShowBrowser() const { return browsers_.empty(); }
  std::shared_ptr<platform::Window> initFullScreenWindow() const;
  void loadView() override;

  void kvBrowserViewControllerDidFinish(const std::shared_ptr<KvBrowserViewController>& browser) override;
  void kvFullScreenViewControllerDidFinish(const std::shared_ptr<KvFullScreenViewController>& controller) override;

  const std::string& aid() const { return aid_; }
  int kvReload() const { return kvReload_; }
  std::shared_ptr<platform::View> rootView() const { return rootView_.lock(); }

  // The banner's reload cycle ended.
  void placementCycleDidEnd();

  static int clampedReload(int reload);

  // Tests.
  const std::optional<platform::URL>& aUrlForTesting() const { return aUrl_; }
  const std::shared_ptr<platform::Window>& kvWindowForTesting() const { return kvWindow_; }
  const std::shared_ptr<KvFullScreenViewController>& fullScreenForTesting() const { return fullScreen_; }
  // Placements the client still keeps.
  static std::vector<std::shared_ptr<KvAdViewController>> livePlacementsForTesting();

 private:
  void showFullScreen();
  void closeKvWindow();
  void retireIfOver();
  void keepWhileWindowIsUp();

  std::optional<platform::URL> aUrl_;
  std::string aid_;
  int kvReload_ = 0;
  std::string baseUrl_;
  std::weak_ptr<platform::View> rootView_;
  std::weak_ptr<platform::Window> rootWindow_;
  std::shared_ptr<platform::Window> kvWindow_;
  std::vector<std::shared_ptr<KvBrowserViewController>> browsers_;
  std::shared_ptr<KvFullScreenViewController> fullScreen_;
  bool cycleOver_ = false;
};

}  // namespace kelvane
