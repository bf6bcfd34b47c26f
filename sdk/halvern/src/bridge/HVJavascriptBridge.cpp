#include "HVJavascriptBridge.h"

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/text_quoting.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

#include "HVController.h"
#include "platform/device.h"

namespace halvern {

namespace {

constexpr const char* kBridgeScript =
    "var ExecMode = {BG:0, FG:1};\n"
    "var g_commandQueue = [];\n"
    "function commandList(mode)\n{\n"
    "\tif (mode == ExecMode.BG) { return g_commandQueue.shift(); }\n"
    "\tif (mode == ExecMode.FG) { var all = g_commandQueue.join(\"\\n\"); g_commandQueue = []; return all; }\n"
    "\treturn undefined;\n}\n"
    "function sendCommand(cmd) { g_commandQueue.push(cmd); }\n"
    "var Bridge = {\n"
    "\tsetPollingInterval: function(x) { sendCommand(\"setPollingInterval:\" + x + \";\"); }\n"
    "};";

constexpr const char* kScriptElement = "<script type = \"text/javascript\">\n/*<![CDATA[*/\n";
constexpr const char* kScriptElementEnd = "\n/*]]>*/\n</script>";

bool isBlank(char c) { return c == ' '; }

platform::Value valueFromText(std::string_view text, bool* ok) {
  if (!text.empty() && text.front() == '"') {
    if (text.size() < 2) {
      *ok = false;
      return {};
    }
    return platform::Value(std::string(text.substr(1, text.size() - 2)));
  }
  const std::string word(text);
  if (strcasecmp(word.c_str(), "true") == 0 || strcasecmp(word.c_str(), "yes") == 0) return platform::Value(1.0);
  if (strcasecmp(word.c_str(), "false") == 0 || strcasecmp(word.c_str(), "no") == 0) return platform::Value(0.0);
  return platform::Value(platform::Value(word).doubleValue());
}

}  // namespace

std::shared_ptr<HVJavascriptBridge> HVJavascriptBridge::bridgeInModeWebViewDelegate(
    int mode, std::shared_ptr<platform::WebView> webView, std::shared_ptr<HVCommandHandler> handler) {
  auto bridge = std::make_shared<HVJavascriptBridge>(platform::Passkey<HVJavascriptBridge>(), mode, webView);
  bridge->restartPolling();
  if (bridge->m_webView) {
    bridge->m_webViewDelegate = bridge->m_webView->delegate();
    bridge->m_webView->setDelegate(bridge);
  }
  if (handler) bridge->addCommandHandler(std::move(handler));
  return bridge;
}

HVJavascriptBridge::HVJavascriptBridge(platform::Passkey<HVJavascriptBridge>, int mode,
                                       std::shared_ptr<platform::WebView> webView)
    : m_webView(std::move(webView)), m_execMode(mode == kFG ? kFG : kBG) {
  m_commandHandlers.reserve(2);
}

HVJavascriptBridge::~HVJavascriptBridge() {
  if (m_pollingTimer) m_pollingTimer->invalidate();
}

void HVJavascriptBridge::shutdown() {
  m_shutDown = true;
  halt();
  flushJavascriptCommands();
  removeAllCommandHandlers();
  if (m_webView && m_webView->delegate().get() == this) m_webView->setDelegate(m_webViewDelegate);
}

void HVJavascriptBridge::addCommandHandler(std::shared_ptr<HVCommandHandler> handler) {
  if (!handler || m_shutDown) return;
  handler->setBridge(weak_from_this());
  m_commandHandlers.push_back(std::move(handler));
}

void HVJavascriptBridge::removeCommandHandler(const std::shared_ptr<HVCommandHandler>& handler) {
  std::erase(m_commandHandlers, handler);
}

void HVJavascriptBridge::removeAllCommandHandlers() { m_commandHandlers.clear(); }

double HVJavascriptBridge::defaultPollingIntervalForMode(int mode) {
  if (platform::Device::currentDevice().userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad) return 1.0 / 30.0;
  return mode == kFG ? 1.0 / 15.0 : 0.5;
}

void HVJavascriptBridge::setPollingInterval(double seconds) {
  stopPollingTimer();
  if (m_shutDown) return;
  // Also catches NaN from a page.
  if (!(seconds >= kMinimumPollingInterval)) seconds = kMinimumPollingInterval;
  m_pollingInterval = seconds;
  startPollingTimer();
}

void HVJavascriptBridge::startPollingTimer() {
  stopPollingTimer();
  double interval = m_pollingInterval;
  if (m_touchCollectionEnds) interval = std::min(interval, defaultPollingIntervalForMode(kFG));
  std::weak_ptr<HVJavascriptBridge> weak = weak_from_this();
  m_pollingTimer = platform::Timer::scheduledTimer(interval, true, [weak](platform::Timer&) {
    if (auto bridge = weak.lock()) bridge->pollingTimerFired();
  });
}

void HVJavascriptBridge::stopPollingTimer() {
  if (m_pollingTimer) m_pollingTimer->invalidate();
  m_pollingTimer.reset();
}

void HVJavascriptBridge::pollingTimerFired() {
  auto self = shared_from_this();
  poll();
  // The touch's activation is over: back to the page's own pace (unless a command of the
  // poll halted polling).
  if (m_touchCollectionEnds && !isCollectingForTouch() && m_pollingTimer) {
    m_touchCollectionEnds.reset();
    startPollingTimer();
  }
}

bool HVJavascriptBridge::isCollectingForTouch() const {
  return m_touchCollectionEnds && platform::Clock::current().monotonic() < *m_touchCollectionEnds;
}

void HVJavascriptBridge::collectAfterUserTouch() {
  if (m_shutDown || !m_pollingTimer) return;
  const bool wasCollecting = m_touchCollectionEnds.has_value();
  m_touchCollectionEnds = platform::Clock::current().monotonic() + platform::kUserActivationSeconds;
  if (!wasCollecting) startPollingTimer();
  std::weak_ptr<HVJavascriptBridge> weak = weak_from_this();
  platform::RunLoop::main().post([weak] {
    if (auto bridge = weak.lock(); bridge && bridge->m_pollingTimer) bridge->poll();
  });
}

void HVJavascriptBridge::setPollingIntervalOverride(double seconds) {
  if (!(seconds >= kMinimumPollingInterval && seconds <= 1.0)) return;
  m_pollingIntervalOverride = seconds;
  setPollingInterval(seconds);
}

void HVJavascriptBridge::restartPolling() {
  if (m_pollingIntervalOverride) setPollingInterval(*m_pollingIntervalOverride);
  else setPollingInterval(defaultPollingIntervalForMode(m_execMode == kFG ? kFG : kBG));
}

void HVJavascriptBridge::handleExecModeUpdate(int mode) {
  if (m_pollingIntervalOverride) {
    setPollingInterval(*m_pollingIntervalOverride);
    m_execMode = mode;
    return;
  }
  if (mode != kBG && mode != kFG) return;
  m_execMode = mode;
  setPollingInterval(defaultPollingIntervalForMode(mode));
}

void HVJavascriptBridge::setExecMode(int mode) { m_execMode = mode; }

void HVJavascriptBridge::halt() {
  m_touchCollectionEnds.reset();
  stopPollingTimer();
}

std::optional<double> HVJavascriptBridge::pollingIntervalForTesting() const {
  if (!m_pollingTimer || !m_pollingTimer->isValid()) return std::nullopt;
  return m_pollingTimer->interval();
}

size_t HVJavascriptBridge::poll() {
  if (!m_webView || !m_ownDocument || m_webViewLoading) return 0;
  auto self = shared_from_this();
  // While a touch's activation lasts, everything the page queued is taken.
  const int mode = isCollectingForTouch() ? static_cast<int>(kFG) : HVController::sharedController()->execMode();
  const std::string answer = m_webView->stringByEvaluatingJavaScriptFromString("commandList(" + std::to_string(mode) + ");");
  if (answer.empty()) return 0;
  struct Collected {
    std::optional<double>& at;
    std::optional<double> outer;
    ~Collected() { at = outer; }
  } collected{m_commandCollectedAt, m_commandCollectedAt};
  m_commandCollectedAt = platform::Clock::current().monotonic();
  size_t start = 0, ran = 0;
  while (start <= answer.size()) {
    // A command may end this bridge's page (a new load) or shut the bridge down.
    if (m_shutDown || !m_ownDocument || m_webViewLoading) return ran;
    ++ran;
    const size_t end = answer.find(";\n", start);
    const size_t stop = end == std::string::npos ? answer.size() : end;
    // One faulty command must not cost the page the commands queued behind it.
    try {
      executeCocoaCommand(std::string_view(answer).substr(start, stop - start));
    } catch (const std::exception& e) {
      platform::log(std::string("HVJavascriptBridge: a command failed: ") + e.what());
    }
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return ran;
}

std::optional<HVParsedCommand> HVJavascriptBridge::parseCommand(std::string_view command) {
  if (command.empty()) return std::nullopt;
  if (command.back() == ';') command.remove_suffix(1);
  HVParsedCommand parsed;
  std::vector<std::string_view> values;
  size_t tokenStart = 0, tokenLength = 0;
  bool inQuote = false, expectingKeyword = true;
  for (size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (inQuote) {
      if (c == '"') inQuote = false;
      tokenLength = i - tokenStart + 1;
    } else if (c == '"') {
      inQuote = true;
      tokenLength = i - tokenStart + 1;
    } else if (expectingKeyword && c == ':' && tokenLength > 0) {
      parsed.selector.append(command.substr(tokenStart, tokenLength));
      parsed.selector += ':';
      tokenStart = i + 1;
      tokenLength = 0;
      expectingKeyword = false;
    } else if (!expectingKeyword && isBlank(c) && tokenLength > 0) {
      values.push_back(command.substr(tokenStart, tokenLength));
      tokenStart = i + 1;
      tokenLength = 0;
      expectingKeyword = true;
    } else if (isBlank(c) && tokenLength > 0) {
      // The token keeps its length; a later character extends it over the blank.
    } else if (isBlank(c)) {
      tokenStart = i + 1;
    } else {
      tokenLength = i - tokenStart + 1;
    }
  }
  const std::string_view rest = tokenStart < command.size() ? command.substr(tokenStart) : std::string_view();
  if (expectingKeyword) parsed.selector.append(rest);
  else values.push_back(rest);
  if (parsed.selector.empty()) return std::nullopt;
  for (auto text : values) {
    bool ok = true;
    parsed.arguments.push_back(valueFromText(text, &ok));
    if (!ok) return std::nullopt;
  }
  return parsed;
}

bool HVJavascriptBridge::performOwnCommand(const HVParsedCommand& command) {
  // The only bridge methods a page may reach.
  if (command.selector == "setPollingInterval:" && command.arguments.size() == 1) {
    setPollingInterval(command.arguments[0].doubleValue());
    return true;
  }
  if (command.selector == "setExecMode:" && command.arguments.size() == 1) {
    const double mode = command.arguments[0].doubleValue();
    if (mode == static_cast<double>(kBG) || mode == static_cast<double>(kFG)) setExecMode(static_cast<int>(mode));
    return true;
  }
  return false;
}

bool HVJavascriptBridge::respondsToSelector(std::string_view selector) const {
  return selector == "setPollingInterval:" || selector == "setExecMode:" || commandHandlerForSelector(selector);
}

std::shared_ptr<HVCommandHandler> HVJavascriptBridge::commandHandlerForSelector(std::string_view selector) const {
  for (const auto& handler : m_commandHandlers)
    if (handler->respondsToSelector(selector)) return handler;
  return nullptr;
}

void HVJavascriptBridge::executeCocoaCommand(std::string_view text) {
  // A page's text is quoted in the log no further than this.
  const std::string quoted(text.substr(0, kMaxLoggedCommandLength));
  auto command = parseCommand(text);
  if (!command) {
    if (!text.empty()) platform::log("HVJavascriptBridge: ignoring the unreadable command " + quoted);
    return;
  }
  if (performOwnCommand(*command)) return;
  auto handler = commandHandlerForSelector(command->selector);
  // A page reaches only the commands its handlers declare, with no more values than they take.
  if (!handler || !handler->performSelector(command->selector, std::move(command->arguments)))
    platform::log("HVJavascriptBridge: ignoring the command " + quoted);
}

std::string HVJavascriptBridge::generateBridgeScriptFromObject(const std::string& name,
                                                               const HVCommandHandler& handler) {
  static constexpr std::string_view kPrefix = "bridge_";
  std::string script = "var " + name + " = function()\n{\n\tvar self = {};\n";
  for (const auto& selector : handler.selectors()) {
    if (selector.rfind(kPrefix, 0) != 0) continue;
    std::string functionName, parameters, command;
    if (selector.find(':') == std::string::npos) {
      functionName = selector.substr(kPrefix.size());
      command = selector;
    } else {
      std::vector<std::string> parts;
      size_t start = 0;
      for (size_t colon; (colon = selector.find(':', start)) != std::string::npos; start = colon + 1)
        parts.push_back(selector.substr(start, colon - start));
      if (start < selector.size()) parts.push_back(selector.substr(start));
      std::vector<std::string> used;
      for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const std::string bare = i == 0 ? part.substr(kPrefix.size()) : part;
        // Repeated keywords would repeat a parameter name, which strict code refuses and
        // which would otherwise send the last value twice.
        std::string parameter = "a_" + bare;
        for (int n = 2; std::find(used.begin(), used.end(), parameter) != used.end(); ++n)
          parameter = "a_" + bare + "_" + std::to_string(n);
        used.push_back(parameter);
        if (i == 0) {
          functionName = bare;
        } else {
          parameters += ", ";
          command += " ";
          std::string capitalised = part;
          if (!capitalised.empty()) capitalised[0] = static_cast<char>(toupper(static_cast<unsigned char>(capitalised[0])));
          functionName += capitalised;
        }
        parameters += parameter;
        command += part + ":\\\"\" + " + parameter + " + \"\\\"";
      }
    }
    script += "\tself." + functionName + " = function(" + parameters + ")\n\t{\n\t\tsendCommand(\"" + command +
              ";\");\n\t}\n\n";
  }
  script += "\treturn self;\n}();";
  return script;
}

std::string HVJavascriptBridge::bridgeScript() const {
  std::string script = kBridgeScript;
  for (const auto& handler : m_commandHandlers) script += "\n" + handler->bridgeScript();
  return script;
}

std::string HVJavascriptBridge::globalsScript() const {
  auto controller = HVController::sharedController();
  return "var UserInfo = function()\n{\n\tvar self = {};\n"
         "\tvar clientVersion = " + platform::quoteScriptString(m_clientVersion) + ";\n"
         "\tself.getAppId = function() { return " + platform::quoteScriptString(controller->applicationID()) + "; };\n"
         "\tself.getClientVersion = function() { return clientVersion; };\n"
         "\tself.setClientVersion = function(v) { clientVersion = v; };\n"
         "\tself.getDeviceName = function() { return " + platform::quoteScriptString(HVController::deviceName()) + "; };\n"
         "\tself.getDeviceUid = function() { return " + platform::quoteScriptString(HVController::deviceUID()) + "; };\n"
         "\tself.getHostVersion = function() { return " + platform::quoteScriptString(HVController::hvSDKVersion()) + "; };\n"
         "\tself.getSessionStart = function() { return " + std::to_string(HVController::sessionStart()) + "; };\n"
         "\tself.getServerURL = function() { return " + platform::quoteScriptString(controller->serverURL()) + "; };\n"
         "\treturn self;\n}();\n"
         "var g_capabilities = [\"" + capabilities() + "\"];\n";
}

std::string HVJavascriptBridge::onloadAttributeText(std::string_view script) { return platform::escapeHTML(script); }

void HVJavascriptBridge::loadJavascriptStringExecuteBaseURL(const std::string& clientScript, const std::string& onload,
                                                            const std::optional<platform::URL>& baseURL) {
  if (!m_webView || m_shutDown) return;
  std::string page = "<html><head><title>Advertisement</title>";
  page += kScriptElement + bridgeScript() + kScriptElementEnd;
  page += kScriptElement + globalsScript() + clientScript + kScriptElementEnd;
  page += std::string(kScriptElement) + "function isHVJSLoaded(){return true;}" + kScriptElementEnd;
  page += "</head><body style=\"margin:0px;\" onload=\"" + onload + "\"></body></html>";
  flushJavascriptCommands();
  m_ownLoadRequested = true;
  m_webView->loadHTMLStringBaseURL(page, baseURL);
  m_webViewLoading = true;
}

void HVJavascriptBridge::sendJavascriptCommand(const std::string& expression) {
  if (m_webViewLoading) postJavascriptCommand(expression);
  else executeJavascriptCommand(expression);
}

void HVJavascriptBridge::postJavascriptCommand(const std::string& expression) {
  if (!m_pendingJavascriptCommands) {
    m_pendingJavascriptCommands.emplace();
    m_pendingJavascriptCommands->reserve(1);
  }
  m_pendingJavascriptCommands->push_back(expression);
}

void HVJavascriptBridge::executeJavascriptCommand(const std::string& expression) {
  // Answers are meant for the bridge's page only, never for a page that replaced it.
  if (!m_webView || !m_ownDocument) return;
  m_webView->stringByEvaluatingJavaScriptFromString("try { " + expression + "; } catch(e) {}");
}

void HVJavascriptBridge::executePendingJavascriptCommands() {
  if (!m_pendingJavascriptCommands) return;
  auto pending = std::move(*m_pendingJavascriptCommands);
  m_pendingJavascriptCommands.reset();
  for (const auto& expression : pending) executeJavascriptCommand(expression);
}

void HVJavascriptBridge::flushJavascriptCommands() { m_pendingJavascriptCommands.reset(); }

bool HVJavascriptBridge::isHVJSLoaded() {
  return m_webView && m_webView->stringByEvaluatingJavaScriptFromString("isHVJSLoaded();") == "true";
}

std::optional<bool> HVJavascriptBridge::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>& webView, const platform::URLRequest& request,
    platform::WebViewNavigationType navigationType) {
  // The bridge's own page is always let in; whatever else asks to load is the owner's call.
  if (m_ownLoadRequested) return true;
  if (auto delegate = m_webViewDelegate.lock())
    return delegate->webViewShouldStartLoadWithRequestNavigationType(webView, request, navigationType).value_or(true);
  return false;
}

