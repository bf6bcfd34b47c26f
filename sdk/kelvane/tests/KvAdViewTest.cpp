// Banner and text placements against the sandbox ad server: the page's outcome and size, the
// reload cycle on virtual time, and when a reload waits.
#include <gtest/gtest.h>

#include "KvTestSupport.h"
#include "platform/application.h"
#include "platform/device.h"
#include "platform/notification_center.h"
#include "platform/reachability.h"
#include "platform/url_connection.h"

namespace kelvane {
namespace {

using platform::Rect;

class KvAdViewTest : public KvTest {};

TEST_F(KvAdViewTest, AdmissionRefusesWithoutCreatingAnything) {
  EXPECT_FALSE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("", 1, root, 30));
  EXPECT_FALSE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 0, root, 30));
  EXPECT_FALSE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 4, root, 30));
  EXPECT_FALSE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 2, nullptr, 30));
  platform::Reachability::setNetwork(platform::Reachability::Network::None);
  EXPECT_FALSE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 1, root, 30));
  platform::Reachability::setFlags(platform::Reachability::kReachable | platform::Reachability::kConnectionRequired |
                                   platform::Reachability::kInterventionRequired);
  EXPECT_FALSE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 1, root, 30));
  EXPECT_TRUE(root->subviews().empty());
  EXPECT_TRUE(KvAdViewController::livePlacementsForTesting().empty());
}

TEST_F(KvAdViewTest, OutcomeOfThePageIsPostedWithTheView) {
  struct Case {
    std::string outcome;
    std::vector<std::string> posted;
  };
  const Case cases[] = {
      {"OK", {"onReceiveAd"}},
      {"Unknown App Id", {"onReceiveAd"}},
      {"House Ad", {"onReceiveDefaultAd"}},
      {"Internal Error", {"onFailedToReceiveAd"}},
      {"Invalid Input", {"onFailedToReceiveAd"}},
      {"Maintenance", {}},
  };
  for (const auto& c : cases) {
    server.setOutcome(c.outcome);
    notes.clear();
    ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 1, root, 30));
    std::shared_ptr<KvAdView> view;
    ASSERT_TRUE(runUntil([&] {
      for (const auto& v : root->subviews())
        if (auto ad = std::dynamic_pointer_cast<KvAdView>(v); ad && ad->pendingReloadIntervalForTesting()) view = ad;
      return view != nullptr;
    }));
    EXPECT_EQ(names(), c.posted) << c.outcome;
    for (const auto& n : notes) EXPECT_EQ(n.object, view.get());
    EXPECT_EQ(view->error(), c.outcome);
    view->removeFromSuperview();
  }
}

TEST_F(KvAdViewTest, FrameIsTakenFromTheFirstImageOrTheRootWidth) {
  struct Case {
    int type;
    bool pad;
    double rootWidth;
    Rect expected;
  };
  const Case cases[] = {
      {kKelvaneAdTypeBanner, false, 320, Rect(0, 0, 320, 50)},
      {kKelvaneAdTypeBanner, true, 768, Rect(0, 0, 728, 90)},
      {kKelvaneAdTypeText, false, 320, Rect(0, 0, 320, 320.0 / 6)},
      {kKelvaneAdTypeText, false, 768, Rect(0, 0, 768, 64)},
  };
  for (const auto& c : cases) {
    platform::Device::currentDevice().setModel(c.pad ? "iPad" : "iPhone");
    root->setFrame(Rect(0, 0, c.rootWidth, 400));
    auto view = placeBanner(c.type);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->wvFrame(), c.expected);
    EXPECT_EQ(view->frame(), c.expected);
    EXPECT_EQ(view->kvWebView()->frame(), c.expected);
    view->removeFromSuperview();
  }
}

