// The session facade and impressions over real HTTP against the Cadenzo sandbox server,
// with the view layer stood in for (see CadenzoTestDoubles.h).
#include <gtest/gtest.h>

#include <algorithm>

#include "CZImpression.h"
#include "cadenzo/Cadenzo.h"
#include "platform/composers.h"
#include "CadenzoTestDoubles.h"
#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/runtime.h"
#include "platform/url.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "CZSessionTest.h"

namespace {

using cadenzo::CZImpression;
using platform::Dictionary;
using platform::Value;
using testkit::ScriptedAnswer;

class FacadeTest : public cztest::CZSessionTest {
 protected:
  void SetUp() override {
    cztest::CZSessionTest::SetUp();
    factory = std::make_shared<cztest::FakeViewFactory>();
    cadenzo::CZViewFactory::setShared(factory);
    presenter = std::make_shared<cztest::RecordingPresenter>(timeline);
    facade->setPresentationController(presenter);
    delegate = std::make_shared<cztest::RecordingCadenzoDelegate>(timeline);
    facade->setDelegate(delegate);
  }
  void TearDown() override {
    cadenzo::CZViewFactory::setShared(nullptr);
    cztest::CZSessionTest::TearDown();
  }
  // Waits until the answer of a load built a view and prepared it.
  std::shared_ptr<cztest::FakeAdView> preparedView(size_t count) {
    settleTraffic();
    EXPECT_TRUE(factory->made.size() >= count && factory->last() && factory->last()->prepared);
    return factory->last();
  }
  void waitForCalls(size_t n) {
    settleTraffic();
    ASSERT_TRUE(server->callCount() >= n && facade->connectionForTesting()->activeConnectionCountForTesting() == 0);
  }
  // Caches an interstitial at `location` and returns its view.
  std::shared_ptr<cztest::FakeAdView> cached(const std::string& location) {
    size_t made = factory->made.size();
    facade->cacheInterstitial(location);
    auto view = preparedView(made + 1);
    view->fireDisplay();
    EXPECT_TRUE(facade->hasCachedInterstitial(location));
    return view;
  }
  // Shows an interstitial at `location` straight from the server and returns its displayed view.
  std::shared_ptr<cztest::FakeAdView> displayed(const std::string& location) {
    size_t made = factory->made.size();
    facade->showInterstitial(location);
    auto view = preparedView(made + 1);
    view->fireDisplay();
    return view;
  }
  std::shared_ptr<CZImpression> shownImpression() { return presenter->shown.empty() ? nullptr : presenter->shown.back(); }
  cztest::Timeline timeline;
  std::shared_ptr<cztest::FakeViewFactory> factory;
  std::shared_ptr<cztest::RecordingPresenter> presenter;
  std::shared_ptr<cztest::RecordingCadenzoDelegate> delegate;
};

TEST_F(FacadeTest, SessionsAreCountedAndAnnounced) {
  facade->startSession();
  facade->startSession();
  waitForCalls(2);
  EXPECT_EQ(platform::UserDefaults::standardUserDefaults().integerForKey("CZSessionCountKey"), 2);
  auto installs = server->callsTo("install");
  ASSERT_EQ(installs.size(), 2u);
  for (const auto& c : installs) EXPECT_TRUE(c.accepted()) << c.problems.front();
}

TEST_F(FacadeTest, FirstSessionRuleDependsOnTheDelegatesAnswer) {
  struct Case { std::optional<bool> answer; int sessions; bool loads; };
  for (Case c : std::vector<Case>{{false, 1, false}, {false, 2, true}, {true, 1, true}, {std::nullopt, 1, true},
                                  {std::nullopt, 0, true}}) {
    SCOPED_TRACE(::testing::Message() << c.sessions << " " << (c.answer ? int(*c.answer) : -1));
    delegate->answers.clear();
    if (c.answer) delegate->answers["shouldRequestInterstitialsInFirstSession"] = *c.answer;
    platform::UserDefaults::standardUserDefaults().setIntegerForKey(c.sessions, "CZSessionCountKey");
    server->clearCalls();
    facade->cacheInterstitial("A");
    facade->showInterstitial("B");
    if (c.loads) waitForCalls(2);
    runUntilIdle();
    EXPECT_EQ(server->callsTo("get").size(), c.loads ? 2u : 0u);
  }
}

TEST_F(FacadeTest, CachedInterstitialIsShownOnceWithOneShowCall) {
  delegate->answers = {{"shouldRequestInterstitial", true}, {"shouldDisplayInterstitial", true}};
  auto view = cached("Level end");
  waitForCalls(1);
  auto gets = server->callsTo("get");
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_TRUE(gets[0].accepted());
  EXPECT_EQ(gets[0].body["location"], Value("Level end"));
  EXPECT_EQ(gets[0].body["cache"], Value("1"));
  EXPECT_EQ(view->kind, cadenzo::CZViewFactory::Kind::HTML);
  EXPECT_EQ(facade->cachedInterstitialForTesting("Level end")->state(), cadenzo::CZImpressionStateCached);
  facade->showInterstitial("Level end");
  EXPECT_FALSE(facade->hasCachedInterstitial("Level end"));
  waitForCalls(2);
  EXPECT_EQ(server->callsTo("show").size(), 1u);
  ASSERT_TRUE(shownImpression());
  EXPECT_EQ(shownImpression()->state(), cadenzo::CZImpressionStateShown);
  EXPECT_EQ(facade->visibleImpression(), shownImpression());
  EXPECT_EQ(timeline, (cztest::Timeline{"shouldRequestInterstitial:Level end", "didCacheInterstitial:Level end",
                                        "shouldDisplayInterstitial:Level end", "displayInterstitial"}));
  // A later display callback of the page changes nothing.
  view->fireDisplay();
  EXPECT_EQ(presenter->shown.size(), 1u);
}

TEST_F(FacadeTest, CacheExpiresAfterOneDay) {
  cached("Default");
  advance(86399);
  EXPECT_TRUE(facade->hasCachedInterstitial());
  advance(1);
  EXPECT_FALSE(facade->hasCachedInterstitial());
  EXPECT_TRUE(facade->cachedInterstitialForTesting("Default"));  // stays, but counts as absent
  facade->showInterstitial();
  preparedView(2)->fireDisplay();
  waitForCalls(2);
  auto gets = server->callsTo("get");
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_FALSE(gets[1].body.dictionary().contains("cache"));
  EXPECT_EQ(server->callsTo("show").size(), 0u);
  EXPECT_EQ(presenter->shown.size(), 1u);
}

TEST_F(FacadeTest, RefusalsStopLoadsAndShows) {
  delegate->answers = {{"shouldRequestInterstitial", false}};
  facade->showInterstitial("X");
  runUntilIdle();
  EXPECT_EQ(server->callCount(), 0u);
  delegate->answers = {{"shouldDisplayInterstitial", false}};
  cached("X");
  facade->showInterstitial("X");
  EXPECT_TRUE(facade->hasCachedInterstitial("X"));
  EXPECT_TRUE(presenter->shown.empty());
  waitForCalls(1);
  EXPECT_EQ(server->callsTo("show").size(), 0u);
}

TEST_F(FacadeTest, EveryLoadFailureEndsInOneFailureCallback) {
  struct Case { const char* name; std::function<void()> arrange; bool viewFails = false; };
  auto answer = [this](std::string b) { return [this, b] { server->scriptNext("get", ScriptedAnswer::json(b)); }; };
  std::vector<Case> cases = {
      {"status as text", answer("{\"status\":\"200\",\"link\":\"http://x/\",\"html\":\"<p>\"}")},
      {"no status", answer("{\"link\":\"http://x/\",\"html\":\"<p>\"}")},
      {"no link", answer("{\"status\":200,\"html\":\"<p>\"}")},
      {"no html", answer("{\"status\":200,\"link\":\"http://x/\"}")},
      {"server error", [this] { server->scriptNext("get", ScriptedAnswer::json("{}", 500)); }},
      {"silence", [this] { server->scriptNext("get", cztest::silence()); }},
      {"offline", [] { platform::Reachability::setNetwork(platform::Reachability::Network::None); }},
      {"view fails", [] {}, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    timeline.clear();
    c.arrange();
    size_t made = factory->made.size();
    facade->showInterstitial("L");
    if (std::string(c.name) == "silence") {
      settleTraffic();
      ASSERT_TRUE(facade->connectionForTesting()->activeConnectionCountForTesting() == 1 && server->callCount() > 0);
      advance(30);
    }
    if (c.viewFails) preparedView(made + 1)->fireFail();
    settleTraffic();
    ASSERT_FALSE(timeline.empty());
    EXPECT_EQ(timeline, cztest::Timeline{"didFailToLoadInterstitial:L"});
    EXPECT_TRUE(presenter->shown.empty());
    platform::Reachability::setNetwork(platform::Reachability::Network::WiFi);
    server->clearCalls();
  }
}

// A close, the force-dismiss notification or a click ends a shown interstitial: the notices
// first, then the dismissal; a click then puts up the loading view until its target opened.
TEST_F(FacadeTest, ShownInterstitialEndsWithItsNoticesThenTheDismissal) {
  server->setInterstitial("L", "{\"status\":200,\"html\":\"<p>\",\"itunes_id\":\"42\","
                               "\"link\":\"itms-apps://apps.store.example/app/id42\"}");
  platform::Runtime::setAvailable("SKStoreProductViewController", false);
  const cztest::Timeline closed = {"didDismissInterstitial:L", "didCloseInterstitial:L", "dismissInterstitial"};
  const auto forceDismiss = [] {
    platform::NotificationCenter::defaultCenter().postNotificationName("CZForceDismissViewNotification");
  };
  forceDismiss();  // nothing shown: nothing to end
  EXPECT_TRUE(timeline.empty());
  struct Case { const char* name; std::function<void(cztest::FakeAdView&)> end; cztest::Timeline expected; };
  const Case cases[] = {
      {"close", [](cztest::FakeAdView& v) { v.fireClose(); }, closed},
      {"notification", [&](cztest::FakeAdView&) { forceDismiss(); }, closed},
      {"click", [](cztest::FakeAdView& v) { v.fireClick(std::nullopt, std::nullopt); },
       {"didDismissInterstitial:L", "didClickInterstitial:L", "dismissInterstitial", "displayLoadingView"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto view = displayed("L");
    timeline.clear();
    c.end(*view);
    EXPECT_EQ(timeline, c.expected);
    EXPECT_FALSE(facade->visibleImpression());
  }
  auto& app = platform::Application::sharedApplication();
  settleTraffic();
  ASSERT_FALSE(app.openedURLs().empty());
  EXPECT_EQ(app.openedURLs().back(), "itms-apps://apps.store.example/app/id42");
  EXPECT_EQ(timeline.back(), "dismissLoadingView");
  ASSERT_EQ(server->callsTo("click").size(), 1u);
  EXPECT_TRUE(server->callsTo("click")[0].accepted());
  // Closed or clicked again while it is being dismissed: the two notices only; no second
  // dismissal, overlay or click call.
  const Case again[] = {
      {"close while leaving", [](cztest::FakeAdView& v) { v.fireClose(); },
       {"didDismissInterstitial:L", "didCloseInterstitial:L"}},
      {"click while leaving", [](cztest::FakeAdView& v) { v.fireClick(std::nullopt, std::nullopt); },
       {"didDismissInterstitial:L", "didClickInterstitial:L"}},
  };
  for (const auto& c : again) {
    SCOPED_TRACE(c.name);
    timeline.clear();
    c.end(*factory->last());
    runUntilIdle();
    EXPECT_EQ(timeline, c.expected);
  }
  settleTraffic();
  EXPECT_EQ(server->callsTo("click").size(), 1u);
}

TEST_F(FacadeTest, OfflineClickDoesNotLeaveTheLoadingViewUp) {
  auto view = displayed("L");
  platform::Reachability::setNetwork(platform::Reachability::Network::None);
  view->fireClick(std::nullopt, std::nullopt);
  runUntilIdle();
  EXPECT_FALSE(presenter->loading);
  EXPECT_EQ(server->callsTo("click").size(), 0u);
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
}

// The loading view is shown only when the delegate asks for it, and comes down however the
// show ends, also when the delegate declines the list on arrival.
TEST_F(FacadeTest, MoreAppsShowTakesItsLoadingViewDownHoweverItEnds) {
  const std::string L = "shouldDisplayLoadingViewForMoreApps", D = "shouldDisplayMoreApps";
  struct Case {
    const char* name;
    std::map<std::string, bool> answers;
    std::function<void()> arrange;
    bool built;  // a view is made, and displays
    cztest::Timeline expected;
  };
  const Case cases[] = {
      {"shown", {{L, true}, {D, true}}, [] {}, true,
       {L, "displayLoadingView", D, "dismissLoadingView", "displayMoreApps"}},
      {"declined on arrival", {{L, true}, {D, false}}, [] {}, true, {L, "displayLoadingView", D, "dismissLoadingView"}},
      {"no delegate answer", {}, [] {}, true, {"displayMoreApps"}},
      {"offline", {{L, true}}, [] { platform::Reachability::setNetwork(platform::Reachability::Network::None); }, false,
       {"didFailToLoadMoreApps"}},
      {"refused by the server", {{L, true}},
       [this] { server->scriptNext("more", ScriptedAnswer::json("{\"status\":404}")); }, false,
       {L, "displayLoadingView", "dismissLoadingView", "didFailToLoadMoreApps"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    timeline.clear();
    presenter->shown.clear();
    delegate->answers = c.answers;
    c.arrange();
    const size_t made = factory->made.size();
    facade->showMoreApps();
    if (c.built) preparedView(made + 1)->fireDisplay();
    settleTraffic();
    ASSERT_GE(timeline.size(), c.expected.size());
    EXPECT_EQ(timeline, c.expected);
    EXPECT_FALSE(presenter->loading);
    EXPECT_EQ(bool(facade->visibleImpression()), c.expected.back() == "displayMoreApps");
    if (auto shown = facade->visibleImpression()) {
      EXPECT_EQ(shown->type(), cadenzo::CZImpressionTypeMoreApps);
      EXPECT_FALSE(shown->location());
      EXPECT_FALSE(server->callsTo("more").back().body.dictionary().contains("cache"));
      factory->last()->fireClose();
    }
    platform::Reachability::setNetwork(platform::Reachability::Network::WiFi);
  }
}

TEST_F(FacadeTest, CachedMoreAppsAreShownOnceWithoutTheLoadingView) {
  delegate->answers = {{"shouldDisplayLoadingViewForMoreApps", true}, {"shouldDisplayMoreApps", true}};
  facade->cacheMoreApps();
  auto view = preparedView(1);
  EXPECT_EQ(view->kind, cadenzo::CZViewFactory::Kind::NativeMoreApps);
  EXPECT_EQ(view->preparedWith.get("ad_id"), Value("more-1"));
  view->fireDisplay();
  EXPECT_TRUE(facade->cachedMoreAppsForTesting());
  facade->showMoreApps();
  EXPECT_FALSE(facade->cachedMoreAppsForTesting());
  EXPECT_EQ(timeline, (cztest::Timeline{"didCacheMoreApps", "shouldDisplayMoreApps", "displayMoreApps"}));
  waitForCalls(1);
  EXPECT_EQ(server->callsTo("more").at(0).body["cache"], Value("1"));
}

// Answers that never end well: each fails its load once, by the watchdog's delay at the
// latest (the default 30 s here, on the manual clock), leaves no connection behind, and the
// next load goes out and loads.
TEST_F(FacadeTest, AnswersThatNeverEndWellFailOnceAndTheNextLoadGoesOut) {
  const double watchdog = cadenzo::CZAPIWatchdogDelay(0);
  const std::string padded = "{\"status\":200,\"link\":\"http://example.invalid/\",\"html\":\"" +
                             std::string(platform::kURLDefaultMaximumContentLength, 'x') + "\"}";
  // Well under the cap, so only time can end it.
  ScriptedAnswer trickling = ScriptedAnswer::json("{\"status\":200,\"html\":\"" + std::string(100000, 'x') + "\"}");
  trickling.trickle = std::chrono::milliseconds(5);
  ScriptedAnswer oversizedChunks = ScriptedAnswer::json(padded);
  oversizedChunks.chunked = true;
  oversizedChunks.chunkSize = 64 * 1024;
  server->http().setAnswer("/loop", ScriptedAnswer::redirect("/loop", 307));
  struct Case { const char* name; ScriptedAnswer answer; bool needsTheClock; };
  const Case cases[] = {
      {"trickling", trickling, true},
      {"stalled", cztest::silence(), true},
      {"oversized, declared", ScriptedAnswer::json(padded), false},
      {"oversized, chunked", oversizedChunks, false},
      {"endless redirects", ScriptedAnswer::redirect(server->url("/loop"), 307), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    timeline.clear();
    server->scriptNext("get", c.answer);
    const size_t calls = server->callsTo("get").size();
    facade->cacheInterstitial("L");
    settleTraffic();
    ASSERT_GT(server->callsTo("get").size(), calls);
    if (c.needsTheClock) {
      // Bytes may keep coming, but nothing ends before the delay.
      advance(watchdog - 1);
      EXPECT_EQ(timeline, cztest::Timeline{});
      advance(1);
    }
    settleTraffic();
    ASSERT_FALSE(timeline.empty());
    advance(watchdog);  // nothing may report the same load again
    EXPECT_EQ(timeline, cztest::Timeline{"didFailToLoadInterstitial:L"});
    EXPECT_EQ(facade->connectionForTesting()->activeConnectionCountForTesting(), 0u);
    EXPECT_EQ(platform::URLConnection::liveCount(), 0u);

    // The next load is sent and loads as before.
    const size_t made = factory->made.size();
    facade->cacheInterstitial("L");
    auto view = preparedView(made + 1);
    ASSERT_TRUE(view);
    view->fireDisplay();
    EXPECT_TRUE(facade->hasCachedInterstitial("L"));
    EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
  }
}

// An answer past the bound fails its load as soon as that is known, whether it declares its
// length or comes in chunks; one within the bound still loads.
TEST_F(FacadeTest, AnswersLargerThanTheBoundFailTheLoad) {
  platform::LogCapture log;
  struct Case { const char* name; size_t pad; bool chunked; bool loads; };
  const size_t over = platform::kURLDefaultMaximumContentLength + 1;
  const Case cases[] = {
      {"declared length", over, false, false},
      {"chunked", over, true, false},
      {"within the bound", 900, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto answer = ScriptedAnswer::json("{\"status\":200,\"link\":\"http://example.invalid/\",\"html\":\"" +
                                       std::string(c.pad, 'x') + "\"}");
    answer.chunked = c.chunked;
    answer.chunkSize = 64 * 1024;
    server->scriptNext("get", answer);
    timeline.clear();
    const size_t made = factory->made.size();
    facade->cacheInterstitial("L");
    settleTraffic();
    ASSERT_TRUE(!timeline.empty() || factory->made.size() > made);
    EXPECT_EQ(factory->made.size() > made, c.loads);
    EXPECT_EQ(timeline, c.loads ? cztest::Timeline{} : cztest::Timeline{"didFailToLoadInterstitial:L"});
  }
  const auto lines = log.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("failed") != std::string::npos &&
                                                            l.find("-1103)") != std::string::npos; }),
            2);
}

class ImpressionTest : public FacadeTest {};

TEST_F(ImpressionTest, ViewChoiceFollowsTypeAndAnswer) {
  using Kind = cadenzo::CZViewFactory::Kind;
  struct Case { const char* name; Dictionary answer; int type; std::optional<Kind> kind; };
  std::vector<Case> cases = {
      {"native interstitial", {{"type", Value("native")}, {"link", Value("http://a/")}}, 1, Kind::NativeInterstitial},
      {"native more apps", {{"type", Value("native")}}, 2, Kind::NativeMoreApps},
      {"native without link", {{"type", Value("native")}}, 1, std::nullopt},
      {"html more apps", {{"html", Value("<p>")}}, 2, Kind::HTML},
      {"html interstitial", {{"type", Value("html")}, {"html", Value("<p>")}, {"link", Value("x")}}, 1, Kind::HTML},
      {"no html", {{"type", Value("web")}}, 2, std::nullopt},
      {"html not text", {{"html", Value(3)}, {"link", Value("x")}}, 1, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto impression = CZImpression::createWithResponseType(c.answer, c.type);
    ASSERT_EQ(bool(impression), c.kind.has_value());
    if (!impression) continue;
    auto view = std::dynamic_pointer_cast<cztest::FakeAdView>(impression->view());
    EXPECT_EQ(view->kind, *c.kind);
    EXPECT_EQ(view->prepared, 0);  // prepared on a later turn only
    EXPECT_EQ(impression->responseDate(), clock().now());
    runUntilIdle();
    EXPECT_EQ(view->prepared, 1);
    if (*c.kind == Kind::HTML) {
      EXPECT_EQ(view->html, "<p>");
      EXPECT_EQ(view->baseURL,
                platform::URL::fileURLWithPath(platform::Bundle::mainBundle().bundlePath(), true).absoluteString());
    } else {
      EXPECT_EQ(view->preparedWith, c.answer);
    }
  }
}

class ClickRecorder : public cadenzo::CZImpressionProtocol {
 public:
  void impressionReadyToBeDisplayed(const std::shared_ptr<CZImpression>&) override {}
  void impressionCloseTriggered(const std::shared_ptr<CZImpression>&) override {}
  void impressionFailedToInitialize(const std::shared_ptr<CZImpression>&) override {}
  void impressionClickTriggeredForURLMoreData(const std::shared_ptr<CZImpression>&, const std::optional<std::string>& url,
                                              const std::optional<Value>&) override { urls.push_back(url); }
  std::vector<std::optional<std::string>> urls;
};

TEST_F(ImpressionTest, ClickTargetTakesLinkAndOpenableDeepLink) {
  platform::Application::sharedApplication().registerOpenableScheme("zavrellion");
  struct Case { const char* name; std::optional<std::string> fromView, deepLink; std::string expected; };
  std::vector<Case> cases = {
      {"view url", "http://view/", std::nullopt, "http://view/"},
      {"answer link", std::nullopt, std::nullopt, "http://link/"},
      {"openable deep link", "http://view/", "zavrellion://level/3", "zavrellion://level/3"},
      {"deep link nobody opens", std::nullopt, "unknownscheme://x", "http://link/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Dictionary answer{{"link", Value("http://link/")}, {"html", Value("<p>")}};
    if (c.deepLink) answer.set("deep-link", Value(*c.deepLink));
    auto impression = CZImpression::createWithResponseType(answer, 1);
    auto recorder = std::make_shared<ClickRecorder>();
    impression->setDelegate(recorder);  // read when the callback fires, not when wired
    std::dynamic_pointer_cast<cztest::FakeAdView>(impression->view())->fireClick(c.fromView, std::nullopt);
    ASSERT_EQ(recorder->urls.size(), 1u);
    EXPECT_EQ(recorder->urls[0], c.expected);
  }
}

TEST_F(ImpressionTest, ReleasedImpressionClearsTheViewsCallbacks) {
  auto impression = CZImpression::createWithResponseType({{"link", Value("l")}, {"html", Value("<p>")}}, 1);
  auto view = impression->view();
  impression.reset();
  EXPECT_FALSE(view->displayCallback());
  EXPECT_FALSE(view->closeCallback());
  EXPECT_FALSE(view->clickCallback());
}

TEST_F(FacadeTest, ClickWithAStoreItemPresentsTheStoreSheet) {
  auto window = platform::Window::create(platform::Rect(0, 0, 320, 480));
  auto root = std::make_shared<platform::ViewController>();
  window->setRootViewController(root);
  window->makeKeyAndVisible();
  server->setInterstitial("L", "{\"status\":200,\"html\":\"<p>\",\"itunes_id\":\"42\","
                               "\"link\":\"http://example.invalid/\"}");
  auto view = displayed("L");
  EXPECT_EQ(view->frame, platform::Rect(0, 0, 320, 480));  // the window's frame
  view->fireClick(std::nullopt, std::nullopt);
  settleTraffic();
  ASSERT_NE(facade->storeSheetForTesting(), nullptr);
  auto sheet = facade->storeSheetForTesting();
  EXPECT_EQ(sheet->parameters()["SKStoreProductParameterITunesItemIdentifier"], Value("42"));
  EXPECT_TRUE(presenter->loading);  // until the product has loaded
  sheet->completeLoad(true);
  runUntilIdle();
  EXPECT_FALSE(presenter->loading);
  EXPECT_EQ(root->presentedViewController(), sheet);
  advance(1);  // the animated presentation ends
  sheet->finish();
  advance(1);
  EXPECT_FALSE(root->presentedViewController());
  EXPECT_FALSE(facade->storeSheetForTesting());
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
  auto clicks = server->callsTo("click");
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].body["in_app_store"], Value(true));
}

}  // namespace
