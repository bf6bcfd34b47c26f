// Orders of events around the client's full-screen pages: a banner's pages and its opener,
// and an interstitial with its window takeover, crossed with the application's life cycle,
// the host's own presentations and a second load. Each row is one line of events; whatever
// their order, checkOrders then holds the client to what must hold after any of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "QLBrowserController.h"
#include "QLInterstitialAppController.h"
#include "QLHeardEvents.h"
#include "QLScreenTest.h"
#include "QLStatistics.h"
#include "QLViewController.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/device.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/singleton.h"
#include "platform/user_defaults.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"
#include "testing/explorer.h"
#include "testing/quillon_server.h"

namespace {

using quillon::QLViewController;
using testkit::QuillonServer;

using Heard = quillon_test::HeardEvents;
constexpr const char* kBackgroundTasks = "UIApplication.beginBackgroundTaskWithExpirationHandler:";

// What a row expects beyond the invariants: how many stays of the client's pages the host
// hears of, the tracking URLs fetched by id, the URLs handed to the system, and whether the
// host lets its ad go while a page is up (it then hears nothing more of it).
struct Expect {
  int stays = 1;
  std::map<std::string, size_t> hits;
  std::vector<std::string> opened;
  bool letGo = false;
};

class QLPageOrdersTest : public quillon_test::QLScreenTest {
 protected:
  static constexpr double kRefresh = 10;

  void SetUp() override {
    QLScreenTest::SetUp();
    window->addSubview(game);
    watchPages();
  }
  // Every page of the client, as it comes on screen.
  void watchPages() {
    platform::NotificationCenter::defaultCenter().addObserver(
        this, quillon::kQLWillPresentFullScreenNotification, nullptr, [this](const platform::Notification&) {
          for (auto c = root->presentedViewController(); c; c = c->presentedViewController())
            if (auto page = std::dynamic_pointer_cast<QLViewController>(c)) pages.push_back(page);
        });
  }
  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    QLScreenTest::TearDown();
  }

  struct Screen {
    std::set<platform::View*> views;
    bool statusBarHidden;
    bool idleTimerDisabled;
    bool operator==(const Screen&) const = default;
  };
  Screen screen() const {
    Screen s{{}, app().isStatusBarHidden(), app().isIdleTimerDisabled()};
    for (const auto& v : window->subviews()) s.views.insert(v.get());
    return s;
  }
  static platform::Application& app() { return platform::Application::sharedApplication(); }

