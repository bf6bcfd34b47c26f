// The game's interstitial slot on the Cadenzo client: a session, an HTML interstitial cached,
// shown and closed by its own page, another one clicked through, with every delegate
// callback, every request the service saw and the window's view tree along the way.
#include <memory>
#include <string>

#include "cadenzo/CZAPIConnection.h"
#include "cadenzo/CZDefaultViewController.h"
#include "cadenzo/CZDefaultViews.h"
#include "cadenzo/CZJsonWriter.h"
#include "cadenzo/CZNativeInterstitialView.h"
#include "cadenzo/CZNativeMoreAppsTableViewCell.h"
#include "cadenzo/CZNativeMoreAppsView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/crypto.h"
#include "platform/application.h"
#include "platform/notification_center.h"
#include "platform/run_loop.h"
#include "platform/window.h"
#include "scenes.h"
#include "testing/cadenzo_server.h"
#include "testing/png_fixture.h"
#include "timeline.h"
#include "view_tree.h"

namespace adhost {
namespace {

class DelegatePrinter : public cadenzo::CadenzoDelegate {
 public:
  std::optional<bool> shouldRequestInterstitial(const std::string& l) override {
    note("delegate", "shouldRequestInterstitial " + l + " -> YES");
    return true;
  }
  std::optional<bool> shouldRequestInterstitialsInFirstSession() override {
    note("delegate", "shouldRequestInterstitialsInFirstSession -> YES");
    return true;
  }
  std::optional<bool> shouldDisplayInterstitial(const std::string& l) override {
    note("delegate", "shouldDisplayInterstitial " + l + " -> YES");
    return true;
  }
  void didCacheInterstitial(const std::string& l) override { record("didCacheInterstitial " + l); }
  void didFailToLoadInterstitial(const std::string& l) override { record("didFailToLoadInterstitial " + l); }
  void didDismissInterstitial(const std::string& l) override { record("didDismissInterstitial " + l); }
  void didCloseInterstitial(const std::string& l) override { record("didCloseInterstitial " + l); }
  void didClickInterstitial(const std::string& l) override { record("didClickInterstitial " + l); }
  std::optional<bool> shouldDisplayMoreApps() override {
    note("delegate", "shouldDisplayMoreApps -> YES");
    return true;
  }
  void didCacheMoreApps() override { record("didCacheMoreApps"); }
  void didFailToLoadMoreApps() override { record("didFailToLoadMoreApps"); }
  void didDismissMoreApps() override { record("didDismissMoreApps"); }
  void didCloseMoreApps() override { record("didCloseMoreApps"); }
  void didClickMoreApps() override { record("didClickMoreApps"); }

  bool heard(const std::string& line) const { return log.find(line + "\n") != std::string::npos; }