// A page that states its image's size as it likes: the banner's frame stays finite, not
// negative and within the root view (320 x 480 here), whatever the page says.
TEST_F(KvAdViewTest, FrameFromThePageStaysFiniteAndWithinTheRoot) {
  struct Case {
    const char* name;
    // Markup and script of the page's body.
    std::string body;
    Rect expected;
  };
  // The page redefines its first image's sides, as any page script can.
  auto sides = [](const std::string& width, const std::string& height) {
    return "<img src='a.png' width='1' height='1'><script>var i = document.images[0];"
           "Object.defineProperty(i, 'width', {get: function() { return " + width + "; }});"
           "Object.defineProperty(i, 'height', {get: function() { return " + height + "; }});</script>";
  };
  const Case cases[] = {
      {"twenty digits", "<img src='a.png' width='99999999999999999999' height='99999999999999999999'>",
       Rect(0, 0, 320, 480)},
      {"two to the 31st", "<img src='a.png' width='2147483648' height='2147483648'>", Rect(0, 0, 320, 480)},
      {"a sane image", "<img src='a.png' width='300' height='250'>", Rect(0, 0, 300, 250)},
      {"infinite", sides("1e400", "1e400"), Rect(0, 0, 320, 320.0 / 6)},
      {"not a number", sides("NaN", "NaN"), Rect(0, 0, 320, 320.0 / 6)},
      {"negative", sides("-300", "50"), Rect(0, 0, 320, 320.0 / 6)},
      {"infinite height", sides("300", "Infinity"), Rect(0, 0, 300, 0)},
      {"negative height", sides("300", "-1e400"), Rect(0, 0, 300, 0)},
      {"wide and tall", sides("1e300", "1e300"), Rect(0, 0, 320, 480)},
      {"fractions", sides("300.9", "49.9"), Rect(0, 0, 300, 49)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.http().setHandler(testkit::KelvaneServer::kBannerPath,
                             [&](const testkit::RecordedRequest&) { return kvAdPage("'s'", "'kv'", "'OK'", c.body); });
    auto view = placeBanner();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->wvFrame(), c.expected);
    EXPECT_EQ(view->frame(), c.expected);
    EXPECT_EQ(view->kvWebView()->frame(), c.expected);
    view->removeFromSuperview();
  }
}

TEST_F(KvAdViewTest, ReloadPeriodIsClampedAndOneReloadIsPendingAtATime) {
  const std::pair<int, double> cases[] = {{-5, 60}, {0, 300}, {10, 30}, {45, 45}, {1000, 300}};
  for (auto [argument, period] : cases) {
    auto view = placeBanner(kKelvaneAdTypeBanner, argument);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->pendingReloadIntervalForTesting(), period) << argument;
    size_t before = server.adRequests().size();
    advance(period - 1);
    runUntilIdle();
    EXPECT_EQ(server.adRequests().size(), before) << argument;
    const size_t heard = notes.size();
    advance(1);
    ASSERT_TRUE(heardNotes(heard + 1)) << argument;
    EXPECT_EQ(server.adRequests().size(), before + 1) << argument;
    view->removeFromSuperview();
  }
}

TEST_F(KvAdViewTest, FailedAnswerIsToldOnceAndTheCycleGoesOn) {
  server.setAdStatus(500);
  auto view = placeBanner(kKelvaneAdTypeBanner, 30);
  ASSERT_TRUE(view);
  runUntilIdle();
  EXPECT_EQ(names(), std::vector<std::string>{"onFailedToReceiveAd"});
  EXPECT_EQ(view->pendingReloadIntervalForTesting(), 30);
  server.setAdStatus(200);
  advance(30);
  ASSERT_TRUE(heardNotes(2));
  EXPECT_EQ(names()[1], "onReceiveAd");
  // One cycle: one request per period, however the earlier loads ended.
  advance(30);
  ASSERT_TRUE(heardNotes(3));
  runUntilIdle();
  EXPECT_EQ(server.adRequests().size(), 3u);
}