  // The client's pages on screen, from the first.
  std::vector<std::shared_ptr<QLViewController>> shownPages() const {
    std::vector<std::shared_ptr<QLViewController>> shown;
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController())
      if (auto page = std::dynamic_pointer_cast<QLViewController>(c)) shown.push_back(page);
    return shown;
  }
  std::shared_ptr<QLViewController> topPage() const {
    auto shown = shownPages();
    return shown.empty() ? nullptr : shown.back();
  }
  std::shared_ptr<platform::WebView> topWebView() const {
    auto page = topPage();
    return page ? page->pageWebView() : nullptr;
  }
  // The user taps `url` on the page of `web`, and whatever it opens slides in.
  void tapLink(const std::shared_ptr<platform::WebView>& web, const std::string& url) {
    ASSERT_TRUE(web);
    ASSERT_TRUE(web->tapLinkWithURLForTesting(url)) << url;
    advance(1);
  }
  // The script of the first page on screen says `message`.
  void firstPageSays(const std::string& message) {
    auto shown = shownPages();
    ASSERT_FALSE(shown.empty());
    auto web = shown.front()->pageWebView();
    ASSERT_TRUE(web);
    web->stringByEvaluatingJavaScriptFromString("location.href = 'qmsg:///" + message + "';");
    advance(1);
  }
  void hostPresents() {
    root->presentModalViewControllerAnimated(host, true);
    advance(1);
  }
  void hostDismisses() {
    root->dismissModalViewControllerAnimated(true);
    advance(1);
  }
  // The host takes its ad off the screen and lets it go.
  template <typename Ad>
  void letGo(std::shared_ptr<Ad>& ad) {
    if constexpr (std::is_base_of_v<platform::View, Ad>) ad->removeFromSuperview();
    ad.reset();
    advance(1);
  }
  void trip(bool background) {
    if (background) {
      app().enterBackground();
      advance(60);
      app().enterForeground();
    } else {
      app().resignActive();
      advance(1);
    }
  }

  // Whether a touch that hit `hit` lands on `view`.
  static bool landsOn(const std::shared_ptr<platform::View>& hit, const std::shared_ptr<platform::View>& view) {
    return hit && (hit == view || hit->isDescendantOfView(view));
  }
  // The user's finger on the middle of `control`: whether it lands there.
  bool reaches(const std::shared_ptr<platform::View>& control) {
    if (!control) return false;
    const auto size = control->bounds().size;
    return landsOn(window->tapAtPoint(control->convertPointToView({size.width / 2, size.height / 2}, window)), control);
  }

  // The six invariants, once the row's events have run and the user closed what was left.
  void checkOrders(const Expect& expect, const std::function<void()>& slotComesBack) {
    // 1. Whatever is up has a close control the user's finger reaches, and closing it ends the stay.
    while (auto page = topPage()) {
      if (auto webApp = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(page)) {
        ASSERT_TRUE(reaches(webApp->closeButton())) << "no close button within reach";
      } else if (auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(page)) {
        ASSERT_TRUE(reaches(browser->toolbar()) && browser->buttons().done->tap()) << "no toolbar within reach";
      } else {
        FAIL() << "a page without a close control";
      }
      page.reset();
      advance(1);
    }
    if (app().applicationState() != platform::ApplicationState::Active) app().becomeActive();
    advance(3);  // the dismissals, and the web-app pages' web views let go
    EXPECT_EQ(screen(), before) << "the window, status bar and idle timer as the host left them";
    // 3. Each stay is heard of once, in order; 6. and nothing failed.
    std::vector<std::string> stays, expected;
    for (const auto& e : heard->seen)
      if (e == "willPresent" || e == "willDismiss" || e == "didDismiss") stays.push_back(e);
    for (int i = 0; i < expect.stays; ++i) {
      expected.push_back("willPresent");
      if (!expect.letGo) expected.insert(expected.end(), {"willDismiss", "didDismiss"});
    }
    EXPECT_EQ(stays, expected);
    EXPECT_TRUE(std::none_of(heard->seen.begin(), heard->seen.end(),
                             [](const std::string& e) { return e.rfind("fail", 0) == 0; }));
    // The host hears of a leaving for each link the phone had an application for, and only then.
    const auto& handed = app().openedURLs();
    const auto left = std::count_if(handed.end() - static_cast<long>(app().openURLCalls() - openedBefore), handed.end(),
                                    [](const std::string& url) { return app().canOpenURL(url); });
    EXPECT_EQ(std::count(heard->seen.begin(), heard->seen.end(), "willLeave"), expect.letGo ? 0 : left);
    // 4. Each tap reached its end, counted for the ad tapped.
    for (const auto& [id, n] : expect.hits) EXPECT_EQ(server.requestsTo("/impression/" + id).size(), n) << id;
    const auto& opened = app().openedURLs();
    EXPECT_EQ(app().openURLCalls() - openedBefore, expect.opened.size());
    EXPECT_TRUE(opened.size() >= expect.opened.size() &&
                std::equal(expect.opened.begin(), expect.opened.end(), opened.end() - expect.opened.size()));
    // 5. No page outlives its stay.
    for (const auto& page : pages) EXPECT_TRUE(page.expired()) << "a page still alive";
    // 2. The slot comes back.
    slotComesBack();
  }

  std::shared_ptr<Heard> heard = std::make_shared<Heard>();
  std::shared_ptr<platform::View> game = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
  std::shared_ptr<platform::ViewController> host = platform::ViewController::create();
  std::vector<std::weak_ptr<QLViewController>> pages;
  Screen before;
  size_t openedBefore = 0;
};

