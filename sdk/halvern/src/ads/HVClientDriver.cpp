#include "HVClientDriver.h"

#include <strings.h>

#include "HVAdManager.h"
#include "HVApplicationCommandHandler.h"
#include "HVAsyncCommand.h"
#include "HVClientManager.h"
#include "HVCocoaCommandHandler.h"
#include "HVController.h"
#include "HVDownloadConnection.h"
#include "HVDriverCommandHandler.h"
#include "HVJavascriptBridge.h"
#include "HVStandardCommandHandler.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/text_quoting.h"
#include "platform/url.h"

namespace halvern {

namespace {

std::shared_ptr<HVAdManager> adManager() { return HVController::sharedController()->adManager(); }

}  // namespace

std::shared_ptr<HVClientDriver> HVClientDriver::create(std::weak_ptr<HVClientManager> clientManager) {
  auto driver = std::make_shared<HVClientDriver>(platform::Passkey<HVClientDriver>{}, std::move(clientManager));
  driver->init();
  return driver;
}

HVClientDriver::HVClientDriver(platform::Passkey<HVClientDriver>, std::weak_ptr<HVClientManager> clientManager)
    : m_clientManager(std::move(clientManager)) {}

HVClientDriver::~HVClientDriver() {
  if (m_bridge) m_bridge->shutdown();
}

void HVClientDriver::init() {
  // Never added to a window: the page has nothing to show.
  m_webView = platform::WebView::create(platform::Rect{});
  m_webView->setDelegate(weak_from_this());
  m_standardHandler = std::make_shared<HVStandardCommandHandler>();
  m_cocoaHandler = std::make_shared<HVCocoaCommandHandler>();
  m_applicationHandler = std::make_shared<HVApplicationCommandHandler>();
  m_driverHandler = std::make_shared<HVDriverCommandHandler>(weak_from_this());
  m_bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(m_execMode, m_webView, nullptr);
  for (const auto& handler : {m_standardHandler, m_cocoaHandler, m_applicationHandler, m_driverHandler})
    m_bridge->addCommandHandler(handler);
}

std::string HVClientDriver::slotListText(const std::map<std::string, std::shared_ptr<HVAdSlot>>& slots) {
  std::string list = "[";
  size_t index = 0;
  for (const auto& [name, slot] : slots) {
    // The names pass the slot-name rule, but they are quoted all the same.
    list += platform::format("{name:%@,size:%d}%@", platform::quoteScriptString(name), slot->slotDescription().size(),
                             std::string(++index < slots.size() ? "," : ""));
  }
  return list + "]";
}

std::string HVClientDriver::driverInitScript(const std::string& slotList) {
  return "try {driverInit(" + platform::quoteScriptString(slotList) + ");} catch(e){BridgeLib.log('failed: ' + e);}";
}

std::string HVClientDriver::fetchScript(const std::string& name) {
  return "try {fetchAdForSlotNamed(" + HVCommandHandler::singleQuoted(name) +
         ");} catch(e){BridgeLib.log('failed: ' + e);}";
}

void HVClientDriver::startup() {
  auto clientManager = m_clientManager.lock();
  if (!clientManager || !clientManager->hasClient()) return;
  auto manager = adManager();
  const std::string slotList = slotListText(manager ? manager->slotDict() : std::map<std::string, std::shared_ptr<HVAdSlot>>{});
  loadDriverPage(HVJavascriptBridge::onloadAttributeText(driverInitScript(slotList)), HVAdManager::adBaseURL());
}

void HVClientDriver::loadDriverPage(const std::string& onload, const std::string& baseURL) {
  auto clientManager = m_clientManager.lock();
  auto path = clientManager ? clientManager->pathForComponent("driver") : std::nullopt;
  if (!path) return;
  std::weak_ptr<HVClientDriver> weak = weak_from_this();
  // A missing file calls nothing back: the page stays unloaded and no fetch starts.
  auto context = HVCallbackContext::contextWithCallbackInvocationPassResults(
      [weak, onload, baseURL](const HVCommandResult& result) {
        auto self = weak.lock();
        if (!self || !result.succeeded || !result.value) return;
        self->executeScriptBaseURLData(onload, baseURL, result.value->data());
      },
      true);
  HVController::sharedController()->ioRequestManager()->sendAsyncCommand(
      HVIOReadRequest::requestWithPathToReadCallbackContext(*path, context));
}

void HVClientDriver::executeScriptBaseURLData(const std::string& onload, const std::string& baseURL,
                                              const platform::Bytes& data) {
  m_reloading = false;
  std::string script(data.begin(), data.end());
  script = script.substr(0, script.find('\0'));
  m_bridge->loadJavascriptStringExecuteBaseURL(script, onload, platform::URL::create(baseURL));
}

bool HVClientDriver::fetchAdForSlotNamed(const std::string& name) {
  if (!m_reloading && m_bridge->showsOwnDocument() && !m_bridge->isHVJSLoaded()) {
    // The web view stopped a script of the page that would not end, and with it the page's
    // script for good: the driver starts again on a fresh page; the fetch waits for it.
    platform::log("HVClientDriver: the driver page stopped answering; loading it again.");
    m_state = kNotReady;
    m_reloading = true;
    startup();
    return false;
  }
  if (m_state != kIdle) return false;
  if (!m_bridge->isHVJSLoaded()) return false;
  m_state = kFetching;
  m_pingBudget.reset();
  m_bridge->sendJavascriptCommand(fetchScript(name));
  return true;
}

void HVClientDriver::shutdown() {
  auto self = shared_from_this();
  m_bridge->sendJavascriptCommand("shutdown();");
  for (int round = 0; round < kMaxShutdownPollRounds && m_bridge->poll() > 0; ++round) {
  }
  m_bridge->shutdown();
}

void HVClientDriver::executeCommand(const std::string& script) { m_bridge->sendJavascriptCommand(script); }

void HVClientDriver::setBridgePollingIntervalOverride(double seconds) { m_bridge->setPollingIntervalOverride(seconds); }

void HVClientDriver::reloadAndExecuteBaseURL(const std::string& script, const std::optional<std::string>& baseURL) {
  if (!m_bridge->isHVJSLoaded()) return;
  loadDriverPage(HVJavascriptBridge::onloadAttributeText(script), baseURL.value_or(HVAdManager::adBaseURL()));
}

void HVClientDriver::pingURL(const std::string& url) {
  auto parsed = platform::URL::create(url);
  if (!parsed || !m_pingBudget.allowRequest()) return;
  // Nobody waits for the answer, but it is bounded and a failure is logged like any other.
  HVDownloadConnection::connectionWithURLRequestDelegateUserData(
      HVDownloadConnection::smallAnswerRequest(parsed->absoluteString()), {}, {});
}

void HVClientDriver::initSucceeded() {
  if (auto manager = adManager()) manager->clientDriverDidInitialize();
}

void HVClientDriver::adFetchSucceededForSlotNamedDlTimeExpiration(const std::string& name, int64_t dlTime,
                                                                  int64_t expiration) {
  if (auto manager = adManager()) manager->adDownloadedForSlotNamedDlTimeExpiration(name, dlTime, expiration);
}

void HVClientDriver::adFetchFailedForSlotNamed(const std::string& name) {
  if (auto manager = adManager()) manager->adDownloadFailedForSlotNamed(name);
}

std::optional<bool> HVClientDriver::webViewShouldStartLoadWithRequestNavigationType(
    const std::shared_ptr<platform::WebView>&, const platform::URLRequest& request, platform::WebViewNavigationType) {
  auto url = platform::URL::create(request.url());
  const std::string scheme = url && url->scheme() ? *url->scheme() : std::string();
  if (strcasecmp(scheme.c_str(), "file") == 0) return true;
  if (strcasecmp(scheme.c_str(), "about") == 0) return false;
  if (!m_bridge->isHVJSLoaded()) return true;
  // The URL comes from the page's own navigation; it goes back in as a quoted string.
  const std::string answer = m_webView->stringByEvaluatingJavaScriptFromString(
      "shouldStartLoadWithRequest(" + platform::quoteScriptString(url ? url->absoluteString() : request.url()) + ");");
  return answer == "true";
}

}  // namespace halvern
