#include "NBJSBridge.h"

#include <cstdlib>
#include <functional>
#include <utility>

#include "NBReachabilityPrivate.h"
#include "NBSDKUtil.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/notification_center.h"
#include "platform/screen.h"
#include "platform/text_helpers.h"
#include "platform/text_quoting.h"
#include "platform/url.h"

namespace nubira {

namespace {

constexpr std::string_view kScheme = "mraid://";

const platform::Value* lookUp(const NBJSBridge::Parameters& parameters, const std::string& key) {
  if (!parameters) return nullptr;
  return parameters->find(key);
}

std::optional<std::string> optionalString(const NBJSBridge::Parameters& parameters, const std::string& key) {
  const auto* value = lookUp(parameters, key);
  if (!value || value->isNull()) return std::nullopt;
  return value->stringValue();
}

}  // namespace

NBJSBridge::NBJSBridge(platform::Passkey<NBJSBridge>) {}

std::unique_ptr<NBJSBridge> NBJSBridge::create() {
  auto bridge = std::make_unique<NBJSBridge>(platform::Passkey<NBJSBridge>());
  bridge->reachability_ = NBReachabilityPrivate::reachabilityForInternetConnection();
  auto& center = platform::NotificationCenter::defaultCenter();
  auto* raw = bridge.get();
  center.addObserver(raw, platform::kDeviceOrientationDidChangeNotification, nullptr,
                     [raw](const platform::Notification& n) { raw->orientationChanged(n); });
  center.addObserver(raw, kNBReachabilityChangedNotification, nullptr,
                     [raw](const platform::Notification& n) { raw->handleReachabilityChangedNotification(n); });
  if (bridge->reachability_) bridge->reachability_->startNotifier();
  return bridge;
}

NBJSBridge::~NBJSBridge() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
  restoreServicesToDefaultState();
}

void NBJSBridge::setReachability(std::shared_ptr<NBReachabilityPrivate> reachability) {
  reachability_ = std::move(reachability);
}

bool NBJSBridge::processURLForWebView(const std::string& url, const WebViewPtr& webView) {
  if (url.compare(0, kScheme.size(), kScheme) != 0) return false;
  const std::string rest = url.substr(kScheme.size());
  const auto question = rest.find('?');
  if (question == std::string::npos) return processCommandParametersForWebView(rest, std::nullopt, webView);
  const std::string command = platform::lowercase(rest.substr(0, question));
  Parameters parameters = parametersFromJSCall(rest.substr(question + 1));
  logLine("MRAID Command: %@, %@", command, platform::Value(*parameters));
  return processCommandParametersForWebView(command, parameters, webView);
}

platform::Dictionary NBJSBridge::parametersFromJSCall(const std::string& query) {
  platform::Dictionary parameters;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string piece = query.substr(start, end - start);
    start = end + 1;
    const auto equals = piece.find('=');
    if (equals == std::string::npos) continue;
    const auto valueEnd = piece.find('=', equals + 1);
    const std::string key = piece.substr(0, equals);
    const std::string escaped = piece.substr(equals + 1, valueEnd == std::string::npos ? std::string::npos
                                                                                        : valueEnd - equals - 1);
    // A value that does not decode as UTF-8 is left out rather than passed on half-read.
    if (auto value = platform::replacingPercentEscapes(escaped)) parameters.set(key, platform::Value(*value));
  }
  return parameters;
}

float NBJSBridge::floatFromDictionaryForKeyWithDefault(const Parameters& parameters, const std::string& key,
                                                       float fallback) {
  const auto* value = lookUp(parameters, key);
  if (!value) return fallback;
  return std::strtof(value->stringValue().c_str(), nullptr);
}

int NBJSBridge::intFromDictionaryForKey(const Parameters& parameters, const std::string& key) {
  const auto* value = lookUp(parameters, key);
  if (!value) return -1;
  long parsed = std::strtol(value->stringValue().c_str(), nullptr, 10);
  if (parsed > INT32_MAX) return INT32_MAX;
  if (parsed < INT32_MIN) return INT32_MIN;
  return static_cast<int>(parsed);
}