TEST_F(QLPageOrdersTest, ABannersPagesEndTheirStayHoweverTheyLeave) {
  const std::string landing = server.url("/landing/t");
  server.addClick("t");
  server.setClickRedirect("store", "itms://store");
  const std::string clickToStore = server.clickURL("store");
  const std::string webApp = server.url("/app");
  const std::string browserLink = "qmsg:///open?a=browser&u=" + landing;
  const std::string webAppLink = "qmsg:///open?a=webapp&u=" + webApp;
  const std::string innerLink = "qmsg:///open?a=webapp&html=%3Chtml%3Einner%3C/html%3E";
  testkit::ScriptedAnswer appPage;
  appPage.headers = {{"Content-Type", "text/html"}};
  appPage.body = "<html><body><a href=\"" + innerLink + "\">more</a></body></html>";
  server.http().setAnswer("/app", appPage);

  std::shared_ptr<quillon::QLBannerView> banner;
  auto tapBanner = [&](const std::string& url) {
    // A finger on the shown banner, then on its link.
    window->addSubview(banner);
    window->touchDownAtPoint({5, 5});
    window->touchUpAtPoint({5, 5});
    advance(0.2);
    tapLink(banner->webView(), url);
  };
  struct Row {
    const char* name;
    std::function<void()> events;
    Expect expect;
  };
  const Row rows[] = {
      {"a page's script closes it under the page it opened",
       [&] { tapBanner(webAppLink), tapLink(topWebView(), innerLink), firstPageSays("close"); },
       {1, {{"ct", 2}}, {}}},
      {"a page's script closes it while the page it opened still slides in",
       [&] { tapBanner(webAppLink), topWebView()->tapLinkWithURLForTesting(innerLink), advance(0.1), firstPageSays("close"); },
       {1, {{"ct", 2}}, {}}},
      {"the host dismisses what its root presents under the browser",
       [&] { tapBanner(browserLink), hostDismisses(); }, {1, {{"ct", 1}}, {}}},
      {"the host dismisses its own screen under the browser",
       [&] { hostPresents(), tapBanner(browserLink), hostDismisses(); }, {1, {{"ct", 1}}, {}}},
      {"the host dismisses what its root presents under two pages",
       [&] { tapBanner(webAppLink), tapLink(topWebView(), innerLink), hostDismisses(); }, {1, {{"ct", 2}}, {}}},
      {"the application goes to the background and back under the browser",
       [&] { tapBanner(browserLink), trip(true); }, {1, {{"ct", 1}}, {}}},
      {"the application is inactive when the browser closes",
       [&] { tapBanner(browserLink), trip(false); }, {1, {{"ct", 1}}, {}}},
      {"the host loads the banner again under the browser",
       [&] {
         tapBanner(browserLink);
         banner->loadRequest(quillon::QLRequest::request());
         ASSERT_TRUE(advanceUntil([&] { return std::count(heard->seen.begin(), heard->seen.end(), "receive") == 2; }, 5));
       },
       {1, {{"ct", 1}}, {}}},
      {"a click address leads on to another application", [&] { tapBanner(clickToStore); },
       {1, {{"ct", 1}}, {"itms://store"}}},
      {"the host lets the banner go under the browser", [&] { tapBanner(browserLink), letGo(banner); },
       {1, {{"ct", 1}}, {}, true}},
      {"the browser opens outside while a click tracker runs, without background tasks",
       [&] {
         platform::Device::currentDevice().setMultitaskingSupported(false);
         platform::Runtime::setAvailable(kBackgroundTasks, false);
         testkit::ScriptedAnswer stall;
         stall.stall = true;
         server.http().setAnswer("/impression/ct", stall);
         tapBanner(browserLink);
         auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(topPage());
         ASSERT_TRUE(browser && browser->buttons().safari->tap());
         advance(1);  // past the opener's tries
       },
       {1, {{"ct", 1}}, {landing}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server.setAdAnswer("<html><body><a href=\"" + browserLink + "\">b</a><a href=\"" + webAppLink +
                           "\">w</a><a href=\"" + clickToStore + "\">s</a></body></html>",
                       {{"X-Quillon-Refresh-Rate", "10"},
                        {"X-Quillon-Click-Tracking-Urls", server.impressionURL("ct")}});
    server.http().clearRequests();
    platform::Device::currentDevice().setMultitaskingSupported(true);
    platform::Runtime::setAvailable(kBackgroundTasks, true);
    before = screen();
    heard->seen.clear();
    pages.clear();
    openedBefore = app().openURLCalls();
    banner = quillon::QLBannerView::create(platform::Rect(0, 0, 320, 50));
    banner->setDelegate(heard);
    banner->setRootViewController(root);
    banner->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return banner->stateForTesting() == 6; }));
    row.events();
    if (banner) banner->removeFromSuperview();
    checkOrders(row.expect, [&] {
      if (!banner) return;
      const size_t asked = server.requestsTo(QuillonServer::kAdPath).size();
      advance(kRefresh + 1);
      EXPECT_GT(server.requestsTo(QuillonServer::kAdPath).size(), asked) << "no refresh after the last page";
    });
    banner.reset();
  }
}

