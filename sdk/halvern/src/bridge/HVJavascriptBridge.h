#pragma once
// Joins a Halvern page in a web view to native command handlers. The page queues command
// strings; the bridge polls the queue on a timer, parses each command and sends it to the
// first receiver that has it: the bridge's own page commands first, then the handlers in
// order of addition. Native code answers by evaluating script in the page. The bridge
// builds the page itself and stands in as the web view's delegate, passing every event on.
//
// Only the bridge's own document is polled: once the view holds another document (a page
// navigated away), its commands are not read. The owner holds the bridge; the poll timer
// does not keep it alive, and shutdown() (or destruction) stops it for good.
// Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HVCommandHandler.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"
#include "platform/web_view.h"

namespace halvern {

// A page command taken apart: the selector and its values, strings or numbers.
struct HVParsedCommand {
  std::string selector;
  HVCommandArguments arguments;
};

class HVJavascriptBridge : public platform::WebViewDelegate,
                           public std::enable_shared_from_this<HVJavascriptBridge> {
 public:
  enum ExecMode { kBG = 0, kFG = 1 };
  static constexpr double kMinimumPollingInterval = 1.0 / 30.0;
  // How much of a command the bridge refuses it quotes in the log.
  static constexpr size_t kMaxLoggedCommandLength = 256;

  static std::shared_ptr<HVJavascriptBridge> bridgeInModeWebViewDelegate(
      int mode, std::shared_ptr<platform::WebView> webView, std::shared_ptr<HVCommandHandler> handler);
  HVJavascriptBridge(platform::Passkey<HVJavascriptBridge>, int mode, std::shared_ptr<platform::WebView> webView);
  ~HVJavascriptBridge() override;

  void addCommandHandler(std::shared_ptr<HVCommandHandler> handler);
  void removeCommandHandler(const std::shared_ptr<HVCommandHandler>& handler);
  void removeAllCommandHandlers();
  const std::vector<std::shared_ptr<HVCommandHandler>>& commandHandlers() const { return m_commandHandlers; }

  // Builds the page from the bridge, globals and client scripts and loads it.
  void loadJavascriptStringExecuteBaseURL(const std::string& clientScript, const std::string& onload,
                                          const std::optional<platform::URL>& baseURL);
  // Native-made expressions only: they run as script in the page.
  void sendJavascriptCommand(const std::string& expression);
  void postJavascriptCommand(const std::string& expression);
  void executeJavascriptCommand(const std::string& expression);
  void executePendingJavascriptCommands();
  void flushJavascriptCommands();
  bool isHVJSLoaded();

  void handleExecModeUpdate(int mode);
  void setPollingIntervalOverride(double seconds);
  std::optional<double> pollingIntervalOverride() const { return m_pollingIntervalOverride; }
  void setPollingInterval(double seconds);
  void restartPolling();
  // Stops polling (and any collection for a touch) until restartPolling or setPollingInterval.
  void halt();
  // The user touched the page. What the page queued for the touch is taken at once (on the
  // next turn, once the touch's own handling is done), and for as long as the touch's
  // activation lasts every queued command is taken at the foreground rate, whatever the
  // execution mode: a command queued before the touch cannot hold one made for it back, and
  // a step the page takes in answer to a native reply (a click-through's callback asking for
  // the page) still comes within the activation. Nothing happens while polling is halted.
  void collectAfterUserTouch();
  // Halts for good and lets go of the handlers and the view's delegate slot; the owner
  // calls it when it goes away so that nothing the page queued runs afterwards.
  void shutdown();
  // Answers how many commands of the page's queue it ran.
  size_t poll();
  // While a polled command runs: the monotonic time the poll collected it (the page queued it
  // then or before), for the handlers that ask whether the user touched the page just before.
  // nullopt outside a poll.
  std::optional<double> commandCollectedAt() const { return m_commandCollectedAt; }

  void executeCocoaCommand(std::string_view command);
  // True when the bridge's own page commands or a handler has the selector.
  bool respondsToSelector(std::string_view selector) const;
  std::shared_ptr<HVCommandHandler> commandHandlerForSelector(std::string_view selector) const;

  // The page command grammar; nullopt for an empty or malformed command.
  static std::optional<HVParsedCommand> parseCommand(std::string_view command);
  // The page proxy of a handler's "bridge_" commands, in their declared order.
  static std::string generateBridgeScriptFromObject(const std::string& name, const HVCommandHandler& handler);
  static double defaultPollingIntervalForMode(int mode);

  std::string bridgeScript() const;
  // The client version comes from the client manager.
  std::string globalsScript() const;
  void setClientVersion(std::string version) { m_clientVersion = std::move(version); }
  static std::string capabilities() { return "accel\",\"audio"; }
  // A script as the text of the page's onload attribute: markup characters become entities,
  // which the page reads back as the script itself.
  static std::string onloadAttributeText(std::string_view script);

  const std::shared_ptr<platform::WebView>& webView() const { return m_webView; }
  int execMode() const { return m_execMode; }
  void setExecMode(int mode);
  bool isWebViewLoading() const { return m_webViewLoading; }
  // The bridge's own page finished loading and is still shown.
  bool showsOwnDocument() const { return m_ownDocument && !m_webViewLoading; }
  // The current poll interval, or nullopt while halted.
  std::optional<double> pollingIntervalForTesting() const;

  // WebViewDelegate.
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
      platform::WebViewNavigationType navigationType) override;
  void webViewDidStartLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                   const platform::Error& error) override;

 private:
  bool performOwnCommand(const HVParsedCommand& command);
  void finishLoad();
  // The repeating timer at the current interval: m_pollingInterval, or the foreground one
  // when shorter while collecting for a touch.
  void startPollingTimer();
  void stopPollingTimer();
  void pollingTimerFired();
  bool isCollectingForTouch() const;

  std::optional<double> m_pollingIntervalOverride;
  std::shared_ptr<platform::WebView> m_webView;
  std::shared_ptr<platform::Timer> m_pollingTimer;
  double m_pollingInterval = kMinimumPollingInterval;
  // Until when (monotonic seconds) the commands are collected for the user's last touch.
  std::optional<double> m_touchCollectionEnds;
  std::weak_ptr<platform::WebViewDelegate> m_webViewDelegate;
  std::optional<std::vector<std::string>> m_pendingJavascriptCommands;
  bool m_webViewLoading = false;
  int m_execMode = kBG;
  std::vector<std::shared_ptr<HVCommandHandler>> m_commandHandlers;
  std::string m_clientVersion = "0.0";
  bool m_shutDown = false;
  // Whether the view's current document is the page this bridge built.
  bool m_ownLoadRequested = false;
  bool m_loadingOwnDocument = false;
  bool m_ownDocument = false;
  std::optional<double> m_commandCollectedAt;
};

}  // namespace halvern
