// The load engine under the orders of events a phone produces: the application resigning,
// becoming active, going to the background and back and finishing its launch, a second load,
// and the user's taps, at each step of a load. One row is one line of events; one helper
// checks after every row what must hold whatever the order: what the client put on screen
// can be closed and leaves the screen as it found it, the slot asks again within its
// interval, the host hears each load end once and the truth, a tap leads somewhere and is
// the shown ad's, and nothing outlives the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <sstream>

#include "QLTestPrinters.h"

#include "QLShownBannerTest.h"
#include "QLStatistics.h"
#include "QLViewController.h"
#include "QLBrowserController.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "quillon/QLBannerView.h"
#include "testing/explorer.h"
#include "testing/quillon_server.h"

namespace {

using testkit::QuillonServer;
using testkit::ScriptedAnswer;

constexpr double kRefresh = 30;
// The words of a row the explorer draws, and how often.
const testkit::ExplorerWord kWords[] = {
    {"load", 3},       {"hold", 2},       {"slowpage", 2}, {"release", 3}, {"fail", 1}, {"resign", 1},
    {"active", 1},     {"background", 1}, {"foreground", 1}, {"drop", 1},  {"new", 1},  {"tap", 3},
    {"close", 2},
};

struct Row {
  const char* name;
  // Space-separated: load, hold (the next ad answers wait), release (the oldest answer held),
  // fail (ad answers fail from now on), <seconds> or +<seconds>, resign, active, background, foreground, launch, drop (the banner
  // goes), new (a banner made now), tap (the user taps the ad's link on screen), slowpage (the
  // next ad's page waits for its script until release), touch (a tap on a page that is not
  // the shown ad: it must lead nowhere), close (the user closes the page on top with its own
  // control). Words that cannot happen in the state reached do nothing. A row runs in an application that has launched and
  // is active, unless it starts with prelaunch: then the banner made before goes, and the
  // launch is the row's own.
  const char* events;
  size_t adRequests;  // ad requests the row's events make
  const char* heard;  // what the host hears, space-separated
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.events; }

class QLLoadOrdersTest : public quillon_test::QLShownBannerTest, public ::testing::WithParamInterface<Row> {
 protected:
  // Notes when the last ad appeared.
  struct TimedRecorder : quillon_test::BannerRecorder {
    double at = -1e9;
    void adViewDidReceiveAd(const std::shared_ptr<quillon::QLBannerView>& b) override {
      BannerRecorder::adViewDidReceiveAd(b);
      at = platform::Clock::current().monotonic();
    }
  };

  void SetUp() override {
    QLShownBannerTest::SetUp();
    recorder = received;
    banner->setDelegate(recorder);
    target = server.url("/target");
    server.http().setAnswer("/target", ScriptedAnswer::html("<html><body>landing</body></html>"));
    server.addClick("c");
    server.addClick("d");
    answer = ScriptedAnswer::html(page("c", ""));
    answer.headers.insert(answer.headers.end(), {{"X-Quillon-Refresh-Rate", "30"},
                                                 {"X-Quillon-Tracking-Urls", server.impressionURL("i")},
                                                 {"X-Quillon-Click-Tracking-Urls", server.clickURL("c")}});
    server.http().setAnswer(QuillonServer::kAdPath, answer);
    statusBarHidden = app().isStatusBarHidden();
    idleTimerDisabled = app().isIdleTimerDisabled();
    requestsBefore = quillon::QLStatistics::sharedStatistics()->adRequestCount();
  }

  // An ad's page: its click tracker's name in its title, so a tap knows whose page it met.
  std::string page(const std::string& click, const std::string& head) const {
    return "<html><head><title>" + click + "</title>" + head + "</head><body><a href=\"" + target +
           "\">go</a></body></html>";
  }

  void newBanner() {
    heardBefore = recorder->events.size();
    received->at = -1e9;
    banner = quillon::QLBannerView::create(platform::Rect(0, 0, 320, 50));
    banner->setDelegate(recorder);
    banner->setRootViewController(root);
    // In the host's own layer, under any screen presented over it.
    window->insertSubviewAtIndex(banner, 0);
  }

