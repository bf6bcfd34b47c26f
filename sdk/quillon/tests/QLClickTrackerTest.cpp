// Tracking URLs fetched over loopback from the Quillon sandbox server, redirects to http and
// to application links, failures, and what keeps the application alive meanwhile.
#include <gtest/gtest.h>

#include "QLTestPrinters.h"

#include "QLClickTracker.h"
#include "QLConfiguration.h"
#include "QLNetworkUtilities.h"
#include "QLStatistics.h"
#include "platform/runtime.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::URL;
using quillon::QLClickTracker;
using testkit::ScriptedAnswer;

struct Recorder : quillon::QLClickTrackerDelegate {
  std::vector<std::string> events;
  void trackerDidFailWithError(QLClickTracker&, const std::optional<platform::Error>& error) override {
    events.push_back(error ? "fail " + error->domain + " " + std::to_string(error->code) : "fail");
  }
  void trackerDidRedirect(QLClickTracker&, const URL& url) override {
    events.push_back("redirect " + url.absoluteString());
  }
};

class QLClickTrackerTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    statistics = quillon::QLStatistics::sharedStatistics();
    tracker = QLClickTracker::create(statistics);
    tracker->setDelegate(recorder);
  }
  void trackAndWait(const std::string& url) {
    tracker->trackURL(*URL::create(url));
    ASSERT_TRUE(runUntil([&] { return tracker->hasTracked(); }));
    runUntilIdle();
  }

  testkit::QuillonServer server;
  std::shared_ptr<quillon::QLStatistics> statistics;
  std::shared_ptr<QLClickTracker> tracker;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(QLClickTrackerTest, RedirectsEndInTheDestinationOrAnApplicationLink) {
  quillon::QLNetworkUtilities::setUserAgentString("QuillonTestAgent/1.0");
  server.addClick("web");
  server.setClickRedirect("app", "itms-apps://itunes.example/app/id42");
  server.setClickRedirect("chain", server.clickURL("app"), 301);
  server.http().setAnswer("/click/missing", ScriptedAnswer::text("gone", 404));
  server.http().setAnswer("/click/moved", ScriptedAnswer::text("", 204));

  struct Case {
    std::string id;
    std::string event;
    std::vector<std::string> paths;
  };
  const Case cases[] = {
      {"web", "redirect " + server.url("/landing/web"), {"/click/web", "/landing/web"}},
      {"app", "redirect itms-apps://itunes.example/app/id42", {"/click/app"}},
      {"chain", "redirect itms-apps://itunes.example/app/id42", {"/click/chain", "/click/app"}},
      {"missing", "fail", {"/click/missing"}},
      {"moved", "fail", {"/click/moved"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    server.http().clearRequests();
    recorder->events.clear();
    trackAndWait(server.clickURL(c.id));
    EXPECT_EQ(recorder->events, std::vector<std::string>{c.event});
    std::vector<std::string> paths;
    for (const auto& r : server.requests()) {
      paths.push_back(r.path);
      EXPECT_EQ(r.header("User-Agent"), "QuillonTestAgent/1.0");
    }
    EXPECT_EQ(paths, c.paths);
  }
}

TEST_F(QLClickTrackerTest, ConnectionFailureIsToldOnceAndTheTaskEnds) {
  std::string closed;
  {
    testkit::LoopbackServer gone;
    closed = gone.url("/click/x");
  }
  auto& app = platform::Application::sharedApplication();
  tracker->trackURL(*URL::create(closed));
  EXPECT_EQ(app.activeBackgroundTasks().size(), 1u);
  ASSERT_TRUE(runUntil([&] { return tracker->hasTracked(); }));
  runUntilIdle();
  EXPECT_EQ(recorder->events, std::vector<std::string>{"fail NSURLErrorDomain -1004"});
  EXPECT_TRUE(app.activeBackgroundTasks().empty());

  // Without background tasks, the class-wide count covers the tracking instead.
  platform::Runtime::setAvailable("UIApplication.beginBackgroundTaskWithExpirationHandler:", false);
  server.addClick("counted");
  tracker->trackURL(*URL::create(server.clickURL("counted")));
  EXPECT_TRUE(QLClickTracker::activeTrackings());
  EXPECT_TRUE(app.activeBackgroundTasks().empty());
  ASSERT_TRUE(runUntil([&] { return tracker->hasTracked(); }));
  EXPECT_FALSE(QLClickTracker::activeTrackings());
}

TEST_F(QLClickTrackerTest, ExpiryStopsTheFetchAndAFinishedClickLeavesItsTrackingId) {
  auto config = quillon::QLConfiguration::current();
  config.clickServerDomainSuffix = "127.0.0.1";
  quillon::QLConfiguration::setCurrent(config);
  server.addClick("id-77");
  statistics->urlForClick(*URL::create("http://ad.example/c?ai=7"));
  trackAndWait(server.clickURL("id-77"));
  EXPECT_EQ(statistics->timingNamed("pcl")->valueForKey("pit"), platform::Value("ck/id-77"));

  // A tracking whose server never answers is dropped when the background time runs out.
  server.http().setAnswer("/click/stalled", [] {
    ScriptedAnswer a;
    a.stall = true;
    return a;
  }());
  recorder->events.clear();
  tracker->trackURL(*URL::create(server.clickURL("stalled")));
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/click/stalled").empty(); }));
  platform::Application::sharedApplication().expireBackgroundTasks();
  runUntilIdle();
  EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
  EXPECT_TRUE(recorder->events.empty());
  EXPECT_FALSE(tracker->hasTracked());
}

}  // namespace
