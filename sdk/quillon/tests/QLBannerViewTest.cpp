// Banners loading over loopback from the Quillon sandbox server: the builder script fetched
// and kept, the builder page run in the web view's script engine, the ad page and its
// control headers, impressions, refresh on the manual clock, every failure, and delegates
// that drop the banner while being told.
#include <gtest/gtest.h>

#include "QLTestPrinters.h"

#include "QLCachedFile.h"
#include "QLConfiguration.h"
#include "QLObjectPrivate.h"
#include "QLRecordingOpener.h"
#include "QLTestServer.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/scroll_view.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLSearchBannerView.h"
#include "quillon/QLSearchRequest.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Rect;
using quillon::QLBannerView;
using testkit::QuillonServer;
using testkit::ScriptedAnswer;

struct Recorder : quillon::QLBannerViewDelegate {
  std::vector<std::string> events;
  // When set, the banner is dropped inside every callback.
  std::shared_ptr<QLBannerView>* owner = nullptr;
  void note(std::string event) {
    events.push_back(std::move(event));
    if (owner) owner->reset();
  }
  void adViewDidReceiveAd(const std::shared_ptr<QLBannerView>&) override { note("receive"); }
  void adViewDidFailToReceiveAdWithError(const std::shared_ptr<QLBannerView>&, const platform::Error& e) override {
    note("fail " + std::to_string(e.code));
  }
};

class QLBannerViewTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    quillon_test::useServer(server);
    platform::setLogSink([this](const std::string& line) { logs.push_back(line); });
    banner = QLBannerView::create(Rect(0, 50, 320, 50));
    banner->setAdUnitID("slot-1");
    banner->setDelegate(recorder);
    banner->setRootViewController(root);
  }
  void TearDown() override {
    platform::setLogSink({});
    testkit::SandboxTest::TearDown();
  }
  // Loads and waits until the load is over (shown, failed or without a script).
  int load() {
    banner->loadRequest(quillon::QLRequest::request());
    settleTraffic();
    return banner ? banner->stateForTesting() : -1;
  }
  static bool isOver(int state) { return state == 2 || state == 6 || state == 7; }

  QuillonServer server;
  std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<QLBannerView> banner;
  std::vector<std::string> logs;
};

TEST_F(QLBannerViewTest, LoadsShowsTracksAndRefreshes) {
  std::string impressions = server.impressionURL("a") + " " + server.impressionURL("b");
  server.setAdAnswer("  <html><body>ad</body></html>\n",
                     {{"X-Quillon-Tracking-Urls", impressions}, {"X-Quillon-Refresh-Rate", "30"}});
  EXPECT_TRUE(banner->webView()->isHidden());

  ASSERT_EQ(load(), 6);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
  EXPECT_FALSE(banner->webView()->isHidden());
  EXPECT_FALSE(banner->webView()->scrollView()->scrollsToTop());
  ASSERT_TRUE(runUntil([&] {
    return server.requestsTo("/impression/a").size() == 1 && server.requestsTo("/impression/b").size() == 1;
  }));
  auto ads = server.requestsTo(QuillonServer::kAdPath);
  ASSERT_EQ(ads.size(), 1u);
  EXPECT_EQ(ads[0].queryItem("slot"), "slot-1");  // the builder read the slot facts

  // Nothing before the refresh rate has passed; then a second load of the same request.
  advance(29.5);
  runUntilIdle();
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
  advance(0.6);
  ASSERT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
  ASSERT_TRUE(runUntil([&] { return recorder->events.size() == 2; }));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "receive"}));
  EXPECT_EQ(server.requestsTo(QuillonServer::kBuilderPath).size(), 1u);  // kept from the first load
}