bool NBJSBridge::booleanFromDictionaryForKey(const Parameters& parameters, const std::string& key) {
  const auto* value = lookUp(parameters, key);
  if (!value || !value->isString()) return false;
  const std::string text = value->stringValue();
  return text == "Y" || text == "y";
}

std::optional<std::string> NBJSBridge::requiredStringFromDictionaryForKey(const Parameters& parameters,
                                                                          const std::string& key) {
  const auto* value = lookUp(parameters, key);
  std::string trimmed;
  if (value && !value->isNull()) trimmed = platform::trimWhitespaceAndNewlines(value->stringValue());
  if (trimmed.empty()) {
    logLine("Missing required parameter: %@", key);
    return std::nullopt;
  }
  return trimmed;
}

bool NBJSBridge::processCommandParametersForWebView(const std::string& command, const Parameters& p,
                                                    const WebViewPtr& webView) {
  auto delegate = bridgeDelegate();
  using Handler = std::function<void(JSBridgeDelegate&)>;
  const std::pair<const char*, Handler> table[] = {
      {"MRAIDenabled",
       [&](JSBridgeDelegate& d) {
         logLine("Processing MRAIDENABLED Command...");
         d.adIsMRAIDEnabledForWebView(webView);
       }},
      {"close",
       [&](JSBridgeDelegate& d) {
         logLine("Processing CLOSE Command...");
         d.closeAd(webView);
       }},
      {"expand", [&](JSBridgeDelegate&) { processExpandCommandForWebView(p, webView, delegate); }},
      {"hide",
       [&](JSBridgeDelegate& d) {
         logLine("Processing HIDE Command...");
         d.hideAd(webView);
       }},
      {"resize",
       [&](JSBridgeDelegate& d) {
         logLine("Processing RESIZE Command...");
         d.resizeToWidthHeightInWebView(floatFromDictionaryForKey(p, "w"), floatFromDictionaryForKey(p, "h"), webView);
       }},
      {"show",
       [&](JSBridgeDelegate& d) {
         logLine("Processing SHOW Command...");
         d.showAd(webView);
       }},
      {"addasset", [&](JSBridgeDelegate&) { logLine("Processing ADD ASSET Command..."); }},
      {"removeasset", [&](JSBridgeDelegate&) { logLine("Processing REMOVE ASSET Command..."); }},
      {"removeallassets", [&](JSBridgeDelegate&) { logLine("Processing REMOVE ALL ASSETS Command..."); }},
      {"open",
       [&](JSBridgeDelegate& d) {
         logLine("Processing OPEN Command...");
         auto url = requiredStringFromDictionaryForKey(p, "url");
         d.openBrowserWithUrlStringEnableBackEnableForwardEnableRefresh(webView, url,
                                                                        booleanFromDictionaryForKey(p, "back"),
                                                                        booleanFromDictionaryForKey(p, "forward"),
                                                                        booleanFromDictionaryForKey(p, "refresh"));
       }},
      {"openmap",
       [&](JSBridgeDelegate& d) {
         logLine("Processing OPEN MAP Command...");
         auto url = requiredStringFromDictionaryForKey(p, "url");
         d.openMapWithUrlStringAndFullScreen(webView, url, booleanFromDictionaryForKey(p, "fullscreen"));
       }},
      {"request", [&](JSBridgeDelegate&) { logLine("Processing REQUEST Command..."); }},
      {"email",
       [&](JSBridgeDelegate& d) {
         logLine("Processing EMAIL Command...");
         auto to = requiredStringFromDictionaryForKey(p, "to");
         auto subject = requiredStringFromDictionaryForKey(p, "subject");
         auto body = requiredStringFromDictionaryForKey(p, "body");
         if (to && subject && body)
           d.sendEMailToWithSubjectWithBodyIsHTML(*to, *subject, *body, booleanFromDictionaryForKey(p, "html"));
       }},
      {"phone",
       [&](JSBridgeDelegate& d) {
         auto number = requiredStringFromDictionaryForKey(p, "number");
         logLine("Processing PHONE Command for %@", number ? platform::Value(*number) : platform::Value());
         if (number && !number->empty()) d.placeCallTo(*number);
       }},
      {"sms",
       [&](JSBridgeDelegate& d) {
         logLine("Processing SMS Command...");
         auto to = requiredStringFromDictionaryForKey(p, "to");
         auto body = requiredStringFromDictionaryForKey(p, "body");
         if (to && body) d.sendSMSToWithBody(*to, *body);
       }},
      {"log",
       [&](JSBridgeDelegate&) { logLine("MRAID_LOG:%@", p ? platform::Value(*p) : platform::Value()); }},
      {"asyncping", [&](JSBridgeDelegate& d) { d.sendBeaconPingToUrl(optionalString(p, "url")); }},
  };
  bool handled = false;
  for (const auto& [name, handler] : table) {
    if (command != name) continue;
    if (delegate) handler(*delegate);
    handled = true;
    break;
  }
  if (!handled) logLine("Unknown Command: %@", command);
  if (delegate) {
    delegate->usingWebViewExecuteJavascript(
        webView, platform::format("window.mraidview.nativeCallComplete( '%@' );", platform::escapeScriptString(command)));
  }
  return handled;
}

