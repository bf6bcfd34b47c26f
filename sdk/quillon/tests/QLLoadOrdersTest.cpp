// The load engine under the orders of events a phone produces: the application resigning,
// becoming active, going to the background and back and finishing its launch, a second load,
// and the user's taps, at each step of a load. One row is one line of events; one helper
// checks after every row what must hold whatever the order: what the client put on screen
// can be closed and leaves the screen as it found it, the slot asks again within its
// interval, the host hears each load end once and the truth, a tap leads somewhere and is
// the shown ad's, and nothing outlives the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "QLTestPrinters.h"

#include "QLShownBannerTest.h"
#include "QLStatistics.h"
#include "QLViewController.h"
#include "platform/application.h"
#include "quillon/QLBannerView.h"
#include "testing/quillon_server.h"

namespace {

using testkit::QuillonServer;
using testkit::ScriptedAnswer;

constexpr double kRefresh = 30;

struct Row {
  const char* name;
  // Space-separated: load, hold (the next ad answers wait), release, fail (ad answers fail from
  // now on), +<seconds>, resign, active, background, foreground, launch, drop (the banner
  // goes), new (a banner made now), tap (the user taps the ad's link on screen), slowpage (the
  // next ad's page waits for its script until release), touch (a tap on a page that is not
  // the shown ad: it must lead nowhere). A row runs in an application that has launched and
  // is active, unless it starts with prelaunch: then the banner made before goes, and the
  // launch is the row's own.
  const char* events;
  size_t adRequests;  // ad requests the row's events make
  const char* heard;  // what the host hears, space-separated
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.events; }

class QLLoadOrdersTest : public quillon_test::QLShownBannerTest, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    QLShownBannerTest::SetUp();
    target = server.url("/target");
    server.http().setAnswer("/target", ScriptedAnswer::html("<html><body>landing</body></html>"));
    server.addClick("c");
    server.addClick("d");
    answer = ScriptedAnswer::html("<html><body><a href=\"" + target + "\">go</a></body></html>");
    answer.headers.insert(answer.headers.end(), {{"X-Quillon-Refresh-Rate", "30"},
                                                 {"X-Quillon-Tracking-Urls", server.impressionURL("i")},
                                                 {"X-Quillon-Click-Tracking-Urls", server.clickURL("c")}});
    server.http().setAnswer(QuillonServer::kAdPath, answer);
    statusBarHidden = app().isStatusBarHidden();
    idleTimerDisabled = app().isIdleTimerDisabled();
    requestsBefore = quillon::QLStatistics::sharedStatistics()->adRequestCount();
  }

  void newBanner() {
    banner = quillon::QLBannerView::create(platform::Rect(0, 0, 320, 50));
    banner->setDelegate(recorder);
    banner->setRootViewController(root);
    window->addSubview(banner);
  }

  void step(const std::string& e) {
    if (e == "load") {
      banner->loadRequest(quillon::QLRequest::request());
    } else if (e == "hold") {
      hold = std::make_shared<testkit::AnswerHold>();
      // The next ad has click trackers of its own: a tap on the one shown must not count for it.
      auto held = answer;
      held.hold = hold;
      for (auto& [name, value] : held.headers)
        if (name == "X-Quillon-Click-Tracking-Urls") value = server.clickURL("d");
      server.http().setAnswer(QuillonServer::kAdPath, held);
    } else if (e == "slowpage") {
      // The next ad's page waits for a script of its own: it is in the web view, not yet shown.
      hold = std::make_shared<testkit::AnswerHold>();
      auto script = ScriptedAnswer::text("var late = 1;");
      script.hold = hold;
      server.http().setAnswer("/slow.js", script);
      auto slow = answer;
      slow.body = "<html><head><script src=\"/slow.js\"></script></head><body><a href=\"" + target +
                  "\">go</a></body></html>";
      server.http().setAnswer(QuillonServer::kAdPath, slow);
    } else if (e == "release") {
      hold->release();
    } else if (e == "fail") {
      answer.status = 503;
      server.http().setAnswer(QuillonServer::kAdPath, answer);
    } else if (e[0] == '+') {
      advance(std::stod(e.substr(1)));
    } else if (e == "resign") {
      app().resignActive();
    } else if (e == "active") {
      app().becomeActive();
    } else if (e == "background") {
      app().enterBackground();
    } else if (e == "foreground") {
      app().enterForeground();
    } else if (e == "launch") {
      app().finishLaunchingWithOptions();
    } else if (e == "drop" || e == "prelaunch") {
      dropBanner();
    } else if (e == "new") {
      newBanner();
    } else if (e == "tap" || e == "touch") {
      platform::Event touch;
      touch.touches.push_back(std::make_shared<platform::Touch>());
      banner->webView()->hitTestWithEvent({10, 10}, &touch);
      ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting(target));
      if (e == "tap") ++taps;
    } else {
      FAIL() << "no such event " << e;
    }
    ASSERT_TRUE(settleTraffic());
  }

  void dropBanner() {
    if (!banner) return;
    webViews.push_back(banner->webView());
    banner->removeFromSuperview();
    banner.reset();
  }

  size_t adRequests() const { return server.requestsTo(QuillonServer::kAdPath).size(); }
  size_t count(const std::string& event) const {
    return static_cast<size_t>(std::count(recorder->events.begin(), recorder->events.end(), event));
  }
  std::string heard() const {
    std::string all;
    for (const auto& e : recorder->events) all += (all.empty() ? "" : " ") + e;
    return all;
  }

  // What holds after any order of events.
  void checkInvariants() {
    ASSERT_TRUE(settleTraffic());
    // A tap leads somewhere: to a page of the client, with the shown ad's click counted, and
    // never the banner itself to the landing page.
    auto page = std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController());
    EXPECT_EQ(page != nullptr, taps > 0) << "a tap opens one page, nothing else does";
    EXPECT_EQ(server.requestsTo("/click/c").size(), page ? 1u : 0u);
    EXPECT_TRUE(server.requestsTo("/click/d").empty());
    if (banner && !banner->webView()->isHidden()) {
      EXPECT_TRUE(banner->webView()->currentDocumentIsGivenMarkup())
          << "the banner went to " << banner->webView()->request()->url();
    }
    // Every screen can be closed, and the screen is then as the host left it.
    std::weak_ptr<platform::ViewController> weakPage = page;
    if (page) {
      page->relinquishScreen();
      page.reset();
      advance(1);
    }
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(app().isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app().isIdleTimerDisabled(), idleTimerDisabled);
    EXPECT_EQ(count("willPresent"), count("didDismiss"));
    // The host hears each load end once, and the truth: every load that started ended in one
    // message, the banner's state says the same as the last, and each ad shown sent its
    // impression once.
    const auto started = quillon::QLStatistics::sharedStatistics()->adRequestCount() - requestsBefore;
    std::vector<std::string> ends;
    std::copy_if(recorder->events.begin(), recorder->events.end(), std::back_inserter(ends),
                 [](const std::string& e) { return e == "receive" || e.rfind("fail", 0) == 0; });
    const size_t ended = ends.size();
    if (banner) {
      EXPECT_EQ(ended, static_cast<size_t>(started));
    }
    EXPECT_EQ(server.requestsTo("/impression/i").size(), count("receive"));
    if (banner && !ends.empty()) {
      const int state = banner->stateForTesting();
      EXPECT_EQ(state == 6, ends.back() == "receive") << "state " << state;
    }
    // The slot comes back: active, with nothing of the client on screen, the banner asks
    // again within one interval.
    if (banner && ended > 0 && app().applicationState() == platform::ApplicationState::Active) {
      const size_t asked = adRequests();
      advance(kRefresh + 1);
      ASSERT_TRUE(settleTraffic());
      EXPECT_GT(adRequests(), asked) << "the slot did not come back";
    }
    // Nothing outlives its screen: the page, and the banner's engine once the host lets go.
    dropBanner();
    window.reset();
    advance(1);
    ASSERT_TRUE(settleTraffic());
    EXPECT_TRUE(weakPage.expired());
    for (const auto& webView : webViews) EXPECT_TRUE(webView.expired());
  }

  // Made afresh for every test: never kept across the sandbox's reset.
  static platform::Application& app() { return platform::Application::sharedApplication(); }
  std::string target;
  ScriptedAnswer answer;
  std::shared_ptr<testkit::AnswerHold> hold;
  std::vector<std::weak_ptr<platform::WebView>> webViews;  // of the banners let go
  size_t taps = 0;
  bool statusBarHidden = false;
  bool idleTimerDisabled = false;
  int64_t requestsBefore = 0;
};