TEST_F(QLBannerViewTest, TheServersRefreshIntervalHasAFloor) {
  const double floor = quillon::QLObjectPrivate::kMinimumRefreshSeconds;
  struct Case {
    const char* rate;
    double interval;
  };
  const Case cases[] = {{"0.001", floor}, {"1e-300", floor}, {"25", 25}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Refresh-Rate", c.rate}});
    ASSERT_EQ(load(), 6);
    // Three refreshes, each a full interval after the ad before it, none sooner.
    for (int refresh = 0; refresh < 3; ++refresh) {
      const size_t asked = server.requestsTo(QuillonServer::kAdPath).size();
      const size_t heard = recorder->events.size();
      advance(c.interval - 0.5);
      // A refresh starts its load at once: the ad is still the one shown.
      EXPECT_EQ(banner->stateForTesting(), 6);
      runUntilIdle();
      EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), asked);
      advance(0.6);
      ASSERT_EQ(recorder->events.size(), heard + 1);
      EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), asked + 1);
    }
  }
}

TEST_F(QLBannerViewTest, ARefreshThatMeetsARunningLoadRunsAfterIt) {
  // The builder takes its time for the slot "slow", and then cannot serve it.
  server.setBuilderScript(
      "function QL_buildAdURL(p) {"
      "  if (p.slotname == 'slow') {"
      "    setTimeout(function() { window.location = 'qmsg:///unableToServe?slot=slow'; }, 8000);"
      "    return;"
      "  }"
      "  window.location = 'qmsg:///loadAdURL?type=quillon&url=' + encodeURIComponent('" +
      server.url(QuillonServer::kAdPath) + "');"
      "}");
  server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Refresh-Rate", "10"}});
  ASSERT_EQ(load(), 6);
  advance(5);
  banner->setAdUnitID("slow");
  banner->loadRequest(quillon::QLRequest::request());
  banner->setAdUnitID("slot-1");  // the slow load has read its slot
  ASSERT_EQ(banner->stateForTesting(), 3);
  advance(5.5);  // the refresh is due while the builder still works
  runUntilIdle();
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
  advance(3);  // the slow load fails; the refresh it met goes ahead at once
  ASSERT_EQ(recorder->events.size(), 3u);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "fail 0", "receive"}));
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
  // And the banner goes on refreshing at its interval.
  advance(10.1);
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 3u);
}