 private:
  void record(const std::string& line) {
    note("delegate", line);
    log += line + "\n";
  }
  std::string log;
};

// An HTML interstitial whose page runs `script` `delay` seconds after it loaded.
std::string htmlAnswer(const std::string& adId, const std::string& link, const std::string& script, double delay) {
  return "{\"status\":200,\"type\":\"html\",\"ad_id\":\"" + adId + "\",\"to\":\"demo\",\"animation\":1,\"link\":\"" + link +
         "\",\"html\":\"<html><body><h1>Fly further!</h1><script>setTimeout(function(){" + script + "}, " +
         std::to_string(static_cast<int>(delay * 1000)) + ");</script></body></html>\"}";
}

// Serves a made-up picture and answers the asset entry that names it with its checksum.
platform::Value picture(testing::LoopbackServer& images, const std::string& name, uint32_t w, uint32_t h) {
  std::string png = testing::makePNG(w, h, static_cast<uint8_t>(name.size() + w));
  images.setAnswer("/" + name, testing::ScriptedAnswer::text(png));
  return platform::Dictionary{{"url", images.url("/" + name)}, {"checksum", platform::crypto::sha1Hex(png)}};
}

std::string json(const platform::Dictionary& d) { return cadenzo::JSONRepresentation(platform::Value(d)).value_or(""); }

bool waitFor(const std::function<bool()>& done, const std::string& what) {
  if (platform::RunLoop::main().runUntil(done, 10.0)) return true;
  note("demo", "gave up waiting for " + what);
  return false;
}

}  // namespace

bool runCadenzoScene(const Options& options) {
  heading("Cadenzo interstitials");
  auto& loop = platform::RunLoop::main();
  std::unique_ptr<testing::CadenzoServer> server;
  std::string appId = options.cadenzoAppId, appSignature = options.cadenzoAppSignature;
  if (options.cadenzoServer.empty()) {
    server = std::make_unique<testing::CadenzoServer>();
    cadenzo::CZAPIConnection::setDefaultEndpoint(server->endpoint());
    appId = testing::CadenzoServer::kAppId;
    appSignature = testing::CadenzoServer::kAppSignature;
    note("server", "Cadenzo sandbox server at " + server->endpoint());
  } else {
    cadenzo::CZAPIConnection::setDefaultEndpoint(options.cadenzoServer);
    note("server", "Cadenzo service at " + options.cadenzoServer);
  }

  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();
  auto printer = std::make_shared<DelegatePrinter>();
  auto cz = cadenzo::Cadenzo::sharedCadenzo();
  if (!cz) {
    note("demo", "the Cadenzo client refuses this system version");
    return false;
  }
  cz->setAppId(appId);
  cz->setAppSignature(appSignature);
  cz->setDelegate(printer);
  cadenzo::installDefaultViews();

  note("game", "startSession");
  cz->startSession();
  loop.runUntil([&] { return !server || server->callsTo("install").size() == 1; }, 10.0);

  // 1. Cached, shown, and closed by the page's own script five seconds later.
  if (server) {
    server->setInterstitial("MainMenu",
                            htmlAnswer("demo-close", server->url("/target/close"), "location.href='cadenzo://close';", 5));
  }
  note("game", "cacheInterstitial MainMenu");
  cz->cacheInterstitial("MainMenu");
  bool ok = waitFor([&] { return cz->hasCachedInterstitial("MainMenu") || printer->heard("didFailToLoadInterstitial MainMenu"); },
                    "the MainMenu interstitial");
  ok = ok && cz->hasCachedInterstitial("MainMenu");
  if (ok) {
    note("game", "showInterstitial MainMenu");
    cz->showInterstitial("MainMenu");
    loop.runUntilIdle();
    note("demo", "the window with the interstitial on it:");
    printViewTree(window);
    if (server) {
      loop.advance(5);  // the page closes itself
    } else {
      loop.advance(5);
      note("game", "closing the ad (CZForceDismissViewNotification)");
      platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
    }
    ok = waitFor([&] { return printer->heard("didCloseInterstitial MainMenu"); }, "the close");
    loop.advance(0.5);  // the exit transition
    note("demo", "the window after the exit transition:");
    printViewTree(window);
  }

  // 2. A second one that the player clicks: the page asks for the store page of the game.
  if (ok && server) {
    auto& app = platform::Application::sharedApplication();
    app.setOpenURLAnswer(true);
    server->http().setAnswer("/store/zavrellion", testing::ScriptedAnswer::text("the game's store page"));
    server->setInterstitial(
        "LevelEnd", htmlAnswer("demo-click", server->url("/target/click"),
                               "location.href='cadenzo://link/'+encodeURIComponent('" + server->url("/store/zavrellion") +
                                   "')+'/'+encodeURIComponent(JSON.stringify({type:'interstitial'}));",
                               3));
    note("game", "cacheInterstitial LevelEnd");
    cz->cacheInterstitial("LevelEnd");
    ok = waitFor([&] { return cz->hasCachedInterstitial("LevelEnd"); }, "the LevelEnd interstitial");
    if (ok) {
      note("game", "showInterstitial LevelEnd");
      cz->showInterstitial("LevelEnd");
      loop.advance(3);  // the page clicks
      ok = waitFor([&] { return !app.openedURLs().empty(); }, "the click to open its URL");
      if (ok) note("application", "openURL " + app.openedURLs().back());
      loop.advance(0.5);
    }
  }

  // 3. A native interstitial laid out from pictures the service names, closed by its button.
  testing::LoopbackServer images;
  if (ok && server) {
    server->setInterstitial(
        "Pause", json({{"status", 200}, {"type", "native"}, {"ad_id", "demo-native"}, {"link", images.url("/store")},
                       {"assets", platform::Dictionary{{"ad-portrait", picture(images, "ad.png", 280, 400)},
                                                       {"frame-portrait", picture(images, "frame.png", 300, 440)},
                                                       {"close", picture(images, "close.png", 30, 30)}}}}));
    note("game", "cacheInterstitial Pause (native)");
    cz->cacheInterstitial("Pause");
    ok = waitFor([&] { return cz->hasCachedInterstitial("Pause"); }, "the native interstitial's pictures");
    if (ok) {
      note("game", "showInterstitial Pause");
      cz->showInterstitial("Pause");
      loop.advance(0.5);
      note("demo", "the window with the native interstitial:");
      printViewTree(window);
      auto impression = cz->visibleImpression();
      auto view = impression ? std::dynamic_pointer_cast<cadenzo::CZNativeInterstitialView>(impression->view()) : nullptr;
      ok = view != nullptr;
      if (ok) {
        note("player", "taps the close button");
        view->closeButton()->simulateTap();
        loop.advance(0.5);
        ok = printer->heard("didCloseInterstitial Pause");
      }
    }
  }

  // 4. The more-apps list with a featured row and a regular one the player taps.
  if (ok && server) {
    auto& app = platform::Application::sharedApplication();
    size_t opened = app.openedURLs().size();
    images.setAnswer("/orbit", testing::ScriptedAnswer::text("Orbit's store page"));
    platform::Array cells{
        platform::Dictionary{{"type", "featured"}, {"link", images.url("/featured")}, {"cgn", "cg-featured"},
                             {"more_type", "hero"},
                             {"assets", platform::Dictionary{{"portrait", picture(images, "featured.png", 620, 200)}}}},
        platform::Dictionary{{"type", "regular"}, {"name", "Orbit"}, {"text", "Get"}, {"link", images.url("/orbit")},
                             {"cgn", "cg-orbit"}, {"creative", "cr-3"}, {"more_type", "list"},
                             {"assets", platform::Dictionary{{"icon", picture(images, "orbit.png", 100, 100)}}}}};
    server->setMoreApps(json({{"status", 200}, {"type", "native"}, {"ad_id", "demo-more"},
                              {"assets", platform::Dictionary{{"close", picture(images, "close-more.png", 50, 30)},
                                                              {"header-portrait", picture(images, "header.png", 320, 50)}}},
                              {"cells", cells}}));
    note("game", "showMoreApps");
    cz->showMoreApps();
    ok = waitFor([&] { return cz->visibleImpression() != nullptr; }, "the more-apps list");
    if (ok) {
      loop.advance(0.5);
      note("demo", "the window with the more-apps list:");
      printViewTree(window);
      auto list = std::dynamic_pointer_cast<cadenzo::CZNativeMoreAppsView>(cz->visibleImpression()->view());
      ok = list != nullptr;
      if (ok) {
        list->tableView()->layoutIfNeeded();
        auto row = std::dynamic_pointer_cast<cadenzo::CZNativeMoreAppsRegularCell>(
            list->tableView()->cellForRowAtIndexPath({0, 1}));
        ok = row != nullptr;
        if (ok) {
          note("player", "taps Get on the Orbit row");
          row->clickButton()->simulateTap();
          ok = waitFor([&] { return app.openedURLs().size() > opened; }, "the row's store page");
          if (ok) note("application", "openURL " + app.openedURLs().back());
          loop.advance(0.5);
          note("demo", "the window after the list left:");
          printViewTree(window);
        }
      }
    }
  }
  images.stop();

  if (server) {
    heading("What the Cadenzo service received");
    for (const auto& call : server->calls()) {
      std::string keys;
      for (const auto& [k, v] : call.body.dictionary())
        if (k == "location" || k == "ad_id" || k == "type" || k == "cgn" || k == "more_type") keys += " " + k + "=" + v.description();
      note("server", call.action + (call.accepted() ? " accepted" : " REFUSED: " + call.problems[0]) + keys);
      ok = ok && call.accepted();
    }
    server->stop();
  }
  cz->setDelegate({});
  return ok;
}

}  // namespace adhost
