#pragma once
// The native end of an ad page's "mraid://" commands: recognises them among the URLs the page
// tries to load, hands each to the bridge delegate and always answers the page, so that the
// page's queue of native calls moves on. Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "JSBridgeDelegate.h"
#include "platform/geometry.h"
#include "platform/passkey.h"
#include "platform/value.h"

namespace platform {
struct Notification;
}

namespace nubira {

class NBReachabilityPrivate;

class NBJSBridge {
 public:
  using WebViewPtr = JSBridgeDelegate::WebViewPtr;
  using Parameters = std::optional<platform::Dictionary>;

  // The error a page hears when it asks to hide an ad already hidden. The apostrophe of the
  // message is escaped, or the script would not parse and the page would hear nothing.
  static constexpr const char* kHideErrorScript =
      "window.mraidview.fireErrorEvent( 'Cannot hide if we\\'re already hidden.', 'hide' );";

  static std::unique_ptr<NBJSBridge> create();
  ~NBJSBridge();
  NBJSBridge(const NBJSBridge&) = delete;
  NBJSBridge& operator=(const NBJSBridge&) = delete;

  std::shared_ptr<JSBridgeDelegate> bridgeDelegate() const { return bridgeDelegate_.lock(); }
  void setBridgeDelegate(std::weak_ptr<JSBridgeDelegate> delegate) { bridgeDelegate_ = std::move(delegate); }
  const std::shared_ptr<NBReachabilityPrivate>& reachability() const { return reachability_; }
  void setReachability(std::shared_ptr<NBReachabilityPrivate> reachability);

  // True when `url` is a "mraid://" URL whose command was recognised and carried out.
  bool processURLForWebView(const std::string& url, const WebViewPtr& webView);
  static platform::Dictionary parametersFromJSCall(const std::string& query);
  bool processCommandParametersForWebView(const std::string& command, const Parameters& parameters,
                                          const WebViewPtr& webView);

  static float floatFromDictionaryForKeyWithDefault(const Parameters& parameters, const std::string& key,
                                                    float fallback);
  static float floatFromDictionaryForKey(const Parameters& parameters, const std::string& key) {
    return floatFromDictionaryForKeyWithDefault(parameters, key, 0);
  }
  static int intFromDictionaryForKey(const Parameters& parameters, const std::string& key);
  static bool booleanFromDictionaryForKey(const Parameters& parameters, const std::string& key);
  static std::optional<std::string> requiredStringFromDictionaryForKey(const Parameters& parameters,
                                                                       const std::string& key);

  std::string networkStatus() const;
  // Landscape orientations (3 and 4) exchange width and height.
  static platform::Size screenSizeForOrientation(int interfaceOrientation);
  void orientationChanged(const platform::Notification& notification);
  void keyboardWillShow(const platform::Notification&) {}
  void keyboardWillHide(const platform::Notification&) {}
  void handleReachabilityChangedNotification(const platform::Notification&) {}
  void restoreServicesToDefaultState() {}

  explicit NBJSBridge(platform::Passkey<NBJSBridge>);

 private:
  void processExpandCommandForWebView(const Parameters& parameters, const WebViewPtr& webView,
                                      const std::shared_ptr<JSBridgeDelegate>& delegate);

  std::weak_ptr<JSBridgeDelegate> bridgeDelegate_;
  std::shared_ptr<NBReachabilityPrivate> reachability_;
};

}  // namespace nubira