TEST_F(QLBannerViewTest, ABannerWhoseLoadFailedStillRefreshes) {
  // A slot named after a builder message is answered with that message.
  const std::string builder =
      "function QL_buildAdURL(p) {"
      "  if (p.slotname.indexOf('qmsg:') == 0) { window.location = p.slotname; return; }"
      "  window.location = 'qmsg:///loadAdURL?type=quillon&url=' + encodeURIComponent('" +
      server.url(QuillonServer::kAdPath) + "');"
      "}";
  server.setBuilderScript(builder);
  const std::string builderFile =
      *quillon::QLCachedFile::create({}, *platform::URL::create(server.url(QuillonServer::kBuilderPath)))->filePath();
  struct Case {
    const char* name;
    int status;
    std::string page;
    std::string failure;
    // When set, a shown ad's answer gives the interval, and its refresh is refused: the slot
    // it then asks for, or "" for a builder script gone from the device and the server.
    std::optional<std::string> refusedSlot = std::nullopt;
    int state = 7;
    // The refused load is the host's, 10 seconds after the ad, rather than the refresh: the
    // refresh the ad armed keeps its time.
    bool byHost = false;
  };
  const Case cases[] = {
      {"a server error", 503, "<html>busy</html>", "fail 3"},
      {"rejected parameters", 400, "<html>no</html>", "fail 0"},
      {"an empty page", 200, "  \n", "fail 1"},
      {"an invalid request", 200, "", "fail 0", "qmsg:///invalidRequest?why=bad"},
      {"unable to serve", 200, "", "fail 0", "qmsg:///unableToServe?why=none"},
      {"builder errors", 200, "", "fail 0", "qmsg:///loadAdURL?errors=1"},
      // Ad URLs with no host at all: nothing is fetched for them.
      {"an ad URL without a host", 200, "", "fail 2", "qmsg:///loadAdURL?type=quillon&url=about%3Ablank"},
      {"an ad URL of data", 200, "", "fail 2", "qmsg:///loadAdURL?type=quillon&url=data%3Atext%2Fhtml%2C%3Cb%3Ead", 7,
       true},
      {"an ad URL of mail", 200, "", "fail 2", "qmsg:///loadAdURL?type=quillon&url=mailto%3Aads%40example.com", 7,
       true},
      {"an ad URL without a host, by the host", 200, "", "fail 2", "qmsg:///loadAdURL?type=quillon&url=about%3Ablank",
       7, true},
      {"no builder script", 200, "", "fail 2", "", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recorder->events.clear();
    server.http().clearRequests();
    if (c.refusedSlot) {
      server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Refresh-Rate", "30"}});
      ASSERT_EQ(load(), 6);
      if (c.refusedSlot->empty()) {
        ASSERT_TRUE(platform::FileManager::removeItemAtPath(builderFile));
        server.http().setAnswer(QuillonServer::kBuilderPath, ScriptedAnswer::text("", 404));
      }
      banner->setAdUnitID(*c.refusedSlot);
      if (c.byHost) {
        advance(10);
        banner->loadRequest(quillon::QLRequest::request());
      } else {
        advance(30.1);
      }
      ASSERT_TRUE(settleTraffic());
      banner->setAdUnitID("slot-1");
      server.setBuilderScript(builder);
      recorder->events.erase(recorder->events.begin());
      server.http().clearRequests();
    } else {
      server.setAdAnswer(c.page, {{"X-Quillon-Refresh-Rate", "30"}}, c.status);
      ASSERT_EQ(load(), 7);
    }
    EXPECT_EQ(banner->stateForTesting(), c.state);
    EXPECT_EQ(recorder->events, std::vector<std::string>{c.failure});
    const size_t asked = server.requestsTo(QuillonServer::kAdPath).size();
    advance(c.byHost ? 19.5 : 29.5);
    EXPECT_EQ(banner->stateForTesting(), c.state);
    server.setAdPage("<html><body>ad</body></html>");
    advance(0.6);
    ASSERT_TRUE(settleTraffic());
    ASSERT_EQ(recorder->events.size(), 2u);
    EXPECT_EQ(recorder->events.back(), "receive");
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), asked + 1);
  }
}

TEST_F(QLBannerViewTest, BeforeSystemFourTheRefreshPausesWhileTheApplicationIsNotActive) {
  auto& app = platform::Application::sharedApplication();
  for (const char* version : {"3.1.3", "3.2"}) {
    SCOPED_TRACE(version);
    platform::Device::currentDevice().setSystemVersion(version);
    banner = QLBannerView::create(Rect(0, 50, 320, 50));
    banner->setDelegate(recorder);
    banner->setRootViewController(root);
    recorder->events.clear();
    server.http().clearRequests();
    server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Refresh-Rate", "30"}});
    ASSERT_EQ(load(), 6);
    advance(20);
    app.resignActive();
    advance(40);
    runUntilIdle();
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
    // Back on screen, a whole interval passes before the next ad.
    app.becomeActive();
    advance(29.5);
    runUntilIdle();
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
    advance(0.6);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "receive"}));
  }
}

TEST_F(QLBannerViewTest, TheBuilderScriptIsKeptADayThenRevalidated) {
  ASSERT_EQ(load(), 6);
  ASSERT_EQ(load(), 6);
  EXPECT_EQ(server.requestsTo(QuillonServer::kBuilderPath).size(), 1u);
  advance(86401);
  ASSERT_EQ(load(), 6);
  auto scripts = server.requestsTo(QuillonServer::kBuilderPath);
  ASSERT_EQ(scripts.size(), 2u);
  EXPECT_FALSE(scripts[0].header("If-Modified-Since"));
  EXPECT_EQ(scripts[1].header("If-Modified-Since"), QuillonServer::kBuilderLastModified);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"receive", "receive", "receive"}));
}

