// The "mraid://" command parser over arbitrary text. A command URL is answered exactly once,
// and the answer stays one string literal whatever the command holds; a URL of any other
// scheme is not answered.
#include <cstdint>
#include <cstdlib>
#include <string>

// The bridge is internal to the client; the target reaches it by path.
#include "../sdk/nubira/src/NBJSBridge.h"

namespace {

struct Delegate : nubira::JSBridgeDelegate {
  int answers = 0;
  std::string last;
  WebViewPtr webView() override { return nullptr; }
  void adIsMRAIDEnabledForWebView(const WebViewPtr&) override {}
  std::string usingWebViewExecuteJavascript(const WebViewPtr&, const std::string& script) override {
    ++answers;
    last = script;
    return "";
  }
  void showAd(const WebViewPtr&) override {}
  void hideAd(const WebViewPtr&) override {}
  void closeAd(const WebViewPtr&) override {}
  void sendEMailToWithSubjectWithBodyIsHTML(const std::string&, const std::string&, const std::string&,
                                            bool) override {}
  void sendSMSToWithBody(const std::string&, const std::string&) override {}
  void placeCallTo(const std::string& number) override {
    if (number.empty()) std::abort();
  }
  void sendBeaconPingToUrl(const std::optional<std::string>&) override {}
};

// True when `script` is the answer call with one single-quoted literal and nothing after it.
bool oneLiteral(const std::string& script) {
  const std::string head = "window.mraidview.nativeCallComplete( '";
  const std::string tail = "' );";
  if (script.rfind(head, 0) != 0) return false;
  size_t i = head.size();
  for (; i < script.size(); ++i) {
    if (script[i] == '\\') {
      ++i;
      continue;
    }
    if (script[i] == '\'' || script[i] == '\n' || script[i] == '\r') break;
  }
  return script.compare(i, std::string::npos, tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto bridge = nubira::NBJSBridge::create();
  auto delegate = std::make_shared<Delegate>();
  bridge->setBridgeDelegate(delegate);
  const std::string url(reinterpret_cast<const char*>(data), size);
  bridge->processURLForWebView(url, nullptr);
  const bool command = url.rfind("mraid://", 0) == 0;
  if (delegate->answers != (command ? 1 : 0)) std::abort();
  if (command && !oneLiteral(delegate->last)) std::abort();
  return 0;
}