TEST_P(QLLoadOrdersTest, HoldsWhateverTheOrder) {
  const Row& row = GetParam();
  if (std::string(row.events).rfind("prelaunch", 0) != 0) {
    app().finishLaunchingWithOptions();
    app().becomeActive();
  }
  std::istringstream events(row.events);
  for (std::string e; events >> e;) {
    SCOPED_TRACE(e);
    step(e);
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(adRequests(), row.adRequests);
  EXPECT_EQ(heard(), row.heard);
  checkInvariants();
}

INSTANTIATE_TEST_SUITE_P(
    LoadEngineAndLifeCycle, QLLoadOrdersTest,
    ::testing::Values(
        // The refresh, and the application leaving and coming back.
        Row{"RefreshDueWhileInactiveRunsOnReturn", "load +20 resign +15 active", 2, "receive receive"},
        Row{"RefreshDueWhileInactiveThenBackground", "load +20 resign +15 background +60 foreground", 1, "receive"},
        Row{"RefreshDueWhileInactiveTwice", "load +20 resign +15 active +5 resign +40 active", 3,
            "receive receive receive"},
        Row{"HostLoadWhileInactiveStaysIgnored", "load resign load +1 active", 1, "receive"},
        Row{"BackgroundPausesTheRefresh", "load +20 background +60 foreground +29", 1, "receive"},
        Row{"ResignWhileTheAdDownloads", "hold load resign release +40 active", 2, "receive receive"},
        Row{"BackgroundWhileTheAdDownloads", "hold load background release +60 foreground", 1, "receive"},
        Row{"RefreshMeetsALoadHeldWhileInactive", "load hold +30 resign +10 release active", 2, "receive receive"},
        // Launch: only a load before it finished goes ahead in the background.
        Row{"BackgroundLoadBeforeLaunchProceeds", "prelaunch background new load", 1, "receive"},
        Row{"BackgroundLoadOfABannerMadeAfterLaunch", "prelaunch launch active background new load +60", 0, ""},
        Row{"InactiveLoadOfABannerMadeAfterLaunch", "prelaunch launch new load active", 0, ""},
        Row{"LoadAfterLaunchOnceBackOnScreen", "prelaunch launch active background new load foreground load", 1,
            "receive"},
        // A second load.
        Row{"SecondLoadWhileTheAdDownloads", "hold load load release", 1, "receive"},
        Row{"SecondLoadOnceShown", "load load", 2, "receive receive"},
        Row{"SecondLoadMeetsTheRefresh", "load +29 hold load +2 release", 2, "receive receive"},
        // The host lets the banner go while its ad downloads: nobody hears of it any more.
        Row{"DroppedWhileTheAdDownloads", "hold load drop release +60", 1, ""},
        Row{"DroppedWhileInactive", "load resign +15 drop +30 active", 1, "receive"},
        // The user's tap on the ad on screen while the next one loads, or after it failed.
        Row{"TapOnTheShownAd", "load +1 tap", 1, "receive willPresent"},
        Row{"TapWhileTheNextAdDownloads", "load hold +30 tap release", 2, "receive willPresent receive"},
        Row{"TapAfterTheRefreshFailed", "load fail +30 tap", 2, "receive fail 3 willPresent"},
        Row{"TouchWhileTheNextAdIsPutInPlace", "load slowpage +30 touch release", 2, "receive receive"}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