TEST_F(QLBannerViewTest, InTheBackgroundOnlyALoadBeforeTheLaunchFinishedGoesAhead) {
  auto& app = platform::Application::sharedApplication();
  app.enterBackground();
  ASSERT_EQ(load(), 6);  // the launch has not finished: the application counts as active
  app.enterForeground();
  app.finishLaunchingWithOptions();
  app.enterBackground();
  banner->loadRequest(quillon::QLRequest::request());
  runUntilIdle();
  EXPECT_EQ(banner->stateForTesting(), 6);
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
}

TEST_F(QLBannerViewTest, AScriptThatCannotRunIsFetchedAfreshNextTime) {
  const std::string good = "function QL_buildAdURL(p) { window.location = 'qmsg:///loadAdURL?url=" +
                           server.url(QuillonServer::kAdPath) + "'; }";
  server.setBuilderScript("");
  ASSERT_EQ(load(), 2);
  server.setBuilderScript(good);
  ASSERT_EQ(load(), 6);
  auto scripts = server.requestsTo(QuillonServer::kBuilderPath);
  ASSERT_EQ(scripts.size(), 2u);
  EXPECT_FALSE(scripts[1].header("If-Modified-Since"));  // not "nothing new" for the empty copy
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"fail 2", "receive"}));
}

TEST_F(QLBannerViewTest, WithoutARootViewControllerOneFailureAndNoTraffic) {
  banner->setRootViewController(nullptr);
  banner->loadRequest(quillon::QLRequest::request());
  runUntilIdle();
  EXPECT_EQ(recorder->events, std::vector<std::string>{"fail 0"});
  EXPECT_EQ(logs, std::vector<std::string>{
                      "<Quillon> Must set the rootViewController property of QLBannerView before calling loadRequest:"});
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(QLBannerViewTest, SearchBannersAskTheSearchBuilderWithTheirQuery) {
  auto search = quillon::QLSearchBannerView::create(Rect(0, 0, 320, 50));
  search->setDelegate(recorder);
  search->setRootViewController(root);
  quillon::QLSearchRequest query;
  query.setQuery("rocket birds");
  search->loadRequest(query.request());
  ASSERT_TRUE(runUntil([&] { return search->stateForTesting() == 6; }));
  EXPECT_EQ(server.requestsTo(QuillonServer::kSearchBuilderPath).size(), 1u);
  EXPECT_TRUE(server.requestsTo(QuillonServer::kBuilderPath).empty());
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).at(0).queryItem("q"), "rocket birds");
}

TEST_F(QLBannerViewTest, ParametersStayDataInsideTheBuilderPage) {
  // Texts that would end the script element or a script string if pasted in raw.
  const std::string slot = "</script><script>window.location='qmsg:///unableToServe'</script>\xE2\x80\xA8x";
  banner->setAdUnitID(slot);
  ASSERT_EQ(load(), 6);
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).at(0).queryItem("slot"), slot);
}

TEST_F(QLBannerViewTest, OnlyTheBuilderOfTheLoadIsHeard) {
  // The shown ad page says what only a builder may say; nothing follows from it.
  server.setAdPage("<html><body><script>window.location = 'qmsg:///loadAdURL?url=" + server.url("/elsewhere") +
                   "';</script></body></html>");
  ASSERT_EQ(load(), 6);
  ASSERT_TRUE(settleTraffic());
  EXPECT_TRUE(server.requestsTo("/elsewhere").empty());
  EXPECT_EQ(banner->stateForTesting(), 6);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
}

