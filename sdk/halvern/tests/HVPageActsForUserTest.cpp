// A display page acts for the user (other applications, its browser, an expansion, a
// click-through, a click report) only just after the user touched the ad on screen; one touch
// leaves the ad once, and reports its click as often as the page likes while it lasts. An ad
// that is not on screen acts for nobody and pings nobody.
#include <functional>
#include <string>
#include <vector>

#include "HVAdViewInternal.h"
#include "HVClientTestSupport.h"
#include "HVFullScreenAdWindow.h"
#include "HVJavascriptBridge.h"
#include "halvern/HVAdView.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/web_view.h"

namespace halvern {
namespace {

using platform::Application;

class HVPageActsForUserTest : public testsupport::ShownBannerTest {
 protected:
  void SetUp() override {
    ShownBannerTest::SetUp();
    showBanner({"imp1"});
  }
  // The page runs `script` five times over; its navigations and commands are all delivered.
  void runFiveTimes(const std::string& script) {
    page("for (var i = 0; i < 5; i++) { " + script + " }");
    for (int turn = 0; turn < 10; ++turn) {
      runUntilIdle();
      while (internal->bridge()->poll() > 0) {
      }
    }
  }
  size_t opened(const std::string& url) {
    size_t count = 0;
    for (const auto& u : Application::sharedApplication().openedURLs()) count += u == url;
    return count;
  }
};

TEST_F(HVPageActsForUserTest, APageActsOnlyOncePerTouchAndOnlyWhileItsAdIsOnScreen) {
  // The landing page never arrives: the browser is still loading it when the ad is put back,
  // so the banner keeps the ad's own page for the cases after it, however fast the loopback.
  auto landingPage = testkit::ScriptedAnswer::text("<html><body>landing</body></html>");
  landingPage.hold = std::make_shared<testkit::AnswerHold>();
  pages.setAnswer("/landing", landingPage);
  const std::string landing = pages.url("/landing");
  auto openedCount = [this](std::string url) { return [this, url] { return opened(url); }; };
  auto expanded = [this] { return size_t(internal->isExpanded()); };
  auto collapse = [this] { internal->dismissAnimated(false); };
  struct Case {
    const char* name;
    std::string script;
    std::function<size_t()> acts;  // how many times the act took place so far
    std::function<void()> undo;    // puts the ad back in its place after an act
    size_t perTouch = 1;           // how often one touch lets the page do it
  };
  const Case cases[] = {
      {"a telephone call", "location.href = 'tel:5550100';", openedCount("tel:5550100"), {}},
      {"a text message", "location.href = 'sms:5550100';", openedCount("sms:5550100"), {}},
      {"a video call", "location.href = 'facetime:5550100';", openedCount("facetime:5550100"), {}},
      {"an application install", "location.href = 'itms-apps://apps.store.example/app/id1';",
       openedCount("itms-apps://apps.store.example/app/id1"), {}},
      {"a data link", "location.href = 'data:text/plain,hello';", openedCount("data:text/plain,hello"), {}},
      {"a store page", "location.href = 'http://apps.store.example/app/id42';",
       openedCount("http://apps.store.example/app/id42"), {}},
      {"the ad's browser", "BridgeDisplay.requestURL('" + landing + "');", expanded, collapse},
      {"an expansion", "BridgeDisplay.expand();", expanded, collapse},
      {"a click report", "location.href = 'halvern://ct/offer';", [this] { return size_t(std::stoul(page("HVDisplay.clicks.length"))); }, {}, 5},
      {"a click-through taking the screen", "BridgeDisplay.requestClickthroughWithCallback('HVDisplay.ran.push(1)');",
       [this] { return size_t(std::stoul(page("HVDisplay.ran.length"))); },
       [this] { adWindow->setIsDisplaying(false); }},
  };
  platform::LogCapture log;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = c.acts();
    // (a) Without a touch the page asks in vain, and the refusal is logged once.
    runFiveTimes(c.script);
    EXPECT_EQ(c.acts(), before);

    // (b) One touch leaves the ad once, however often the page asks; it reports every click.
    ASSERT_TRUE(tapOn(banner));
    runFiveTimes(c.script);
    EXPECT_EQ(c.acts(), before + c.perTouch);
    if (c.undo) c.undo();
    advance(platform::kUserActivationSeconds);
    ASSERT_TRUE(advanceUntil([&] { return banner->alpha() == 1 && !internal->isExpanded(); }, 5));
    const size_t afterTouch = c.acts();

    // (c) An ad hidden, or taken out of its window, right after the touch acts for nobody.
    for (bool removed : {false, true}) {
      ASSERT_TRUE(tapOn(banner));
      if (removed) banner->removeFromSuperview();
      else banner->setHidden(true);
      runFiveTimes(c.script);
      EXPECT_EQ(c.acts(), afterTouch) << (removed ? "removed" : "hidden");
      if (removed) window->addSubview(banner);
      else banner->setHidden(false);
      advance(platform::kUserActivationSeconds);
    }
  }
  size_t refusals = 0;
  for (const auto& line : log.lines())
    refusals += line.find("HVAdViewInternal: refusing a link for another application: the user did not touch") !=
                std::string::npos;
  EXPECT_EQ(refusals, 1u) << "once per page";
}

// A display page's click-through: on the user's touch it asks for the screen, and the script
// it gets back asks for the landing page. The bridge takes the page's commands on its own
// timer; the click-through goes through whatever the phase of the poll when the finger lifts,
// also behind commands the page queued before. Without a touch, or after it has lapsed, the
// page claims nothing; one touch leaves the ad one way only.
TEST_F(HVPageActsForUserTest, OneTouchCarriesAClickThroughAtEveryPhaseOfThePoll) {
  auto landingPage = testkit::ScriptedAnswer::text("<html><body>landing</body></html>");
  landingPage.hold = std::make_shared<testkit::AnswerHold>();
  pages.setAnswer("/landing", landingPage);
  const std::string landing = pages.url("/landing");
  auto clickThrough = [&](const std::string& then) {
    return "BridgeDisplay.requestClickthroughWithCallback(\"BridgeDisplay.requestURL('" + landing + "');" + then +
           "\");";
  };
  const double period = internal->bridge()->pollingIntervalForTesting().value_or(0);
  ASSERT_EQ(period, 0.5) << "a banner takes one command each half second";
  enum class Touch { kNone, kJustBefore, kLapsed };
  struct Case {
    std::string name;
    double phase;      // of the poll, when the finger lifts
    int backlog;       // commands the page queued before
    Touch touch;
    std::string then;  // what the click-through's script does after asking for the page
    size_t waysOut;    // the landing page asked for, and the telephone opened
  };
  std::vector<Case> cases;
  for (double phase : {0.0, 0.1, 0.2, 0.3, 0.4, 0.49})
    for (int backlog : {0, 8})
      cases.push_back({"phase " + std::to_string(phase) + ", backlog " + std::to_string(backlog), phase, backlog,
                       Touch::kJustBefore, "", 1});
  cases.push_back({"no touch", 0.25, 0, Touch::kNone, "", 0});
  cases.push_back({"a touch that lapsed", 0.25, 0, Touch::kLapsed, "", 0});
  cases.push_back({"a second way out on one touch", 0.25, 8, Touch::kJustBefore, " location.href = 'tel:5550100';", 1});
  auto& app = Application::sharedApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Back in place, the page's own queue empty, at the instant of a poll.
    ASSERT_TRUE(advanceUntil([&] { return banner->alpha() == 1 && !internal->isExpanded() && !adWindow->isDisplaying(); }, 120));
    advance(platform::kUserActivationSeconds);
    page("BridgeLib.log('tick');");
    ASSERT_TRUE(advanceUntil([&] { return page("g_commandQueue.length") == "0"; }, 30));
    advance(c.phase);
    page("for (var i = 0; i < " + std::to_string(c.backlog) + "; i++) BridgeLib.log('earlier');");
    const size_t asked = pages.requestsTo("/landing").size();
    const size_t opened = app.openedURLs().size();
    if (c.touch != Touch::kNone) {
      ASSERT_TRUE(tapOn(banner));
    }
    if (c.touch == Touch::kLapsed) advance(platform::kUserActivationSeconds);
    // The page's touch handler.
    page(clickThrough(c.then));
    advance(platform::kUserActivationSeconds);
    EXPECT_EQ(pages.requestsTo("/landing").size() - asked + app.openedURLs().size() - opened, c.waysOut);
    // The page's own navigation comes before the next poll brings its request for the page.
    const bool landed = c.waysOut == 1 && c.then.empty();
    EXPECT_EQ(internal->isBrowserMode(), landed);
    // A click-through that opens nothing keeps no other ad off the screen.
    if (c.waysOut == 0 || landed) {
      EXPECT_EQ(adWindow->isDisplaying(), landed);
    }
    if (internal->isExpanded()) internal->dismissAnimated(false);
  }
}

