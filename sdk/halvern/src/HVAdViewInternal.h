#pragma once
// The controller behind a banner view: its web view runs the downloaded "display" script,
// which is told which ad to show ("displayAd"), loads the ad's files and reports back through
// "BridgeDisplay". It decides when the slot's waiting ad is shown (refresh interval, the
// 5-second throttle of manual refreshes), fades from one ad to the next, counts an ad as
// shown once its host view is drawn (shifting the slot's download times, deleting the ad
// shown before and queuing the next fetch) and fetches the shown ad's impression trackers.
//
// A display that the page never completes is not left hanging: a failure report, or no
// content after kDisplayTimeLimit seconds, gives back the slot and the refresh and drops the
// ad that could not be shown, which queues a fetch for the slot.
//
// The full-screen controller derives from it; the click-through half (browser mode,
// expansion into the full-screen window, dismissal) overrides the virtual hooks left for it.
// Main thread only, apart from the file reads and queries run on the workers.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "HVAdManager.h"
#include "HVDownloadConnection.h"
#include "halvern/HalvernDelegate.h"
#include "platform/accelerometer.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"

namespace halvern {

class HVAdSlot;
class HVCommandHandler;
class HVJavascriptBridge;

class HVAdViewInternal : public platform::ViewController,
                         public platform::WebViewDelegate,
                         public HVDownloadConnectionDelegate,
                         public platform::AccelerometerDelegate,
                         public HVAdManagerListener {
 public:
  static constexpr double kMinimumRefreshInterval = 5.0;
  static constexpr double kFadeDuration = 0.5;
  static constexpr double kBrowserBarHeight = 32.0;
  // How long a page may take to show the ad it was handed before the display counts as failed.
  static constexpr double kDisplayTimeLimit = 30.0;

  // Throws platform::Exception ("HVAdViewInternal initialization error.") when the slot is
  // not registered, and ("NSInvalidArgumentException") for a refresh interval in (0, 5).
  static std::shared_ptr<HVAdViewInternal> create(std::shared_ptr<HVAdSlot> slot,
                                                  std::shared_ptr<HalvernDelegate> delegate, double refreshInterval);
  HVAdViewInternal(platform::Passkey<HVAdViewInternal>, std::shared_ptr<HVAdSlot> slot);
  ~HVAdViewInternal() override;

  static std::string baseURL();
  // The page call that shows an ad.
  static std::string displayAdScript(const std::string& slotName, int64_t dlTime, double width, double height,
                                     bool fullScreen, int reachability);

  // Showing ads.
  bool display();
  void requestDisplay(bool automatic);
  void refresh();
  double refreshInterval() const { return m_refreshInterval; }
  void setRefreshInterval(double seconds);
  void adDownloadedForSlotNamed(const std::string& name) override;
  void adDisplayed();
  virtual bool isAdReady();
  virtual bool controlsFullScreenSlot() const { return false; }
  void loadScriptAndExecute(const std::string& onload);

  // What the page reports through "BridgeDisplay".
  virtual void adContentWillLoad() {}
  void adContentDidLoad();
  void adDisplayFailedForSlotNamed(const std::string& name);
  void adDisplayFailed() {}
  void adReadyDelayed(const std::string& name);
  void adViewNeedsDisplay();
  void trackImpression();
  void fetchUrl(const std::string& url) { fetchUrlTimeoutCallback(url, 0.0, platform::Value()); }
  // `callback` is the page's template (a string) or null; it hears 1 or 0.
  void fetchUrlTimeoutCallback(const std::string& url, double timeout, const platform::Value& callback);
  // Click-through, browser mode, expansion and dismissal: the browser half of this class.
  virtual void expand() {}
  virtual void dismiss() {}
  virtual void requestPage(const std::string& url) { (void)url; }
  virtual void prepareAdViewBrowserMode(bool browserMode) { m_isBrowserMode = browserMode; }
  // The action sheet of full-screen ads.
  virtual void prepareActionSheet() {}
  virtual void addButtonToActionSheetCallback(const std::string& title, const std::string& script) {
    (void)title;
    (void)script;
  }
  virtual void displayActionSheet() {}

  // Host and window notices.
  void setDelegate(std::shared_ptr<HalvernDelegate> delegate);
  const std::shared_ptr<HalvernDelegate>& delegate() const { return m_delegate; }
  void setExecMode(int mode);
  void applicationWillEnterForeground();
  void fullScreenAdWindowWillOpen() { notifyDelegateFullScreenAdDisplayWillOpen(); }
  void fullScreenAdWindowWillClose() { notifyDelegateFullScreenAdDisplayWillClose(); }
  void fullScreenAdWindowDidClose();
  void adViewWillExpand();
  void adViewDidCollapse();
  bool shouldAutorotateToInterfaceOrientation(platform::InterfaceOrientation) override { return false; }

  // Delegate notices; each answers whether the delegate took it.
  bool notifyDelegateAdReadyForSlotNamed(const std::string& name);
  bool notifyDelegateFullScreenAdDisplayWillOpen();
  bool notifyDelegateFullScreenAdDisplayWillClose();
  bool notifyDelegateDidReceiveMemoryWarning();
  bool notifyDelegateAdDisplayFailed() { return true; }

  // Geometry.
  void layout();
  std::shared_ptr<platform::View> containerView();

  // State.
  const std::shared_ptr<HVAdSlot>& slot() const { return m_slot; }
  const std::shared_ptr<platform::WebView>& webView() const { return m_webView; }
  const std::shared_ptr<HVJavascriptBridge>& bridge() const { return m_bridge; }
  bool isBrowserMode() const { return m_isBrowserMode; }
  bool isRefreshing() const { return m_isRefreshing; }
  bool isExpanded() const { return m_isExpanded; }
  bool shouldWipeContentOnDismiss() const { return m_shouldWipeContentOnDismiss; }
  bool hasDisplayedCurrentAd() const { return m_hasDisplayedCurrentAd; }
  double lastDisplayTime() const { return m_lastDisplayTime; }

  // AccelerometerDelegate, HVDownloadConnectionDelegate, WebViewDelegate.
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration& acceleration) override;
  void downloadSucceeded(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadFailed(const std::shared_ptr<HVDownloadConnection>& connection) override;
  void downloadTimedOut(const std::shared_ptr<HVDownloadConnection>& connection) override { downloadFailed(connection); }

 protected:
  void init(std::shared_ptr<HalvernDelegate> delegate, double refreshInterval);
  void sendToPage(const std::string& script);
  bool sendDelegateNotification(HalvernDelegate::Message message, const std::string& name = {});

  bool m_isExpanded = false;
  bool m_isBrowserMode = false;
  bool m_shouldWipeContentOnDismiss = false;

 private:
  void fetchUrlsStashedInDB(const platform::Value& rows);
  void finishDownload(const std::shared_ptr<HVDownloadConnection>& connection, bool succeeded);
  void armDisplayTimeLimit(int64_t dlTime);
  // The display handed to the page ended without content: the slot and the refresh are given
  // back and the ad dropped, which queues a fetch.
  void abandonDisplay();
  void contentShown();

  std::shared_ptr<platform::WebView> m_webView;
  int m_execMode = 0;
  std::shared_ptr<HVJavascriptBridge> m_bridge;
  std::shared_ptr<HVCommandHandler> m_standardHandler, m_applicationHandler, m_audioHandler, m_cocoaHandler,
      m_displayHandler;
  std::shared_ptr<HVAdSlot> m_slot;
  std::shared_ptr<HalvernDelegate> m_delegate;
  double m_lastDisplayTime = 0;
  double m_refreshInterval = 0;
  bool m_isRefreshing = false;
  bool m_hasDisplayedCurrentAd = false;
  // The ad handed to the page and not yet shown or given up; 0 when none.
  int64_t m_pendingDisplayDlTime = 0;
  platform::PerformHandle m_displayTimeLimit;
  platform::PerformHandle m_automaticRequest;
  std::set<std::shared_ptr<HVDownloadConnection>> m_connections;
};

}  // namespace halvern
