// The game's interstitial slot on the Cadenzo client: a session, an HTML interstitial cached,
// shown and closed by its own page, another one clicked through, a native interstitial and
// the more-apps list, with every delegate callback, every request the service saw and the
// window's view tree along the way. The game uses only the client's public surface; the
// player's taps find their buttons on screen.
#include <functional>
#include <memory>
#include <string>

#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/controls.h"
#include "platform/crypto.h"
#include "platform/notification_center.h"
#include "platform/scroll_view.h"
#include "platform/window.h"
#include "pacing.h"
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
platform::Value picture(testkit::LoopbackServer& images, const std::string& name, uint32_t w, uint32_t h) {
  std::string png = testkit::makePNG(w, h, static_cast<uint8_t>(name.size() + w));
  images.setAnswer("/" + name, testkit::ScriptedAnswer::text(png));
  return platform::Dictionary{{"url", images.url("/" + name)}, {"checksum", platform::crypto::sha1Hex(png)}};
}

std::string json(const platform::Dictionary& d) { return testkit::CadenzoServer::json(platform::Value(d)); }

// Every view of type T under `root`, depth-first, the receiver first (so later ones are drawn
// on top of earlier ones).
template <class T>
void collect(const std::shared_ptr<platform::View>& root, std::vector<std::shared_ptr<T>>& out) {
  if (auto hit = std::dynamic_pointer_cast<T>(root)) out.push_back(hit);
  for (const auto& sub : root->subviews()) collect(sub, out);
}

template <class T>
std::vector<std::shared_ptr<T>> viewsOf(const std::shared_ptr<platform::View>& root) {
  std::vector<std::shared_ptr<T>> out;
  if (root) collect(root, out);
  return out;
}

bool waitFor(const std::function<bool()>& done, const std::string& what) {
  if (passUntil(done, 10)) return true;
  note("demo", "gave up waiting for " + what);
  return false;
}

// The scene's state and its steps, in the order the game takes them. Each step returns false
// when what it waited for did not happen; the later ones are then skipped.
class CadenzoScene {
 public:
  explicit CadenzoScene(const Options& options) : options_(options) {}

  bool run() {
    heading("Cadenzo interstitials");
    if (!connect()) return false;
    startSession();
    bool ok = selfClosingInterstitial();
    if (server_) {
      ok = ok && clickedInterstitial();
      ok = ok && nativeInterstitial();
      ok = ok && moreApps();
    }
    images_.stop();
    if (server_) ok = reportCalls() && ok;
    cz_->setDelegate({});
    return ok;
  }

 private:
  // The service (the embedded sandbox unless the options name one), the window and the facade.
  bool connect() {
    appId_ = options_.cadenzoAppId;
    appSignature_ = options_.cadenzoAppSignature;
    if (options_.cadenzoServer.empty()) {
      server_ = std::make_unique<testkit::CadenzoServer>();
      cadenzo::Cadenzo::setDefaultEndpoint(server_->endpoint());
      appId_ = testkit::CadenzoServer::kAppId;
      appSignature_ = testkit::CadenzoServer::kAppSignature;
      note("server", "Cadenzo sandbox server at " + server_->endpoint());
    } else {
      cadenzo::Cadenzo::setDefaultEndpoint(options_.cadenzoServer);
      note("server", "Cadenzo service at " + options_.cadenzoServer);
    }
    window_ = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    cz_ = cadenzo::Cadenzo::sharedCadenzo();
    if (!cz_) {
      note("demo", "the Cadenzo client refuses this system version");
      return false;
    }
    cz_->setAppId(appId_);
    cz_->setAppSignature(appSignature_);
    cz_->setDelegate(printer_);
    return true;
  }

  void startSession() {
    note("game", "startSession");
    cz_->startSession();
    passUntil([&] { return !server_ || server_->callsTo("install").size() == 1; }, 10);
  }

  // Cached, shown, and closed by the page's own script five seconds later.
  bool selfClosingInterstitial() {
    if (server_) {
      server_->setInterstitial(
          "MainMenu", htmlAnswer("demo-close", server_->url("/target/close"), "location.href='cadenzo://close';", 5));
    }
    note("game", "cacheInterstitial MainMenu");
    cz_->cacheInterstitial("MainMenu");
    bool ok = waitFor(
        [&] { return cz_->hasCachedInterstitial("MainMenu") || printer_->heard("didFailToLoadInterstitial MainMenu"); },
        "the MainMenu interstitial");
    if (!ok || !cz_->hasCachedInterstitial("MainMenu")) return false;
    note("game", "showInterstitial MainMenu");
    cz_->showInterstitial("MainMenu");
    settle();
    note("demo", "the window with the interstitial on it:");
    printViewTree(window_);
    pass(5);  // the sandbox's page closes itself
    if (!server_) {
      note("game", "closing the ad (CZForceDismissViewNotification)");
      platform::NotificationCenter::defaultCenter().postNotificationName(cadenzo::Cadenzo::kForceDismissViewNotification);
    }
    ok = waitFor([&] { return printer_->heard("didCloseInterstitial MainMenu"); }, "the close");
    pass(0.5);  // the exit transition
    note("demo", "the window after the exit transition:");
    printViewTree(window_);
    return ok;
  }

