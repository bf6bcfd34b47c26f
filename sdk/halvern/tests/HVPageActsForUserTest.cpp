// A display page acts beyond its ad (other applications, its browser, an expansion, a
// click-through, a click report) only just after the user touched the ad on screen, once
// per touch; an ad that is not on screen acts for nobody and pings nobody.
#include <functional>

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
      {"a click report", "location.href = 'halvern://ct/offer';", [this] { return size_t(std::stoul(page("HVDisplay.clicks.length"))); }, {}},
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

    // (b) One touch, one act, however often the page asks.
    ASSERT_TRUE(tapOn(banner));
    runFiveTimes(c.script);
    EXPECT_EQ(c.acts(), before + 1);
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
