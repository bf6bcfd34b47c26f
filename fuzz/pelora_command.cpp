// A page's navigation requests over arbitrary text, in every banner state and with the page
// announced as an ORMMA ad or not. The connector may let the web view load only plain http
// links, keeps its state within its enumeration, and opens nothing without being asked
// through an alert first unless the link is a web address.
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
  const size_t opened = app.openedURLs().size();
  const bool load = connector->parseORMMAResponse(url);
  if (load && url.rfind("http://", 0) != 0) std::abort();
  if (!pelora::ORMMAConnector::bannerStateString(connector->bannerState())) std::abort();
  if (app.openedURLs().size() != opened) {
    const std::string& last = app.openedURLs().back();
    if (last.rfind("http://", 0) != 0 && last.rfind("https://", 0) != 0) std::abort();
  }
  return 0;
}
