// A page's navigation requests over arbitrary text, in every banner state and with the page
// announced as an ORMMA ad or not. The connector may let the web view load only plain http
// links, keeps its state within its enumeration, and opens nothing without being asked
// through an alert first unless the link is a web address.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

// The connector is internal to the client; the target reaches it by path.
#include "../sdk/pelora/src/ORMMAConnector.h"
#include "platform/application.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  auto connector = pelora::ORMMAConnector::create();
  connector->setBannerState(data[0] % 7);
  connector->setIsORMMA(data[1] & 1);
  const std::string url(reinterpret_cast<const char*>(data + 2), size - 2);
  auto& app = platform::Application::sharedApplication();
  // The record keeps only the latest URLs, so what this input opened is counted by calls.
  const size_t calls = app.openURLCalls();
  const bool load = connector->parseORMMAResponse(url);
  if (load && url.rfind("http://", 0) != 0) std::abort();
  if (!pelora::ORMMAConnector::bannerStateString(connector->bannerState())) std::abort();
  const auto& opened = app.openedURLs();
  const size_t made = std::min(app.openURLCalls() - calls, opened.size());
  for (size_t i = opened.size() - made; i < opened.size(); ++i) {
    if (opened[i].rfind("http://", 0) != 0 && opened[i].rfind("https://", 0) != 0) std::abort();
  }
  return 0;
}
