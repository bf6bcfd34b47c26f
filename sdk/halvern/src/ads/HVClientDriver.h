#pragma once
// Runs the downloaded "driver" script in a web view that is never shown. The page decides
// which ads to fetch, downloads and unpacks them, records them in table `ads` and reports
// back; the native side starts it with the list of slots, asks it for one slot at a time on
// behalf of the ad manager, forwards its reports and lets it reload itself.
//
// Owned by the client manager; the page reaches native code through "BridgeLib",
// "BridgeCocoa", "BridgeApp" and its own "BridgeDriver". Main thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "HVCallbackContext.h"
#include "platform/passkey.h"
#include "platform/request_budget.h"
#include "platform/web_view.h"

namespace halvern {

class HVAdSlot;
class HVClientManager;
class HVCommandHandler;
class HVJavascriptBridge;

class HVClientDriver : public platform::WebViewDelegate, public std::enable_shared_from_this<HVClientDriver> {
 public:
  enum State { kNotReady = 0, kIdle = 1, kFetching = 2 };
  // A page that keeps queuing commands while it is told to shut down is not waited for
  // beyond this many polls.
  static constexpr int kMaxShutdownPollRounds = 100;
  // Pings the page may send for one fetch; the rest are dropped (and logged once).
  static constexpr size_t kPingsPerFetch = platform::RequestBudget::kDefaultLimit;

  static std::shared_ptr<HVClientDriver> create(std::weak_ptr<HVClientManager> clientManager);
  HVClientDriver(platform::Passkey<HVClientDriver>, std::weak_ptr<HVClientManager> clientManager);
  ~HVClientDriver() override;

  // Loads the installed driver page with `driverInit` of the registered slots as its onload.
  void startup();
  // False unless the page is idle and loaded; else the page is asked for an ad of `name`.
  bool fetchAdForSlotNamed(const std::string& name);
  // Tells the page, then runs what it queued in reaction: until a poll finds nothing, for at
  // most kMaxShutdownPollRounds polls. The page's commands are not run afterwards.
  void shutdown();
  void executeCommand(const std::string& script);
  void setBridgePollingIntervalOverride(double seconds);
  // Only a loaded page may reload itself; without a base URL the ad base URL is used.
  void reloadAndExecuteBaseURL(const std::string& script, const std::optional<std::string>& baseURL);
  // The data, read as UTF-8 up to its first NUL, become the page's client script.
  void executeScriptBaseURLData(const std::string& onload, const std::string& baseURL, const platform::Bytes& data);
  void pingURL(const std::string& url);

  // The page's reports.
  void initSucceeded();
  void initFailed() {}
  void adFetchSucceededForSlotNamedDlTimeExpiration(const std::string& name, int64_t dlTime, int64_t expiration);
  void adFetchFailedForSlotNamed(const std::string& name);

  int state() const { return m_state; }
  void setState(int state) { m_state = state; }
  int execMode() const { return m_execMode; }
  void setExecMode(int mode) { m_execMode = mode; }

  // The slot list `driverInit` receives, and the onload text that hands it over.
  static std::string slotListText(const std::map<std::string, std::shared_ptr<HVAdSlot>>& slots);
  static std::string driverInitScript(const std::string& slotList);
  static std::string fetchScript(const std::string& name);

  const std::shared_ptr<HVJavascriptBridge>& bridge() const { return m_bridge; }
  const std::shared_ptr<platform::WebView>& webView() const { return m_webView; }

  // WebViewDelegate.
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;

 private:
  void init();
  // Reads the driver file on the file worker and builds the page with `onload`.
  void loadDriverPage(const std::string& onload, const std::string& baseURL);

  std::shared_ptr<platform::WebView> m_webView;
  int m_state = kNotReady;
  // A fresh page is on its way in place of one whose script was stopped.
  bool m_reloading = false;
  int m_execMode = 0;
  std::shared_ptr<HVJavascriptBridge> m_bridge;
  std::shared_ptr<HVCommandHandler> m_standardHandler;
  std::shared_ptr<HVCommandHandler> m_cocoaHandler;
  std::shared_ptr<HVCommandHandler> m_applicationHandler;
  std::shared_ptr<HVCommandHandler> m_driverHandler;
  std::weak_ptr<HVClientManager> m_clientManager;
  platform::RequestBudget m_pingBudget{"HVClientDriver: the driver page asked for too many pings; dropping the rest.",
                                       kPingsPerFetch};
};

}  // namespace halvern
