#pragma once
// Shows the ads of full-screen slots in the full-screen window: a "Loading" box while the
// ad's content loads, a "Menu" button some seconds in, and an action sheet the ad page fills
// with its own entries, closed by a "Skip" that the page may refuse. Closing gives the
// slot back and queues its next fetch. Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HVFullScreenAdWindowContent.h"
#include "HVMessageBox.h"
#include "platform/alert.h"
#include "platform/bars.h"
#include "platform/url.h"
#include "platform/controls.h"
#include "platform/run_loop.h"
#include "platform/web_view.h"

namespace halvern {

class HVAdSlot;
class HVJavascriptBridge;

class HVFullScreenAdController : public HVFullScreenAdWindowContent,
                                 public platform::ActionSheetDelegate,
                                 public platform::WebViewDelegate {
 public:
  static constexpr double kBrowserBarHeight = 32.0;
  static constexpr double kBrowserBarAnimationDuration = 0.5;
  static constexpr double kNavigationSegmentWidth = 40.0;
  // Pages of this host are shown in the video template rather than loaded.
  static constexpr const char* kVideoHost = "www.video.example";
  static constexpr double kMenuFadeDuration = 0.5;
  static constexpr double kMenuMargin = 8.0;
  static constexpr platform::Size kMenuButtonSize{64, 24};
  static constexpr const char* kMenuTitle = "Menu";
  static constexpr const char* kSkipTitle = "Skip";
  static constexpr const char* kLoadingMessage = "Loading";
  static constexpr const char* kSkipScript = "handleSkip();";

  static std::shared_ptr<HVFullScreenAdController> create();
  HVFullScreenAdController();
  ~HVFullScreenAdController() override;

  // The page's content is about to load: the window opens on it with the "Loading" box.
  void adContentWillLoad();
  // The content is up: the box goes.
  void adContentDidLoad();

  // The page's menu: a new empty entry list, then the "Menu" button after the menu time.
  void prepareActionSheet();
  void addButtonToActionSheetCallback(const std::string& title, const std::string& callback);
  void displayActionSheet() { displayActionSheetWithDismissAnimation(true); }
  void displayActionSheetWithDismissAnimation(bool animated);
  void actionSheetDidDismissWithButtonIndex(platform::ActionSheet& sheet, long index) override;

  void showAdLoadingIndicator();
  void hideAdLoadingIndicator();
  void scheduleMenuButtonAppearance();
  void showMenuButton();
  void hideMenuButton();
  void addMenuButton();
  void placeMenuButton();
  void applicationDidEnterBackground();
  void applicationWillEnterForeground();

  // Closes the ad: the window goes, the slot is given back and its next fetch queued.
  void dismiss() { dismissAnimated(true); }
  void dismissAnimated(bool animated);

  // Click-through: the ad page's navigations are routed here. Its own loading and file
  // pages load; "halvern://ct/..." goes to the page's click-through handler; other
  // applications' links and unknown schemes go to the application; a tapped web link opens
  // the ad's own browser. Nothing else loads.
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<platform::WebView>& webView,
                                                                      const platform::URLRequest& request,
                                                                      platform::WebViewNavigationType type) override;
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;
  // Opens `url` in the ad's own browser, or hands it to its application.
  void requestPage(const platform::URL& url);
  void handleClickthroughToExternalAppURL(const platform::URL& url);
  void applicationDidLoadExternalAppURL();
  void showNavigationBar();
  void hideNavigationBar();
  void markAsLoading(bool loading);
  void enableNavigationControls();
  void disableNavigationControls();
  void segmentedControlValueChanged(platform::Control& sender);
  void showNavigationExitItem();
  void hideNavigationExitItem();
  void showNavigationLoadingIndicatorItem();
  void hideNavigationLoadingIndicatorItem();
  const std::shared_ptr<platform::NavigationBar>& navigationBar() const { return m_navigationBar; }
  const std::shared_ptr<platform::NavigationItem>& navigationItem() const { return m_navigationItem; }
  const std::shared_ptr<platform::SegmentedControl>& navigationControls() const { return m_navigationControls; }
  const std::shared_ptr<platform::ActivityIndicatorView>& navigationLoadingIndicator() const {
    return m_navigationLoadingIndicator;
  }
  bool isLoading() const { return m_isLoading; }

  // The slot whose ad is shown; the window marks it displayed while it is.
  void setSlot(std::shared_ptr<HVAdSlot> slot) { m_slot = std::move(slot); }
  const std::shared_ptr<HVAdSlot>& slot() const { return m_slot; }
  bool isDisplaying() const;
  void setExecMode(int mode);
  bool isBrowserMode() const { return m_isBrowserMode; }
  const std::shared_ptr<platform::WebView>& webView() const { return m_webView; }
  const std::shared_ptr<HVJavascriptBridge>& bridge() const { return m_bridge; }

  const std::shared_ptr<platform::ActionSheet>& actionSheet() const { return m_actionSheet; }
  const std::shared_ptr<platform::Button>& menuButton() const { return m_menuButton; }
  const std::shared_ptr<HVMessageBox>& adLoadingIndicator() const { return m_adLoadingIndicator; }
  bool shouldDisplayActionSheetOnEnterForeground() const { return m_shouldDisplayActionSheetOnEnterForeground; }

  // HVFullScreenAdWindowContent.
  bool controlsFullScreenSlot() const override { return true; }
  bool shouldWipeContentOnDismiss() const override { return m_shouldWipeContentOnDismiss; }
  // None: a full-screen ad does not fade out of a banner's place.
  std::shared_ptr<platform::View> containerView() override { return nullptr; }
  void fullScreenAdWindowWillOpen() override {}
  void fullScreenAdWindowWillClose() override;
  void adViewWillExpand() override {}
  void adViewDidCollapse() override {}
  void prepareAdViewBrowserMode(bool browserMode) override;
  void layout() override;

  void loadView() override;

 private:
  struct MenuEntry {
    std::string title;
    std::string callback;
  };

  std::vector<MenuEntry> m_actionSheetButtons;
  std::shared_ptr<platform::ActionSheet> m_actionSheet;
  std::shared_ptr<platform::Timer> m_menuTimer;
  std::shared_ptr<platform::Button> m_menuButton;
  std::shared_ptr<HVMessageBox> m_adLoadingIndicator;
  bool m_shouldDisplayActionSheetOnEnterForeground = false;

  void makeBrowserBar();
  void scheduleExitItem();

  std::shared_ptr<platform::NavigationBar> m_navigationBar;
  std::shared_ptr<platform::WebView> m_webView;
  std::shared_ptr<platform::SegmentedControl> m_navigationControls;
  std::shared_ptr<platform::NavigationItem> m_navigationItem;
  std::shared_ptr<platform::ActivityIndicatorView> m_navigationLoadingIndicator;
  std::shared_ptr<platform::Timer> m_exitItemTimer;
  bool m_isLoading = false;
  std::shared_ptr<HVJavascriptBridge> m_bridge;
  std::shared_ptr<HVAdSlot> m_slot;
  int m_execMode = 0;
  bool m_isBrowserMode = false;
  bool m_shouldWipeContentOnDismiss = false;
};

}  // namespace halvern