void NBJSBridge::processExpandCommandForWebView(const Parameters& p, const WebViewPtr& webView,
                                                const std::shared_ptr<JSBridgeDelegate>& delegate) {
  logLine("Processing EXPAND Command...");
  platform::Rect frame = delegate->getAdFrameInWindowCoordinates().value_or(platform::Rect{});
  frame = delegate->rectAccordingToOrientation(frame).value_or(frame);
  const float x = floatFromDictionaryForKeyWithDefault(p, "x", float(frame.origin.x));
  const float y = floatFromDictionaryForKeyWithDefault(p, "y", float(frame.origin.y));
  const float w = floatFromDictionaryForKeyWithDefault(p, "w", float(frame.size.width));
  const float h = floatFromDictionaryForKeyWithDefault(p, "h", float(frame.size.height));
  std::optional<platform::URL> url;
  if (auto text = optionalString(p, "url")) url = platform::URL::create(*text);
  logLine("Expanding to ( %f, %f ) ( %f x %f ) showing %@", double(x), double(y), double(w), double(h),
          url ? platform::Value(url->absoluteString()) : platform::Value());
  delegate->expandToWithURLInWebViewBlockingColorBlockingOpacityLockOrientation(
      platform::Rect(x, y, w, h), url, webView, platform::Color::blackColor(), 0.2f,
      booleanFromDictionaryForKey(p, "lockOrientation"));
}

std::string NBJSBridge::networkStatus() const {
  const auto status = reachability_ ? reachability_->currentReachabilityStatus() : NBNotReachable;
  if (status == NBReachableViaWiFi) return "wifi";
  if (status == NBReachableViaWWAN) return "cell";
  return "offline";
}

platform::Size NBJSBridge::screenSizeForOrientation(int interfaceOrientation) {
  auto size = platform::Screen::mainScreen().bounds().size;
  if (interfaceOrientation == 3 || interfaceOrientation == 4) std::swap(size.width, size.height);
  return size;
}

void NBJSBridge::orientationChanged(const platform::Notification&) {
  int angle;
  switch (platform::Device::currentDevice().orientation()) {
    case platform::DeviceOrientation::Portrait: angle = 0; break;
    case platform::DeviceOrientation::PortraitUpsideDown: angle = 180; break;
    case platform::DeviceOrientation::LandscapeLeft: angle = 270; break;
    case platform::DeviceOrientation::LandscapeRight: angle = 90; break;
    default: return;
  }
  logLine("orientation changed,angle=%d", angle);
  if (auto delegate = bridgeDelegate()) delegate->rotateExpandedWindowsToCurrentOrientation();
}

}  // namespace nubira
