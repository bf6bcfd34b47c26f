// A Kelvane banner in the game's menu: it loads, reloads after its period, is tapped open in
// the client's browser and comes back with "Back"; then a full-screen ad that the player
// skips. The game sees only the notifications and what is on screen.
#include <memory>
#include <string>

#include "kelvane/KelvaneAd.h"
#include "platform/application.h"
#include "platform/notification_center.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "pacing.h"
#include "scenes.h"
#include "testing/kelvane_server.h"
#include "timeline.h"
#include "view_tree.h"

namespace adhost {
namespace {

std::shared_ptr<platform::WebView> pageOf(const std::shared_ptr<platform::View>& view) {
  if (!view) return nullptr;
  for (const auto& v : view->subviews())
    if (auto web = std::dynamic_pointer_cast<platform::WebView>(v)) return web;
  return nullptr;
}

}  // namespace

bool runKelvaneScene(const Options&) {
  heading("Kelvane");
  auto& app = platform::Application::sharedApplication();
  testkit::KelvaneServer server;
  server.addApp("kv-demo-phone");
  kelvane::KelvaneAd::setServerHost(server.host());
  notef("server", "sandbox ad server at %@", server.host());

  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  auto menu = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
  window->addSubview(menu);
  window->makeKeyAndVisible();

  std::vector<std::string> heard;
  int observer = 0;
  for (const char* name : {kelvane::kKvOnReceiveAdNotification, kelvane::kKvOnReceiveDefaultAdNotification,
                           kelvane::kKvOnFailedToReceiveAdNotification, kelvane::kKvOnClickAdNotification}) {
    platform::NotificationCenter::defaultCenter().addObserver(&observer, name, nullptr,
                                                              [&](const platform::Notification& n) {
                                                                note("game", "heard " + n.name);
                                                                heard.push_back(n.name);
                                                              });
  }
  auto hear = [&](size_t count) { return passUntil([&] { return heard.size() >= count; }, 10); };
  auto lastRequest = [&] {
    auto requests = server.adRequests();
    if (!requests.empty()) note("server", "GET " + requests.back().path + "?" + requests.back().query);
  };

  note("game", "DisplayAd kv-demo-phone, banner, reload 30");
  bool ok = kelvane::KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-demo-phone", 1, menu, 30);
  ok = ok && hear(1);
  lastRequest();
  auto banner = menu->subviews().empty() ? nullptr : menu->subviews().back();
  if (banner) notef("game", "banner frame %.0f x %.0f", banner->frame().size.width, banner->frame().size.height);

  note("demo", "thirty seconds pass");
  pass(30);
  ok = ok && hear(2);
  lastRequest();

  note("player", "taps the banner");
  auto page = pageOf(banner);
  ok = ok && page && page->tapLinkWithElementIdForTesting("ad");
  ok = ok && passUntil([&] { return !server.requestsTo(testkit::KelvaneServer::kLandingPath).empty() &&
                                   !server.clickReports().empty(); }, 10);
  if (!server.clickReports().empty()) note("server", "click report " + server.clickReports()[0].query);
  auto browserWindow = app.keyWindow();
  ok = ok && browserWindow && browserWindow != window;
  if (browserWindow) printViewTree(browserWindow);
  note("player", "taps Back");
  if (browserWindow) browserWindow->tapAtPoint(platform::Point{40, 462});
  browserWindow.reset();
  ok = ok && app.keyWindow() == window;
  note("game", app.keyWindow() == window ? "the game's window is key again" : "the game's window is not key");

  note("game", "DisplayAd kv-demo-phone, full screen");
  ok = kelvane::KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-demo-phone", 3, nullptr, 0) && ok;
  ok = ok && hear(4);
  lastRequest();
  auto adWindow = app.keyWindow();
  note("player", "taps Skip");
  auto adPage = adWindow && !adWindow->subviews().empty() ? pageOf(adWindow->subviews()[0]) : nullptr;
  ok = ok && adPage && adPage->tapLinkWithElementIdForTesting("skip");
  ok = ok && passUntil([&] { return app.keyWindow() == window; }, 10);
  note("game", app.keyWindow() == window ? "the full-screen ad is gone" : "the full-screen ad is still up");
  ok = ok && server.clickReports().size() == 1;

  menu->removeFromSuperview();
  platform::NotificationCenter::defaultCenter().removeObserver(&observer);
  server.stop();
  return ok;
}

ADHOST_SCENE("kelvane", 9, runKelvaneScene);

}  // namespace adhost