TEST_F(QLBannerViewTest, ThePagesOwnNavigationsDoNotShowTheAdAgain) {
  server.http().setAnswer("/next", ScriptedAnswer::text("<html><body>next</body></html>"));
  server.setAdAnswer("<html><body><script>setTimeout(function () { window.location = '" + server.url("/next") +
                         "'; }, 0);</script></body></html>",
                     {{"X-Quillon-Tracking-Urls", server.impressionURL("once")}});
  ASSERT_EQ(load(), 6);
  // The impression leaves when the ad is shown and may still be on its way.
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/impression/once").empty(); }));
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/next").empty(); }));
  ASSERT_TRUE(runUntil([&] {
    return banner->webView()->documentSourceForTesting().find("next") != std::string::npos &&
           !banner->webView()->isLoading();
  }));
  runUntilIdle();
  EXPECT_EQ(recorder->events, std::vector<std::string>{"receive"});
  EXPECT_EQ(server.requestsTo("/impression/once").size(), 1u);
}

TEST_F(QLBannerViewTest, ADelegateMayDropTheBannerInsideAnyCallback) {
  for (bool fails : {false, true}) {
    SCOPED_TRACE(fails);
    if (fails) server.setAdAnswer("", {}, 500);
    banner = QLBannerView::create(Rect(0, 0, 320, 50));
    banner->setDelegate(recorder);
    banner->setRootViewController(root);
    recorder->events.clear();
    recorder->owner = &banner;
    banner->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return !banner; }));
    advance(60);
    runUntilIdle();
    EXPECT_EQ(recorder->events, std::vector<std::string>{fails ? "fail 3" : "receive"});
  }
}

TEST_F(QLBannerViewTest, ATapOnTheShownAdOpensItsTarget) {
  // A user can touch only an ad that is on screen.
  auto window = platform::Window::create(Rect(0, 0, 320, 480));
  window->makeKeyAndVisible();
  window->addSubview(banner);
  auto opener = std::make_shared<quillon_test::RecordingOpener>();
  banner->setOpenerForTesting(opener);
  server.setAdPage("<html><body><a href=\"" + server.url("/target") + "\">go</a></body></html>");
  ASSERT_EQ(load(), 6);

  // Untouched, the navigation is the page's own: no click, even once the ad has been on show
  // long enough for a tap to count (so only the missing touch tells it apart).
  advance(0.2);
  ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting(server.url("/target")));
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/target").empty(); }));  // the bridge let it load
  runUntilIdle();
  EXPECT_TRUE(opener->calls.empty());

  ASSERT_EQ(load(), 6);
  platform::Event touch;
  touch.touches.push_back(std::make_shared<platform::Touch>());
  banner->webView()->hitTestWithEvent({10, 10}, &touch);
  advance(0.2);
  ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting(server.url("/target")));
  ASSERT_TRUE(runUntil([&] { return opener->calls.size() >= 2; }));
  EXPECT_EQ(opener->calls.back(), "browser " + server.url("/target") + " 1");
  EXPECT_EQ(banner->stateForTesting(), 6);
}

struct FailureRow {
  std::string name;
  std::function<void(QuillonServer&)> setUp;
  int state;
  int code;
  std::string log;
  // For loads that never end by themselves: the path whose request shows the load is waiting.
  std::string waitsAfter = {};
};