  // A second one that the player taps: its page then asks for the store page of the game.
  bool clickedInterstitial() {
    auto& app = platform::Application::sharedApplication();
    app.setOpenURLAnswer(true);
    server_->http().setAnswer("/store/zavrellion", testkit::ScriptedAnswer::text("the game's store page"));
    server_->setInterstitial(
        "LevelEnd", htmlAnswer("demo-click", server_->url("/target/click"),
                               "location.href='cadenzo://link/'+encodeURIComponent('" + server_->url("/store/zavrellion") +
                                   "')+'/'+encodeURIComponent(JSON.stringify({type:'interstitial'}));",
                               3));
    note("game", "cacheInterstitial LevelEnd");
    cz_->cacheInterstitial("LevelEnd");
    if (!waitFor([&] { return cz_->hasCachedInterstitial("LevelEnd"); }, "the LevelEnd interstitial")) return false;
    note("game", "showInterstitial LevelEnd");
    cz_->showInterstitial("LevelEnd");
    pass(2.5);
    // The page clicks only for a player who touched it.
    note("player", "taps the ad");
    window_->tapAtPoint(platform::Point{160, 240});
    pass(0.5);  // the page clicks
    bool ok = waitFor([&] { return !app.openedURLs().empty(); }, "the click to open its URL");
    if (ok) note("application", "openURL " + app.openedURLs().back());
    pass(0.5);
    return ok;
  }

  // A native interstitial laid out from pictures the service names, closed by its button.
  bool nativeInterstitial() {
    server_->setInterstitial(
        "Pause", json({{"status", 200}, {"type", "native"}, {"ad_id", "demo-native"}, {"link", images_.url("/store")},
                       {"assets", platform::Dictionary{{"ad-portrait", picture(images_, "ad.png", 280, 400)},
                                                       {"frame-portrait", picture(images_, "frame.png", 300, 440)},
                                                       {"close", picture(images_, "close.png", 30, 30)}}}}));
    note("game", "cacheInterstitial Pause (native)");
    cz_->cacheInterstitial("Pause");
    if (!waitFor([&] { return cz_->hasCachedInterstitial("Pause"); }, "the native interstitial's pictures")) return false;
    note("game", "showInterstitial Pause");
    cz_->showInterstitial("Pause");
    pass(0.5);
    note("demo", "the window with the native interstitial:");
    printViewTree(window_);
    // The close button is the topmost button of the ad.
    auto buttons = viewsOf<platform::Button>(window_);
    if (buttons.empty()) return false;
    note("player", "taps the close button");
    buttons.back()->simulateTap();
    pass(0.5);
    return printer_->heard("didCloseInterstitial Pause");
  }

  // The more-apps list with a featured row and a regular one the player taps.
  bool moreApps() {
    auto& app = platform::Application::sharedApplication();
    size_t opened = app.openedURLs().size();
    images_.setAnswer("/orbit", testkit::ScriptedAnswer::text("Orbit's store page"));
    platform::Array cells{
        platform::Dictionary{{"type", "featured"}, {"link", images_.url("/featured")}, {"cgn", "cg-featured"},
                             {"more_type", "hero"},
                             {"assets", platform::Dictionary{{"portrait", picture(images_, "featured.png", 620, 200)}}}},
        platform::Dictionary{{"type", "regular"}, {"name", "Orbit"}, {"text", "Get"}, {"link", images_.url("/orbit")},
                             {"cgn", "cg-orbit"}, {"creative", "cr-3"}, {"more_type", "list"},
                             {"assets", platform::Dictionary{{"icon", picture(images_, "orbit.png", 100, 100)}}}}};
    server_->setMoreApps(json({{"status", 200}, {"type", "native"}, {"ad_id", "demo-more"},
                               {"assets", platform::Dictionary{{"close", picture(images_, "close-more.png", 50, 30)},
                                                               {"header-portrait", picture(images_, "header.png", 320, 50)}}},
                               {"cells", cells}}));
    note("game", "showMoreApps");
    cz_->showMoreApps();
    if (!waitFor([&] { return cz_->visibleImpression() != nullptr; }, "the more-apps list")) return false;
    pass(0.5);
    note("demo", "the window with the more-apps list:");
    printViewTree(window_);
    auto tables = viewsOf<platform::TableView>(window_);
    if (tables.empty()) return false;
    tables.front()->layoutIfNeeded();
    auto row = tables.front()->cellForRowAtIndexPath({0, 1});
    std::shared_ptr<platform::Button> get;
    for (const auto& button : viewsOf<platform::Button>(row))
      if (button->titleForState(platform::kControlStateNormal) == "Get") get = button;
    if (!get) return false;
    note("player", "taps Get on the Orbit row");
    get->simulateTap();
    bool ok = waitFor([&] { return app.openedURLs().size() > opened; }, "the row's store page");
    if (ok) note("application", "openURL " + app.openedURLs().back());
    pass(0.5);
    note("demo", "the window after the list left:");
    printViewTree(window_);
    return ok;
  }

  // What the sandbox received; every call must have been accepted.
  bool reportCalls() {
    heading("What the Cadenzo service received");
    bool ok = true;
    for (const auto& call : server_->calls()) {
      std::string keys;
      for (const auto& [k, v] : call.body.dictionary())
        if (k == "location" || k == "ad_id" || k == "type" || k == "cgn" || k == "more_type") keys += " " + k + "=" + v.description();
      note("server", call.action + (call.accepted() ? " accepted" : " REFUSED: " + call.problems[0]) + keys);
      ok = ok && call.accepted();
    }
    server_->stop();
    return ok;
  }

  const Options& options_;
  std::unique_ptr<testkit::CadenzoServer> server_;
  std::string appId_, appSignature_;
  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<DelegatePrinter> printer_ = std::make_shared<DelegatePrinter>();
  std::shared_ptr<cadenzo::Cadenzo> cz_;
  testkit::LoopbackServer images_;
};

}  // namespace

bool runCadenzoScene(const Options& options) { return CadenzoScene(options).run(); }

ADHOST_SCENE("cadenzo", 6, runCadenzoScene);

}  // namespace adhost
