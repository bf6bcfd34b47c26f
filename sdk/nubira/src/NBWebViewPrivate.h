#pragma once
// A hidden web view that learns the browser's user agent from the request it is about to
// send, and refuses that request, so nothing goes over the network. Main thread only.
#include <memory>
#include <string>

#include "platform/passkey.h"

namespace platform {
class WebView;
}

namespace nubira {

class NBUserInfo;

class NBWebViewPrivate : public std::enable_shared_from_this<NBWebViewPrivate> {
 public:
  // Any http page serves: the load is refused before it is sent.
  static constexpr const char* kHomePage = "http://www.nubira.example/";

  static std::shared_ptr<NBWebViewPrivate> create();
  ~NBWebViewPrivate();

  // Asks the hidden web view to load the home page; the user agent arrives on a later turn.
  // Does nothing once the agent was found.
  void fetchUserAgent();
  static void persistUserAgentString(const std::string& userAgent);

  std::shared_ptr<NBUserInfo> userInfo() const { return userInfo_.lock(); }
  void setUserInfo(std::weak_ptr<NBUserInfo> info) { userInfo_ = std::move(info); }
  // The hidden web view until the agent was found.
  std::shared_ptr<platform::WebView> webViewForTesting() const { return webview_; }

  explicit NBWebViewPrivate(platform::Passkey<NBWebViewPrivate>);

 private:
  class Listener;
  // True when the request gave the agent (the load is then refused).
  bool takeUserAgentFromHeaders(const std::string* userAgent, bool hasHeaders);

  std::shared_ptr<platform::WebView> webview_;
  std::shared_ptr<Listener> listener_;
  std::weak_ptr<NBUserInfo> userInfo_;
};

}  // namespace nubira