// Pages whose script never arrives: each new answer interrupts the page still loading, and
// that failed load is what arms the next reload, one pending per view. In the first case no
// page ever finishes, so without the failure's reload the cycle would stop; in the second the
// interrupted load arms a reload and the page that replaced it, finishing a minute later at
// its script's deadline, replaces that reload with its own instead of adding a second.
TEST_F(KvAdViewTest, InterruptedLoadsKeepOneReloadPending) {
  testkit::ScriptedAnswer stalled;
  stalled.stall = true;
  server.http().setAnswer("/stalled.js", stalled);
  struct Step {
    double advance;
    size_t requests;
  };
  struct Case {
    const char* name;
    int reload;
    std::vector<Step> steps;
  };
  const double deadline = platform::kURLDefaultDeadlineInterval;
  const Case cases[] = {
      // Period 30, well within the script's deadline: only interruptions end the loads.
      {"no page ever finishes", 30, {{30, 3}, {30, 4}, {30, 5}}},
      // Period 300: the second page finishes at its script's deadline and its reload counts.
      {"the next page finishes late", 0, {{deadline, 2}, {300 - deadline - 1, 2}, {1, 2}, {deadline - 1, 2}, {1, 3}}},
  };
  const std::string link = "<a id='ad' href='" + server.url(testkit::KelvaneServer::kLandingPath) + "'>ad</a>";
  server.http().setHandler(testkit::KelvaneServer::kBannerPath, [&](const testkit::RecordedRequest&) {
    return kvAdPage("'s'", "'kv'", "'OK'", link + "<script src='" + server.url("/stalled.js") + "'></script>");
  });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = server.adRequests().size();
    ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", kKelvaneAdTypeBanner, root, c.reload));
    auto view = adView();
    ASSERT_TRUE(view);
    // The first page is up but still loading: no reload is armed yet.
    ASSERT_TRUE(runUntil([&] { return view->kvWebView()->documentSourceForTesting().find("id='ad'") != std::string::npos; }));
    EXPECT_FALSE(view->pendingReloadIntervalForTesting());
    // The user taps it and comes back from the browser; the reload a second later asks again.
    ASSERT_TRUE(view->kvWebView()->tapLinkWithElementIdForTesting("ad"));
    auto placement = view->kvAdViewController();
    ASSERT_TRUE(runUntil([&] { return placement->kvWindowForTesting() != nullptr; }));
    placement->kvWindowForTesting()->tapAtPoint(platform::Point{40, 462});  // Back
    advance(1);
    ASSERT_EQ(server.adRequests().size(), before + 2);
    size_t asked = 2;
    for (const auto& step : c.steps) {
      advance(step.advance);  // which lets the requests it starts arrive
      // A period that asks nothing has nothing in flight either (no page is loading then), so
      // a request on its way to the server counts too.
      if (step.requests == asked) {
        EXPECT_EQ(platform::URLConnection::liveCount(), 0u) << "after " << step.advance;
      }
      ASSERT_EQ(server.adRequests().size(), before + step.requests) << "after " << step.advance;
      asked = step.requests;
    }
    view->removeFromSuperview();
    advance(300);
    runUntilIdle();
  }
}