TEST_F(HVPageActsForUserTest, AnAdOffScreenReportsNoImpressionAndPingsNobody) {
  ASSERT_TRUE(advanceUntil([&] { return server.trackerHits("imp1") == 1; }, 120));
  auto& loopback = server.loopback();
  loopback.setAnswer("/ping", testkit::ScriptedAnswer::text("ok"));
  const std::string pings = "got = []; BridgeDisplay.pingURLTimeoutCallback('" + loopback.url("/ping") +
                            "', '5', 'got.push(%d)'); BridgeDisplay.pingURL('" + loopback.url("/ping") +
                            "'); BridgeDisplay.trackImpression();";
  for (bool removed : {false, true}) {
    SCOPED_TRACE(removed ? "removed" : "hidden");
    if (removed) banner->removeFromSuperview();
    else banner->setHidden(true);
    page(pings);
    while (internal->bridge()->poll() > 0) {
    }
    EXPECT_EQ(page("got.join()"), "0");
    advance(1);
    EXPECT_EQ(loopback.requestsTo("/ping").size(), 0u);
    EXPECT_EQ(server.trackerHits("imp1"), 1u);
    if (removed) window->addSubview(banner);
    else banner->setHidden(false);
  }

  // Shown again, the same page's pings and impression go out.
  page(pings);
  while (internal->bridge()->poll() > 0) {
  }
  ASSERT_TRUE(advanceUntil([&] { return page("got.join()") == "1" && server.trackerHits("imp1") == 2; }, 5));
  EXPECT_TRUE(advanceUntil([&] { return loopback.requestsTo("/ping").size() == 2; }, 5));
}

}  // namespace
}  // namespace halvern
