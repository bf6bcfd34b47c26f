// Native ads through the facade over loopback: the answers come from the Cadenzo sandbox
// server, their pictures from a second loopback server, and the user taps the real
// buttons of the views the default view layer builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CZAPIConnection.h"
#include "CZDefaultViewController.h"
#include "CZJsonWriter.h"
#include "CZNativeInterstitialView.h"
#include "CZNativeMoreAppsView.h"
#include "CZWebImageCache.h"
#include "platform/url_connection.h"
#include "cadenzo/Cadenzo.h"
#include "platform/application.h"
#include "platform/screen.h"
#include "platform/window.h"
#include "testing/cadenzo_server.h"
#include "../session/CZSessionTest.h"
#include "CZViewTestSupport.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;
using czviews_test::contains;

class NativeFlowTest : public cztest::CZSessionTest {
 protected:
  void SetUp() override {
    cztest::CZSessionTest::SetUp();
    platform::Screen::mainScreen().setStatusBarHeight(20);
    facade->setDelegate(listener);
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
  }
  Value picture(const std::string& name, uint32_t w, uint32_t h, const Dictionary& extra = {}) {
    return czviews_test::servedPicture(images, name, w, h, extra);
  }
  static std::string json(const Dictionary& d) { return cadenzo::JSONRepresentation(Value(d)).value_or(""); }
  testkit::LoopbackServer images;
  std::shared_ptr<cztest::RecordingCadenzoDelegate> listener = std::make_shared<cztest::RecordingCadenzoDelegate>();
  std::shared_ptr<platform::Window> window;
};

TEST_F(NativeFlowTest, CachedNativeInterstitialIsShownAndClosedByItsButton) {
  server->setInterstitial(
      "Menu", json({{"status", Value(200)}, {"type", Value("native")}, {"ad_id", Value("n-1")},
                    {"link", Value("http://store.example/n")}, {"animation", Value(6)},
                    {"assets", Value(Dictionary{{"ad-portrait", picture("ad.png", 280, 400)},
                                                {"frame-portrait", picture("frame.png", 300, 440)},
                                                {"close", picture("close.png", 30, 30)}})}}));
  facade->cacheInterstitial("Menu");
  settleTraffic();
  ASSERT_TRUE(facade->hasCachedInterstitial("Menu"));
  facade->showInterstitial("Menu");
  auto impression = facade->visibleImpression();
  ASSERT_TRUE(impression);
  auto view = std::dynamic_pointer_cast<cadenzo::CZNativeInterstitialView>(impression->view());
  ASSERT_TRUE(view);
  EXPECT_TRUE(contains(window, view));
  view->layoutIfNeeded();
  view->closeButton()->simulateTap();
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didCacheInterstitial:Menu", "didDismissInterstitial:Menu",
                                                  "didCloseInterstitial:Menu"}));
  advance(0.01);  // "animation" 6: the fade out lasts 0.001 s
  runUntilIdle();
  EXPECT_FALSE(contains(window, view));
  EXPECT_EQ(impression->state(), cadenzo::CZImpressionStateIdle);
  settleTraffic();
  ASSERT_EQ(server->callsTo("show").size(), 1u);
  EXPECT_TRUE(server->callsTo("click").empty());
}