TEST_F(QLPageOrdersTest, AnInterstitialsPageAndTakeoverHoldWhateverComesBetween) {
  auto adOf = [&](const std::string& id) {
    server.setAdAnswer("<html><body><a href=\"itms://" + id + "\">" + id + "</a><a href=\"nowhere://" + id +
                           "\">x</a></body></html>",
                       {{"X-Quillon-Tracking-Urls", server.impressionURL("i" + id)},
                        {"X-Quillon-Click-Tracking-Urls", server.impressionURL("c" + id)}});
  };
  std::shared_ptr<quillon::QLInterstitial> interstitial;
  auto present = [&] {
    interstitial->presentFromRootViewController(root);
    advance(0.5);
  };
  auto loadB = [&] {
    adOf("B");
    interstitial->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return interstitial->isReady() && server.requestsTo("/impression/iB").size() == 1; }));
  };
  auto leaving = [&](bool leaves) { app().setOpenURLLeavesApplication(leaves); };
  auto takeOver = [&] {
    interstitial->loadAndDisplayRequestUsingWindowInitialImage(quillon::QLRequest::request(), window, nullptr);
  };
  // The ad arrives and stays up a while.
  auto arrives = [&] {
    ASSERT_TRUE(runUntil([&] { return std::count(heard->seen.begin(), heard->seen.end(), "receive") == 1; }));
    advance(10);
  };
  // The host's own presentation still slides in when the ad arrives; the host takes it back later.
  auto hostPresentsWhileItArrives = [&] {
    root->presentModalViewControllerAnimated(host, true);
    ASSERT_TRUE(runUntil([&] { return !heard->seen.empty(); }));
    EXPECT_TRUE(game->window() && !app().isStatusBarHidden()) << "the window is given back at once";
    advance(1);
    hostDismisses();
  };
  struct Row {
    const char* name;
    bool loaded;  // ready before the row's events
    std::function<void()> events;
    Expect expect;
  };
  const Row rows[] = {
      {"a second present while the first page is up", true, [&] { present(), present(); }, {1, {{"iA", 2}}, {}}},
      {"a tap on the shown ad once the next one is ready", true,
       [&] { present(), loadB(), tapLink(topWebView(), "itms://A"); },
       {1, {{"cA", 1}, {"cB", 0}, {"iA", 2}}, {"itms://A"}}},
      {"the host dismisses what its root presents", true, [&] { present(), hostDismisses(), present(); },
       {2, {{"iA", 3}}, {}}},
      {"the application goes to the background and back", true, [&] { present(), trip(true); }, {1, {{"iA", 2}}, {}}},
      {"a tap on the shown ad leaves for another application and comes back", true,
       [&] { present(), leaving(true), tapLink(topWebView(), "itms://A"), leaving(false), trip(true); },
       {1, {{"cA", 1}, {"iA", 2}}, {"itms://A"}}},
      {"a tap on a link no application on the phone opens", true,
       [&] { present(), tapLink(topWebView(), "nowhere://A"); }, {1, {{"cA", 1}, {"iA", 2}}, {"nowhere://A"}}},
      {"the host presents the ready ad as its own screen slides out", true,
       [&] { hostPresents(), root->dismissModalViewControllerAnimated(true), present(), advance(1); },
       {1, {{"iA", 2}}, {}}},
      {"the host lets the interstitial go while its page is up", true, [&] { present(), letGo(interstitial); },
       {1, {{"iA", 2}}, {}, true}},
      {"a takeover's ad arrives while the host's own presentation runs", false,
       [&] { takeOver(), hostPresentsWhileItArrives(); }, {0, {{"iA", 1}}, {}}},
      {"the host dismisses a takeover's page", false, [&] { takeOver(), arrives(), hostDismisses(); },
       {1, {{"iA", 2}}, {}}},
      {"a second takeover while the first holds the window", false, [&] { takeOver(), takeOver(), arrives(); },
       {1, {{"iA", 2}}, {}}},
      {"the host lets go of a takeover's interstitial while its page is up", false,
       [&] { takeOver(), arrives(), letGo(interstitial); }, {1, {{"iA", 2}}, {}}},
      {"a takeover started as the application comes back", false,
       [&] {
         app().finishLaunchingWithOptions();
         app().enterBackground();
         advance(60);
         auto& center = platform::NotificationCenter::defaultCenter();
         center.addObserver(&interstitial, platform::kApplicationWillEnterForegroundNotification, nullptr,
                            [&](const platform::Notification&) { takeOver(); });
         app().enterForeground();
         center.removeObserver(&interstitial);
         arrives();
       },
       {1, {{"iA", 2}}, {}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    adOf("A");
    server.http().clearRequests();
    before = screen();
    heard->seen.clear();
    pages.clear();
    openedBefore = app().openURLCalls();
    interstitial = quillon::QLInterstitial::create();
    interstitial->setDelegate(heard);
    if (row.loaded) {
      interstitial->loadRequest(quillon::QLRequest::request());
      ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
    }
    row.events();
    checkOrders(row.expect, [&] {
      if (!interstitial) return;
      interstitial->loadRequest(quillon::QLRequest::request());
      EXPECT_TRUE(runUntil([&] { return interstitial->isReady(); })) << "no load after the last page";
    });
    interstitial.reset();
  }
}

// The words of a row the explorer draws, and how often: a banner and an interstitial, the
// user's taps on their pages and links, the host's own screens and its letting go, and the
// application's life cycle, on systems with and without background tasks; a relaunch with what
// is stored; and the host acting from inside the next message it hears (in…: it lets the ad go,
// loads its interstitial, presents or dismisses its own screen; it presents its interstitial
// from inside the next word that it is ready).
const testkit::ExplorerWord kPageWords[] = {
    {"banner", 2},   {"tap", 3},       {"webapp", 2},     {"inner", 1},    {"pageclose", 1}, {"done", 2},
    {"safari", 1},   {"store", 1},     {"nowhere", 1},    {"hostpresents", 1}, {"hostdismisses", 1},
    {"resign", 1},   {"active", 1},    {"background", 1}, {"foreground", 1}, {"letgo", 1},
    {"interstitial", 2}, {"present", 2}, {"takeover", 1}, {"adtap", 1},    {"dropad", 1},
    {"nobgtasks", 1}, {"mail", 1},     {"relaunch", 0.5}, {"inletgo", 0.5}, {"inpresent", 0.5}, {"inload", 0.5},
    {"inhost", 0.5},
};

class QLPageExplorerTest : public QLPageOrdersTest {
 protected:
  void SetUp() override {
    QLPageOrdersTest::SetUp();
    landing = server.url("/landing/t");
    server.addClick("t");
    server.setClickRedirect("store", "itms://store");
    testkit::ScriptedAnswer appPage;
    appPage.headers = {{"Content-Type", "text/html"}};
    appPage.body = "<html><body><a href=\"" + innerLink + "\">more</a></body></html>";
    server.http().setAnswer("/app", appPage);
    server.setAdAnswer("<html><body><a href=\"" + browserLink() + "\">b</a><a href=\"" + webAppLink() + "\">w</a><a href=\"" +
                           server.clickURL("store") + "\">s</a><a href=\"itms://ad\">a</a><a href=\"nowhere://ad\">n</a><a href=\"mailto:ad@example.com\">m</a></body></html>",
                       {{"X-Quillon-Refresh-Rate", "10"}, {"X-Quillon-Click-Tracking-Urls", server.impressionURL("ct")}});
  }
  std::string browserLink() const { return "qmsg:///open?a=browser&u=" + landing; }
  std::string webAppLink() const { return "qmsg:///open?a=webapp&u=" + server.url("/app"); }

  // The user's finger on the shown banner's link, when the banner is shown and nothing covers it.
  void tapBannerLink(const std::string& url) {
    if (!banner || !banner->window() || banner->stateForTesting() != 6) return;
    // Only a finger that reaches the banner: a screen over it takes the touch.
    if (!landsOn(window->hitTestWithEvent({5, 5}, nullptr), banner)) return;
    window->tapAtPoint({5, 5});
    advance(0.2);
    if (banner && banner->webView()) banner->webView()->tapLinkWithURLForTesting(url);
  }
  // Only a finger that reaches the page: a screen over it, or a page on its way out, takes no touch.
  void tapTopPage(const std::string& url) {
    auto web = topWebView();
    auto on = web ? web->window() : nullptr;
    if (!on) return;
    const auto size = web->bounds().size;
    if (landsOn(on->hitTestWithEvent(web->convertPointToView({size.width / 2, size.height / 2}, nullptr), nullptr), web))
      web->tapLinkWithURLForTesting(url);
  }

  void step(const std::string& e) {
    auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(topPage());
    if (!e.empty() && (std::isdigit(static_cast<unsigned char>(e[0])) || e[0] == '.')) {
      advance(std::stod(e));
    } else if (e == "banner" && !banner) {
      banner = quillon::QLBannerView::create(platform::Rect(0, 0, 320, 50));
      banner->setDelegate(hearing(bannerHeard));
      banner->setRootViewController(root);
      // Over the game, under any screen presented over it.
      if (game->superview() == window) {
        window->insertSubviewAboveSubview(banner, game);
      } else {
        window->insertSubviewAtIndex(banner, 0);
      }
      banner->loadRequest(quillon::QLRequest::request());
    } else if (e == "tap") {
      tapBannerLink(browserLink());
    } else if (e == "webapp") {
      tapBannerLink(webAppLink());
    } else if (e == "store") {
      tapBannerLink(server.clickURL("store"));
    } else if (e == "inner" && std::dynamic_pointer_cast<quillon::QLWebAppViewController>(topPage())) {
      tapTopPage(innerLink);
    } else if (e == "pageclose" && !shownPages().empty()) {
      if (auto web = shownPages().front()->pageWebView()) web->stringByEvaluatingJavaScriptFromString("location.href = 'qmsg:///close';");
    } else if (e == "done" && browser) {
      browser->buttons().done->tap();
    } else if (e == "safari" && browser) {
      browser->buttons().safari->tap();
    } else if (e == "adtap" || e == "nowhere") {
      if (std::dynamic_pointer_cast<quillon::QLWebAppViewController>(topPage())) tapTopPage(e == "adtap" ? "itms://ad" : "nowhere://ad");
    } else if (e == "hostpresents" && !root->presentedViewController()) {
      root->presentModalViewControllerAnimated(host, true);
    } else if (e == "hostdismisses") {
      root->dismissModalViewControllerAnimated(true);
    } else if (e == "resign" && app().applicationState() == platform::ApplicationState::Active) {
      app().resignActive();
    } else if (e == "active" && app().applicationState() == platform::ApplicationState::Inactive) {
      app().becomeActive();
    } else if (e == "background" && app().applicationState() != platform::ApplicationState::Background) {
      app().enterBackground();
    } else if (e == "foreground" && app().applicationState() == platform::ApplicationState::Background) {
      app().enterForeground();
    } else if (e == "letgo" && banner) {
      letGo(banner);
      bannerHeard->letGo = true;
    } else if (e == "interstitial" && !interstitial) {
      interstitial = quillon::QLInterstitial::create();
      interstitial->setDelegate(hearing(adHeard));
      interstitial->loadRequest(quillon::QLRequest::request());
    } else if (e == "present" && interstitial) {
      interstitial->presentFromRootViewController(root);
    } else if (e == "takeover" && !interstitial) {
      interstitial = quillon::QLInterstitial::create();
      interstitial->setDelegate(hearing(adHeard));
      adHeard->takeover = true;
      interstitial->loadAndDisplayRequestUsingWindowInitialImage(quillon::QLRequest::request(), window, nullptr);
    } else if (e == "dropad" && interstitial) {
      letGo(interstitial);
      adHeard->letGo = true;
    } else if (e == "mail") {
      if (std::dynamic_pointer_cast<quillon::QLWebAppViewController>(topPage())) {
        tapTopPage(kMail);
      } else {
        tapBannerLink(kMail);
      }
    } else if (e == "relaunch") {
      relaunch();
    } else if (e == "inletgo" || e == "inpresent" || e == "inload" || e == "inhost") {
      inside.push_back(e);
    } else if (e == "nobgtasks") {
      platform::Device::currentDevice().setMultitaskingSupported(false);
      platform::Runtime::setAvailable(kBackgroundTasks, false);
    }
  }

  // What each ad's host heard of its stays: every willPresent followed by its dismissal,
  // unless the host let the ad go meanwhile.
  // What one ad's host heard, and whether it let that ad go.
  struct AdHeard : Heard {
    bool letGo = false;
    bool takeover = false;
    std::function<void(AdHeard&)> react;
    void note(const std::string& event) override {
      Heard::note(event);
      if (react) react(*this);
    }
  };
  std::shared_ptr<AdHeard> hearing(std::shared_ptr<AdHeard>& current) {
    current = everyAd.emplace_back(std::make_shared<AdHeard>());
    current->react = [this](AdHeard& ad) { actInside(ad); };
    return current;
  }
  // The host acts from inside the message it hears, without waiting for the turn to end: the
  // first of the actions the row queued that fits the ad that spoke.
  void actInside(AdHeard& ad) {
    if (inside.empty()) return;
    const std::string action = inside.front();
    const bool ofBanner = &ad == bannerHeard.get() && banner;
    // The host presents its interstitial from where it hears it is ready.
    const bool ofAd = &ad == adHeard.get() && interstitial && (action != "inpresent" || ad.seen.back() == "receive");
    if (action != "inhost" && !((action == "inletgo" && ofBanner) || ofAd)) return;
    // Taken before it runs: what it does may make the ad speak again, inside this.
    inside.erase(inside.begin());
    if (action == "inletgo" && ofBanner) {
      banner->removeFromSuperview();
      banner.reset();
      ad.letGo = true;
    } else if (action == "inletgo" && ofAd) {
      interstitial.reset();
      ad.letGo = true;
    } else if (action == "inpresent" && ofAd) {
      interstitial->presentFromRootViewController(root);
    } else if (action == "inload" && ofAd) {
      interstitial->loadRequest(quillon::QLRequest::request());
    } else if (root->presentedViewController()) {
      root->dismissModalViewControllerAnimated(true);
    } else {
      root->presentModalViewControllerAnimated(host, true);
    }
  }

  // The process ends with whatever was up, as a phone ends it (the application hears it will
  // terminate; then nothing of it runs on), and starts again with what it stored: the host
  // makes its window afresh. What the ads of the old process did is judged as of ads let go.
  void relaunch() {
    app().terminate();
    for (const auto& ad : everyAd) ad->letGo = true;
    inside.clear();
    banner.reset();
    interstitial.reset();
    // What the process held goes with it: its screens leave the window, and what waited on
    // them (a takeover's time-out) ends, so that nothing of it is left behind in memory.
    for (int i = 0; i < 5 && root->presentedViewController(); ++i) {
      root->dismissModalViewControllerAnimated(false);
      advance(1);
    }
    advance(quillon::QLInterstitialAppController::kMaximumTimeout + 1);
    const platform::Dictionary stored = counters();
    leftEarlier += leftSince(openedBefore);
    pages.clear();
    ended.insert(ended.end(), {window, root, host, game});
    drainWorkers(2.0);
    platform::resetForTesting();
    platform::NotificationCenter::defaultCenter().resetForTesting();
    platform::RunLoop::main().resetForTesting();
    platform::UserDefaults::standardUserDefaults().reloadForTesting();
    quillon_test::useServer(server);
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    root = platform::ViewController::create();
    host = platform::ViewController::create();
    game = std::make_shared<platform::View>(platform::Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    window->addSubview(game);
    watchPages();
    app().finishLaunchingWithOptions();
    app().becomeActive();
    before = screen();
    openedBefore = app().openURLCalls();
    // Stored state is neither lost nor doubled: the counters read back as they were.
    EXPECT_EQ(counters(), stored) << "the statistics across a relaunch";
  }
  static void checkStays(const AdHeard& h) {
    const bool letGo = h.letGo;
    const char* ad = "an ad";
    // A stay is of an ad the host has heard of; but a takeover's own delegate is told of its ad
    // first and presents it at once, so its host may hear the stay begin before the ad.
    const auto received = std::find(h.seen.begin(), h.seen.end(), "receive");
    EXPECT_TRUE(h.takeover || std::find(h.seen.begin(), received, "willPresent") == received)
        << ad << " heard a stay of an ad it never received";
    std::vector<std::string> stays;
    for (const auto& e : h.seen)
      if (e == "willPresent" || e == "willDismiss" || e == "didDismiss") stays.push_back(e);
    for (size_t i = 0; i < stays.size(); ++i) {
      static const char* kCycle[] = {"willPresent", "willDismiss", "didDismiss"};
      if (stays[i] != kCycle[i % 3]) {
        ADD_FAILURE() << ad << " heard " << stays[i] << " out of turn";
        return;
      }
    }
    EXPECT_TRUE(letGo || stays.size() % 3 == 0) << ad << " heard a stay begin and never end";
  }

 public:
  void playRow(const std::string& row) {
    app().finishLaunchingWithOptions();
    app().becomeActive();
    platform::Device::currentDevice().setMultitaskingSupported(true);
    platform::Runtime::setAvailable(kBackgroundTasks, true);
    before = screen();
    openedBefore = app().openURLCalls();
    std::istringstream events(row);
    for (std::string e; events >> e;) {
      SCOPED_TRACE(e);
      step(e);
      advance(0);
      if (testkit::explorerFatalFailure()) return;
    }
    // The user closes what is still up through its own controls, and the application is back;
    // the host does no more than the row had it do.
    inside.clear();
    if (app().applicationState() == platform::ApplicationState::Background) app().enterForeground();
    if (app().applicationState() == platform::ApplicationState::Inactive) app().becomeActive();
    advance(30);
    checkPages();
  }

 private:
  void hostDismissesIfOwn() { hostDismisses(); }
  // The invariants that do not depend on what the row expects.
  void checkPages();

  // How many of the links handed to the system since `from` calls the phone could open.
  static size_t leftSince(size_t from) {
    const auto& handed = app().openedURLs();
    return static_cast<size_t>(std::count_if(handed.end() - static_cast<long>(app().openURLCalls() - from), handed.end(),
                                             [](const std::string& url) { return app().canOpenURL(url); }));
  }
  // The statistics' counters and flags (the timings start afresh in each process).
  static platform::Dictionary counters() {
    const auto all = quillon::QLStatistics::sharedStatistics()->snapshotParameters();
    platform::Dictionary kept;
    for (const char* key : {"preqs", "pcc", "plpnc", "plpsnc", "pcbo", "aoi_timedout", "aoi_nofill"})
      if (auto value = all.find(key)) kept.set(key, *value);
    return kept;
  }

  static constexpr const char* kMail = "mailto:ad@example.com";
  std::vector<std::string> inside;  // what the host does inside the next messages it hears
  std::vector<std::shared_ptr<void>> ended;  // what the process before the last relaunch held
  size_t leftEarlier = 0;  // the links the phone opened before the last relaunch
  std::string landing;
  const std::string innerLink = "qmsg:///open?a=webapp&html=%3Chtml%3Einner%3C/html%3E";
  std::vector<std::shared_ptr<AdHeard>> everyAd;  // what the host heard of each ad it made
  std::shared_ptr<AdHeard> bannerHeard = std::make_shared<AdHeard>();
  std::shared_ptr<AdHeard> adHeard = std::make_shared<AdHeard>();
  std::shared_ptr<quillon::QLBannerView> banner;
  std::shared_ptr<quillon::QLInterstitial> interstitial;
};

void QLPageExplorerTest::checkPages() {
  // The user closes what is up from the top down, each through its own control. The mail
  // composer is the system's screen, not one of the client's pages: the host hears no stay of
  // it and the refresh goes on under it; the user cancels it when it is on top.
  for (int closed = 0; closed < 10; ++closed) {
    std::shared_ptr<platform::ViewController> top;
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController()) top = c;
    if (auto composer = std::dynamic_pointer_cast<platform::MailComposeViewController>(top)) {
      composer->finishWithResult(platform::MailComposeResult::Cancelled);
      advance(1);
      continue;
    }
    auto page = topPage();
    if (!page) break;
    auto webApp = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(page);
    auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(page);
    auto control = webApp ? webApp->closeButton() : browser ? std::static_pointer_cast<platform::View>(browser->toolbar()) : nullptr;
    ASSERT_TRUE(control) << "a page without a close control";
    ASSERT_TRUE(reaches(control)) << "a close control out of reach";
    if (browser) browser->buttons().done->tap();
    page.reset();
    advance(1);
  }
  if (root->presentedViewController() == host) hostDismissesIfOwn();
  advance(3);
  // The host takes its banner off last: a takeover gives the window back with the banner in it.
  if (banner) banner->removeFromSuperview();
  // Compared part by part: a failure names what differs, not where the views live.
  const Screen now = screen();
  EXPECT_TRUE(now.views == before.views) << "the window's views as the host left them";
  EXPECT_EQ(now.statusBarHidden, before.statusBarHidden) << "the status bar as the host left it";
  EXPECT_EQ(now.idleTimerDisabled, before.idleTimerDisabled) << "the idle timer as the host left it";
  bool anyLetGo = false;
  for (const auto& ad : everyAd) {
    checkStays(*ad);
    anyLetGo = anyLetGo || ad->letGo;
    heard->seen.insert(heard->seen.end(), ad->seen.begin(), ad->seen.end());
  }
  for (const auto& e : heard->seen) EXPECT_NE(e.rfind("fail", 0), 0u) << e;
  const auto left = leftEarlier + leftSince(openedBefore);
  const auto leaves = static_cast<size_t>(std::count(heard->seen.begin(), heard->seen.end(), "willLeave"));
  if (anyLetGo) {
    EXPECT_LE(leaves, left);
  } else {
    EXPECT_EQ(leaves, left) << "a leaving heard for each link the phone opened";
  }
  for (const auto& page : pages) EXPECT_TRUE(page.expired()) << "a page still alive";
  // A banner that never had an ad (loaded in the background after launch) has no slot to keep.
  if (banner && std::count(bannerHeard->seen.begin(), bannerHeard->seen.end(), "receive")) {
    const size_t asked = server.requestsTo(QuillonServer::kAdPath).size();
    advance(kRefresh + 1);
    EXPECT_GT(server.requestsTo(QuillonServer::kAdPath).size(), asked) << "no refresh after the last page";
  }
}

// The orders the explorer found wrong once, each in a world of its own.
TEST(QLPageOrdersFound, HoldAsAnyOrder) {
  const char* rows[] = {
      "banner resign tap takeover done",
      "banner webapp resign takeover pageclose",
      "hostpresents interstitial dropad takeover",
      "interstitial banner webapp present 1 pageclose",
      "banner takeover letgo",
      "banner mail letgo",
      "banner mail 0.1 tap",
      "hostpresents 0.1 banner webapp tap tap hostdismisses interstitial present",
      "hostpresents takeover present 1 banner mail letgo hostdismisses",
      "interstitial present 1 mail pageclose",
      "takeover 0.3 mail 0.3 hostdismisses present",
      "interstitial present 1 mail pageclose present",
      "banner hostpresents interstitial 0.1 tap present 1 hostdismisses",
      "inload takeover",
      "interstitial present 1 inload inpresent pageclose",
      "takeover 10 hostdismisses 10 inletgo present",
      "takeover 0.3 mail present present pageclose",
      "takeover dropad mail interstitial 0.3 present pageclose",
      "banner mail takeover present 30 hostdismisses 0.01 mail present",
  };
  for (const char* row : rows) {
    SCOPED_TRACE(row);
    testkit::freshFixture<QLPageExplorerTest>()(row);
  }
}

// The words drawn in any order, in a fresh world each time.
TEST(QLPageExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kPageWords), std::end(kPageWords));
  vocabulary.waitWeight = 4;
  // About 5 s of one core in the default build (35 s a thousand, 60 on a busy core).
  vocabulary.suiteRuns = 150;
  testkit::Explorer("Quillon pages", vocabulary, testkit::freshFixture<QLPageExplorerTest>()).run();
}

}  // namespace