TEST_F(KvAdViewTest, ReloadWaitsWhileTheBannerIsCoveredOrHidden) {
  // Each case lays views out after the first load and says whether the next period reloads.
  struct Case {
    const char* name;
    std::function<void(KvAdView&)> arrange;
    bool reloads;
  };
  auto sibling = [this](Rect frame) { root->addSubview(std::make_shared<platform::View>(frame)); };
  const Case cases[] = {
      {"nothing over it", [](KvAdView&) {}, true},
      {"sibling over the band at another x", [&](KvAdView&) { sibling(Rect(300, 40, 20, 20)); }, false},
      {"sibling below the band", [&](KvAdView&) { sibling(Rect(0, 50, 320, 20)); }, true},
      {"hidden view", [](KvAdView& v) { v.setHidden(true); }, false},
      {"ancestor of alpha 0", [this](KvAdView&) { root->setAlpha(0); }, false},
      {"hidden ancestor", [this](KvAdView&) { root->setHidden(true); }, false},
      // The banner moved down inside a container: the container's later sibling lies where
      // the banner would be if its own offset were counted twice.
      {"sibling where a doubled offset would fall",
       [this](KvAdView& v) {
         v.setFrame(Rect(0, 200, 320, 50));
         window->addSubview(std::make_shared<platform::View>(Rect(0, 400, 320, 50)));
       },
       true},
      {"container's sibling over the moved banner",
       [this](KvAdView& v) {
         v.setFrame(Rect(0, 200, 320, 50));
         window->addSubview(std::make_shared<platform::View>(Rect(0, 220, 320, 10)));
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    root = std::make_shared<platform::View>(Rect(0, 0, 320, 480));
    for (auto v : std::vector(window->subviews())) v->removeFromSuperview();
    window->addSubview(root);
    auto view = placeBanner(kKelvaneAdTypeBanner, 30);
    ASSERT_TRUE(view);
    c.arrange(*view);
    EXPECT_EQ(view->isVisibleForTesting(), c.reloads);
    size_t before = server.adRequests().size();
    const size_t heard = notes.size();
    advance(30);
    if (c.reloads) {
      ASSERT_TRUE(heardNotes(heard + 1));
    }
    runUntilIdle();
    EXPECT_EQ(server.adRequests().size(), before + (c.reloads ? 1 : 0));
    EXPECT_EQ(view->pendingReloadIntervalForTesting(), 30);
  }
}

TEST_F(KvAdViewTest, InactiveApplicationPausesRequestsAndResumesThem) {
  auto view = placeBanner(kKelvaneAdTypeBanner, 30);
  ASSERT_TRUE(view);
  auto& app = platform::Application::sharedApplication();
  app.resignActive();
  advance(30);
  advance(30);
  runUntilIdle();
  EXPECT_EQ(server.adRequests().size(), 1u);
  EXPECT_EQ(view->pendingReloadIntervalForTesting(), 30);
  app.enterBackground();
  app.enterForeground();
  EXPECT_TRUE(view->isScreenActiveForTesting());
  advance(30);
  ASSERT_TRUE(heardNotes(2));
  EXPECT_EQ(server.adRequests().size(), 2u);
}

TEST_F(KvAdViewTest, BannerTheGameTakesAwayOnItsNotificationEndsItsCycleAndIsLetGo) {
  int game = 0;
  platform::NotificationCenter::defaultCenter().addObserver(
      &game, kKvOnReceiveAdNotification, nullptr, [this](const platform::Notification&) {
        for (auto v : std::vector(root->subviews())) v->removeFromSuperview();
      });
  ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 1, root, 30));
  std::weak_ptr<KvAdView> weak = adView();
  ASSERT_TRUE(heardNotes(1));
  EXPECT_TRUE(root->subviews().empty());
  advance(30);
  runUntilIdle();
  EXPECT_EQ(server.adRequests().size(), 1u);
  EXPECT_TRUE(KvAdViewController::livePlacementsForTesting().empty());
  EXPECT_TRUE(weak.expired());
  platform::NotificationCenter::defaultCenter().removeObserver(&game);
}

TEST_F(KvAdViewTest, RotationPutsTheBannerBackAtTheOriginOnlyWhenBarAndDeviceAgree) {
  using O = platform::DeviceOrientation;
  struct Case {
    int bar;
    O device;
    bool moves;
  };
  const Case cases[] = {{1, O::Portrait, true},       {2, O::PortraitUpsideDown, true}, {3, O::LandscapeRight, true},
                        {4, O::LandscapeLeft, true},  {3, O::LandscapeLeft, false},     {1, O::FaceUp, false}};
  auto view = placeBanner();
  ASSERT_TRUE(view);
  for (const auto& c : cases) {
    view->setFrame(Rect(10, 100, 200, 20));
    platform::Application::sharedApplication().setStatusBarOrientation(c.bar);
    platform::Device::currentDevice().setOrientation(O::Unknown);
    platform::Device::currentDevice().setOrientation(c.device);
    EXPECT_EQ(view->frame(), c.moves ? Rect(0, 0, 320, 50) : Rect(10, 100, 200, 20)) << c.bar;
  }
}

}  // namespace
}  // namespace kelvane