  void step(const std::string& e) {
    if (e == "load") {
      if (banner) banner->loadRequest(quillon::QLRequest::request());
    } else if (e == "hold") {
      // The next ad has click trackers of its own: a tap on the one shown must not count for it.
      auto held = answer;
      held.hold = holds.emplace_back(std::make_shared<testkit::AnswerHold>());
      held.body = page("d", "");
      for (auto& [name, value] : held.headers)
        if (name == "X-Quillon-Click-Tracking-Urls") value = server.clickURL("d");
      server.http().setAnswer(QuillonServer::kAdPath, held);
    } else if (e == "slowpage") {
      // The next ad's page waits for a script of its own: it is in the web view, not yet shown.
      auto script = ScriptedAnswer::text("var late = 1;");
      script.hold = holds.emplace_back(std::make_shared<testkit::AnswerHold>());
      server.http().setAnswer("/slow.js", script);
      auto slow = answer;
      slow.body = page("d", "<script src=\"/slow.js\"></script>");
      for (auto& [name, value] : slow.headers)
        if (name == "X-Quillon-Click-Tracking-Urls") value = server.clickURL("d");
      server.http().setAnswer(QuillonServer::kAdPath, slow);
    } else if (e == "release") {
      auto held = std::find_if(holds.begin(), holds.end(), [](const auto& h) { return !h->isReleased(); });
      if (held != holds.end()) (*held)->release();
    } else if (e == "fail") {
      answer.status = 503;
      server.http().setAnswer(QuillonServer::kAdPath, answer);
    } else if (e[0] == '+' || std::isdigit(static_cast<unsigned char>(e[0]))) {
      advance(std::stod(e.substr(e[0] == '+' ? 1 : 0)));
    } else if (e == "resign") {
      if (state() == platform::ApplicationState::Active) app().resignActive();
    } else if (e == "active") {
      if (state() == platform::ApplicationState::Inactive) app().becomeActive();
    } else if (e == "background") {
      if (state() != platform::ApplicationState::Background) app().enterBackground();
    } else if (e == "foreground") {
      if (state() == platform::ApplicationState::Background) app().enterForeground();
    } else if (e == "launch") {
      app().finishLaunchingWithOptions();
    } else if (e == "drop" || e == "prelaunch") {
      dropBanner();
    } else if (e == "new") {
      if (!banner) newBanner();
    } else if (e == "tap") {
      // A finger on the banner, when it is the view on top, then on the link of the page it shows.
      if (!banner || state() != platform::ApplicationState::Active) return;
      auto hit = window->tapAtPoint({10, 10});
      auto web = banner->webView();
      if (!hit || !(hit == web || hit->isDescendantOfView(web))) return;
      // A tap in the instant an ad appears is too soon to be its click, one while the next
      // ad's page is put in place is nobody's, and one while the page of a tap before slides
      // in is that tap's: each leads nowhere.
      const bool tooSoon = clock().monotonic() - received->at < kMinimumTapDelay ||
                           banner->stateForTesting() == kPuttingInPlace || root->presentedViewController();
      const std::string seen = banner->webView()->stringByEvaluatingJavaScriptFromString("document.title");
      if (banner->webView()->tapLinkWithURLForTesting(target)) taps.push_back(tooSoon ? "" : seen);
    } else if (e == "touch") {
      platform::Event touch;
      touch.touches.push_back(std::make_shared<platform::Touch>());
      banner->webView()->hitTestWithEvent({10, 10}, &touch);
      ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting(target));
    } else if (e == "close") {
      closeTopPage();
    } else {
      FAIL() << "no such event " << e;
    }
    ASSERT_TRUE(settleTraffic());
  }

  // The user closes the page on top through its own control, once a finger can reach it; at
  // the end of a row it must.
  void closeTopPage(bool mustReach = false) {
    auto top = root->presentedViewController();
    while (top && top->presentedViewController()) top = top->presentedViewController();
    auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(top);
    auto webApp = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(top);
    std::shared_ptr<platform::View> control;
    if (browser) control = browser->toolbar();
    if (webApp) control = webApp->closeButton();
    if (!control) return;
    auto hit = window->tapAtPoint(
        control->convertPointToView({control->bounds().size.width / 2, control->bounds().size.height / 2}, window));
    const bool reached = hit && (hit == control || hit->isDescendantOfView(control));
    if (!reached && !mustReach) return;
    ASSERT_TRUE(reached) << "the page's close control is out of reach";
    if (browser) {
      EXPECT_TRUE(browser->buttons().done->tap());
    }
  }