class QLBannerFailureTest : public QLBannerViewTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(QLBannerFailureTest, EndsInItsStateWithItsCode) {
  const FailureRow& row = GetParam();
  row.setUp(server);
  banner->loadRequest(quillon::QLRequest::request());
  if (!row.waitsAfter.empty()) {
    ASSERT_TRUE(runUntil([&] { return !server.requestsTo(row.waitsAfter).empty(); }));
    runUntilIdle();
    EXPECT_FALSE(isOver(banner->stateForTesting()));
    advance(quillon::QLConfiguration::current().loadTimeout + 1);
  }
  ASSERT_TRUE(settleTraffic());
  EXPECT_EQ(banner->stateForTesting(), row.state);
  EXPECT_EQ(recorder->events, std::vector<std::string>{"fail " + std::to_string(row.code)});
  if (!row.log.empty()) {
    EXPECT_EQ(logs.empty() ? "" : logs.front().substr(0, row.log.size()), row.log);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, QLBannerFailureTest,
    ::testing::Values(
        FailureRow{"SystemTooOld", [](QuillonServer&) { platform::Device::currentDevice().setSystemVersion("2.2.1"); },
                   7, 4, ""},
        FailureRow{"BuilderErrors", [](QuillonServer& s) { s.setBuilderMessage("loadAdURL?errors=1"); }, 7, 0, ""},
        FailureRow{"InvalidRequest", [](QuillonServer& s) { s.setBuilderMessage("invalidRequest?why=bad"); }, 7, 0,
                   "<Quillon> Invalid Request: "},
        FailureRow{"UnableToServe", [](QuillonServer& s) { s.setBuilderMessage("unableToServe?why=none"); }, 7, 0,
                   "<Quillon> Unable to serve: "},
        FailureRow{"Status400", [](QuillonServer& s) { s.setAdAnswer("", {}, 400); }, 7, 0,
                   "<Quillon> Server rejected ad parameters.  Typically this is because the ad unit ID is incorrect."},
        FailureRow{"Status204", [](QuillonServer& s) { s.setAdAnswer("", {}, 204); }, 7, 2, ""},
        FailureRow{"Status206", [](QuillonServer& s) { s.setAdAnswer("<html>a piece</html>", {}, 206); }, 7, 2, ""},
        // Ad URLs with no host at all: nothing is fetched for them.
        FailureRow{"AdURLWithoutHost", [](QuillonServer& s) { s.setBuilderMessage("loadAdURL?type=quillon&url=about%3Ablank"); },
                   7, 2, ""},
        FailureRow{"AdURLOfData",
                   [](QuillonServer& s) { s.setBuilderMessage("loadAdURL?type=quillon&url=data%3Atext%2Fhtml%2C%3Cb%3Ead"); },
                   7, 2, ""},
        FailureRow{"AdURLOfMail",
                   [](QuillonServer& s) { s.setBuilderMessage("loadAdURL?type=quillon&url=mailto%3Aads%40example.com"); },
                   7, 2, ""},
        FailureRow{"Status404", [](QuillonServer& s) { s.setAdAnswer("x", {}, 404); }, 7, 3, ""},
        FailureRow{"Status503", [](QuillonServer& s) { s.setAdAnswer("x", {}, 503); }, 7, 3, ""},
        FailureRow{"Dropped",
                   [](QuillonServer& s) {
                     ScriptedAnswer a;
                     a.dropBeforeHead = true;
                     a.dropAfterBodyBytes = 0;
                     s.http().setAnswer(QuillonServer::kAdPath, a);
                   },
                   7, 2, ""},
        FailureRow{"EmptyPage", [](QuillonServer& s) { s.setAdAnswer(" \n\t ", {}); }, 7, 1, ""},
        FailureRow{"NoScript", [](QuillonServer& s) { s.http().setAnswer(QuillonServer::kBuilderPath, ScriptedAnswer::text("", 404)); },
                   2, 2, ""},
        FailureRow{"EmptyScript", [](QuillonServer& s) { s.setBuilderScript(""); }, 2, 2, ""},
        FailureRow{"ScriptNotUtf8", [](QuillonServer& s) { s.setBuilderScript("var a = '\xC3\x28';"); }, 2, 2, ""},
        FailureRow{"BuilderSilent", [](QuillonServer& s) { s.setBuilderScript("function QL_buildAdURL(p) {}"); }, 7, 5,
                   "", QuillonServer::kBuilderPath},
        FailureRow{"AdStalls",
                   [](QuillonServer& s) {
                     ScriptedAnswer a;
                     a.stall = true;
                     s.http().setAnswer(QuillonServer::kAdPath, a);
                   },
                   7, 5, "", QuillonServer::kAdPath}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

}  // namespace