void HVJavascriptBridge::webViewDidStartLoad(const std::shared_ptr<platform::WebView>& webView) {
  auto self = shared_from_this();
  halt();
  m_webViewLoading = true;
  m_loadingOwnDocument = m_ownLoadRequested;
  m_ownLoadRequested = false;
  if (auto delegate = m_webViewDelegate.lock()) delegate->webViewDidStartLoad(webView);
}

void HVJavascriptBridge::finishLoad() {
  m_webViewLoading = false;
  executePendingJavascriptCommands();
  flushJavascriptCommands();
  if (!m_shutDown) restartPolling();
}

void HVJavascriptBridge::webViewDidFinishLoad(const std::shared_ptr<platform::WebView>& webView) {
  auto self = shared_from_this();
  m_ownDocument = m_loadingOwnDocument;
  if (!m_ownDocument) {
    const auto request = webView->request();
    platform::log("HVJavascriptBridge: the page " + (request ? request->url() : std::string("(none)")) +
                  " is not the bridge's own; its commands are not taken.");
  }
  finishLoad();
  if (auto delegate = m_webViewDelegate.lock()) delegate->webViewDidFinishLoad(webView);
}

void HVJavascriptBridge::webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>& webView,
                                                     const platform::Error& error) {
  if (error.code == -999) return;
  auto self = shared_from_this();
  finishLoad();
  if (auto delegate = m_webViewDelegate.lock()) delegate->webViewDidFailLoadWithError(webView, error);
}

}  // namespace halvern