  void dropBanner() {
    if (!banner) return;
    dropped = true;
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
    // What the row left running ends: held answers go out and deadlines pass.
    for (const auto& h : holds) h->release();
    advance(kDeadline);
    if (state() == platform::ApplicationState::Background) app().enterForeground();
    if (state() == platform::ApplicationState::Inactive) app().becomeActive();
    ASSERT_TRUE(settleTraffic());
    // A tap leads somewhere: to one page of the client, with the click of the ad the user saw
    // counted, and never the banner itself to the landing page.
    auto page = std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController());
    EXPECT_EQ(count("willPresent"), taps.size() - static_cast<size_t>(std::count(taps.begin(), taps.end(), "")))
        << "a tap opens one page, nothing else does";
    for (const char* click : {"c", "d"})
      EXPECT_EQ(server.requestsTo(std::string("/click/") + click).size(),
                static_cast<size_t>(std::count(taps.begin(), taps.end(), click)))
          << "clicks of " << click;
    if (banner && !banner->webView()->isHidden()) {
      EXPECT_TRUE(banner->webView()->currentDocumentIsGivenMarkup())
          << "the banner went to " << banner->webView()->request()->url();
    }
    // Every screen can be closed, and the screen is then as the host left it.
    std::weak_ptr<platform::ViewController> weakPage = page;
    page.reset();
    while (root->presentedViewController()) {
      auto top = root->presentedViewController();
      advance(1);  // a page still sliding in
      closeTopPage(true);
      advance(1);
      if (root->presentedViewController() == top) break;
    }
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(app().isStatusBarHidden(), statusBarHidden);
    EXPECT_EQ(app().isIdleTimerDisabled(), idleTimerDisabled);
    // Each stay is heard to its end, unless the host let go of the banner meanwhile.
    EXPECT_LE(count("didDismiss"), count("willPresent"));
    if (banner) {
      EXPECT_EQ(std::count(recorder->events.begin() + static_cast<long>(heardBefore), recorder->events.end(), "willPresent"),
                std::count(recorder->events.begin() + static_cast<long>(heardBefore), recorder->events.end(), "didDismiss"));
    }
    // The host hears each load end once, and the truth: every load that started ended in one
    // message, the banner's state says the same as the last, and each ad shown sent its
    // impression once.
    const auto started = quillon::QLStatistics::sharedStatistics()->adRequestCount() - requestsBefore;
    std::vector<std::string> ends;
    std::copy_if(recorder->events.begin(), recorder->events.end(), std::back_inserter(ends),
                 [](const std::string& e) { return e == "receive" || e.rfind("fail", 0) == 0; });
    const size_t ended = ends.size();
    if (banner && !dropped) {
      EXPECT_EQ(ended, static_cast<size_t>(started));
    }
    EXPECT_EQ(server.requestsTo("/impression/i").size(), count("receive"));
    if (banner && recorder->events.size() > heardBefore) {
      const auto last = std::find_if(recorder->events.rbegin(), recorder->events.rend() - static_cast<long>(heardBefore),
                                     [](const std::string& e) { return e == "receive" || e.rfind("fail", 0) == 0; });
      const int state = banner->stateForTesting();
      if (last != recorder->events.rend() - static_cast<long>(heardBefore)) {
        EXPECT_EQ(state == 6, *last == "receive") << "state " << state;
      }
    }
    // The slot comes back: with nothing of the client on screen, a banner that has had an ad
    // (and so knows its interval) asks again within one interval.
    const bool knowsInterval =
        std::count(recorder->events.begin() + static_cast<long>(heardBefore), recorder->events.end(), "receive") > 0;
    if (banner && knowsInterval) {
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
  static platform::ApplicationState state() { return app().applicationState(); }

 public:
  // Plays a row's words in an application launched and active, then checks what must hold.
  void playRow(const std::string& row) {
    app().finishLaunchingWithOptions();
    app().becomeActive();
    std::istringstream events(row);
    for (std::string e; events >> e;) {
      SCOPED_TRACE(e);
      step(e);
      if (testkit::explorerFatalFailure()) return;
    }
    checkInvariants();
  }

 protected:
  // An answer or a page's script the client waits for no longer than this.
  static constexpr double kDeadline = 21;
  static constexpr double kMinimumTapDelay = 0.15;
  static constexpr int kPuttingInPlace = 5;
  size_t heardBefore = 0;  // what the host heard before the banner it holds now was made
  std::shared_ptr<TimedRecorder> received = std::make_shared<TimedRecorder>();
  std::string target;
  ScriptedAnswer answer;
  std::vector<std::shared_ptr<testkit::AnswerHold>> holds;  // one for each answer held
  std::vector<std::weak_ptr<platform::WebView>> webViews;  // of the banners let go
  std::vector<std::string> taps;  // the ad the user saw at each tap
  bool dropped = false;
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
        Row{"TouchWhileTheNextAdIsPutInPlace", "load slowpage +30 touch release", 2, "receive receive"},
        Row{"TimeOutWhileTheNextAdIsPutInPlace", "load slowpage 30 21 tap", 2, "receive receive willPresent"},
        Row{"TapInTheInstantTheNextAdAppears", "load 30 tap", 2, "receive receive"},
        Row{"TapInTheInstantTheAdAppearsOnceTheNextFailed", "load fail load tap", 2, "receive fail 3"}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// The words drawn in any order, in a fresh world each time.
TEST(QLLoadExplorer, ExploresOrders) {
  testkit::ExplorerVocabulary vocabulary;
  vocabulary.words.assign(std::begin(kWords), std::end(kWords));
  vocabulary.waitWeight = 4;
  // About 10 s of one core in the default build (18 s on a busy one).
  vocabulary.suiteRuns = 300;
  testkit::Explorer("Quillon loads", vocabulary, testkit::freshFixture<QLLoadOrdersTest>(),
                    [](const std::string& events) { return "Row{\"\", \"" + events + "\", ...},"; })
      .run();
}

}  // namespace