// A picture server that never finishes (silent, or sending a byte at a time) cannot hold
// a native ad in preparation: its load fails once when the pictures' deadline passes, and
// the next load is sent and caches the ad.
TEST_F(NativeFlowTest, PicturesThatNeverArriveFailTheAdAtTheirDeadline) {
  const Value close = picture("close.png", 30, 30);
  const Value frame = picture("frame.png", 300, 440);
  testkit::ScriptedAnswer stalled;
  stalled.stall = true;
  testkit::ScriptedAnswer trickling = testkit::ScriptedAnswer::text(std::string(100000, 'x'));
  trickling.trickle = std::chrono::milliseconds(5);
  struct Case { const char* name; testkit::ScriptedAnswer answer; };
  const Case cases[] = {{"stalled", stalled}, {"trickling", trickling}};
  auto answerWith = [&](const Value& ad) {
    return json({{"status", Value(200)}, {"type", Value("native")}, {"ad_id", Value("n-1")},
                 {"link", Value("http://store.example/n")},
                 {"assets", Value(Dictionary{{"ad-portrait", ad}, {"frame-portrait", frame}, {"close", close}})}});
  };
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    listener->timeline.clear();
    // A new picture each round, so neither cache can answer for it.
    const std::string path = "/slow-" + std::to_string(++round) + ".png";
    images.setAnswer(path, c.answer);
    server->setInterstitial("Menu", answerWith(czviews_test::asset(images.url(path), std::string(40, 'a'))));
    const size_t asked = images.requestsTo(path).size();
    facade->cacheInterstitial("Menu");
    settleTraffic();
    ASSERT_GT(images.requestsTo(path).size(), asked);
    advance(cadenzo::CZWebImageCache::kDownloadDeadlineSeconds - 1);
    EXPECT_EQ(listener->timeline, cztest::Timeline{});
    advance(1);
    settleTraffic();
    ASSERT_FALSE(listener->timeline.empty());
    EXPECT_EQ(listener->timeline, cztest::Timeline{"didFailToLoadInterstitial:Menu"});
    // Only the ad cached in an earlier round (if any) is there.
    EXPECT_EQ(facade->hasCachedInterstitial("Menu"), round > 1);
    settleTraffic();
    ASSERT_EQ(platform::URLConnection::liveCount(), 0);

    listener->timeline.clear();
    server->setInterstitial("Menu", answerWith(picture("ad-" + std::to_string(round) + ".png", 280, 400)));
    facade->cacheInterstitial("Menu");
    settleTraffic();
    ASSERT_FALSE(listener->timeline.empty());
    EXPECT_EQ(listener->timeline, cztest::Timeline{"didCacheInterstitial:Menu"});
  }
}

TEST_F(NativeFlowTest, MoreAppsListIsShownAndARowClicksThroughWithItsKeys) {
  platform::Application::sharedApplication().setOpenURLAnswer(true);
  Array cells{
      Value(Dictionary{{"type", Value("featured")}, {"link", Value("http://store.example/f")},
                       {"cgn", Value("cg-f")}, {"more_type", Value("hero")},
                       {"assets", Value(Dictionary{{"portrait", picture("f.png", 620, 200)}})}}),
      Value(Dictionary{{"type", Value("regular")}, {"name", Value("Orbit")}, {"text", Value("Get")},
                       {"link", Value(images.url("/orbit"))}, {"cgn", Value("cg-orbit")},
                       {"creative", Value("cr-3")}, {"more_type", Value("list")},
                       {"assets", Value(Dictionary{{"icon", picture("orbit.png", 100, 100)}})}}),
  };
  images.setAnswer("/orbit", testkit::ScriptedAnswer::text("store page"));
  server->setMoreApps(json({{"status", Value(200)}, {"type", Value("native")}, {"ad_id", Value("m-1")},
                            {"assets", Value(Dictionary{{"close", picture("close.png", 50, 30)},
                                                        {"header-portrait", picture("header.png", 320, 50)}})},
                            {"cells", Value(cells)}}));
  facade->showMoreApps();
  settleTraffic();
  ASSERT_NE(facade->visibleImpression(), nullptr);
  auto impression = facade->visibleImpression();
  auto view = std::dynamic_pointer_cast<cadenzo::CZNativeMoreAppsView>(impression->view());
  ASSERT_TRUE(view);
  EXPECT_TRUE(contains(window, view));  // where and how it enters is the presentation tests' concern
  view->layoutIfNeeded();
  EXPECT_EQ(view->titleView()->image(), view->titleImagePortrait());
  auto& table = *view->tableView();
  table.layoutIfNeeded();
  auto row = std::dynamic_pointer_cast<cadenzo::CZNativeMoreAppsRegularCell>(table.cellForRowAtIndexPath({0, 1}));
  ASSERT_TRUE(row);
  row->clickButton()->simulateTap();
  EXPECT_EQ(listener->timeline, (cztest::Timeline{"didDismissMoreApps", "didClickMoreApps"}));
  settleTraffic();
  ASSERT_EQ(server->callsTo("click").size(), 1u);
  auto call = server->callsTo("click")[0];
  EXPECT_TRUE(call.accepted()) << (call.problems.empty() ? "" : call.problems[0]) << " " << call.request.body;
  EXPECT_EQ(std::tie(call.body["type"], call.body["cgn"], call.body["creative"], call.body["more_type"]),
            std::make_tuple(Value("regular"), Value("cg-orbit"), Value("cr-3"), Value("list")));
  auto& app = platform::Application::sharedApplication();
  settleTraffic();
  ASSERT_FALSE(app.openedURLs().empty());
  EXPECT_EQ(app.openedURLs().back(), images.url("/orbit"));
  advance(0.4);
  runUntilIdle();
  EXPECT_FALSE(contains(window, view));
}

}  // namespace
