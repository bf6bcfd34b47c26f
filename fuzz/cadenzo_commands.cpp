// Arbitrary bytes as a URL an ad page navigates to, handed to the HTML ad view's command
// handler: "cadenzo" commands are cut at "/", unescaped and their JSON parsed. Nothing may
// crash, and a load is only ever refused as a close (the page must learn nothing else), save a
// "file" URL outside the application bundle, which is simply not loaded.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "CZCommandURL.h"
#include "CZWebView.h"
#include "platform/url_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::shared_ptr<cadenzo::CZWebView> view =
      cadenzo::CZWebView::createWithFrame(platform::Rect(0, 0, 320, 480));
  bool closed = false;
  view->setCloseCallback([&] { closed = true; });
  view->setClickCallback([&](const std::optional<std::string>&, const std::optional<platform::Value>&) {});
  std::string url(reinterpret_cast<const char*>(data), size);
  auto allowed = view->webViewShouldStartLoadWithRequestNavigationType(view, platform::URLRequest(url),
                                                                       platform::WebViewNavigationType::Other);
  if (!allowed.has_value()) std::abort();
  if (!*allowed && !closed && !cadenzo::CZIsFileURLOutsideBundle(url)) std::abort();
  return 0;
}
