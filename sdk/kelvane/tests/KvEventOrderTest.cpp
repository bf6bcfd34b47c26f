// Placements under orders of events a phone produces: the host taking its banner out and
// putting it back across the end of the reload cycle, the application resigning while the
// browser is up, the reload falling due under the browser, a full-screen ad tapped, skipped or
// failing. Every row is one line of events; expectPlacementHolds checks, after the steps that
// matter, what must hold whatever the order: a client window up is key and its Back button in
// reach (and without one the host's window is key and as the host left it), a banner on
// screen has its next reload within one period, every tap that should count was heard once
// with its report, each answer was told once and truly, and what the host let go is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "KvBrowserView.h"
#include "KvFullScreenView.h"
#include "KvTestSupport.h"
#include "platform/application.h"

namespace kelvane {
namespace {

class KvEventOrderTest : public KvTest {
 protected:
  void place(int type) {
    const size_t heard = notes.size();
    ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", type, type == 3 ? nullptr : root, 30));
    ASSERT_TRUE(heardNotes(heard + 1));
    runUntilIdle();
    placement = KvAdViewController::livePlacementsForTesting().back();
    banner = adView();
    if (type == kKelvaneAdTypeFullScreen)
      page = std::dynamic_pointer_cast<KvPageView>(placement.lock()->kvWindowForTesting()->subviews().at(0));
    else
      page = banner;
    hostRootViews = root->subviews();
  }
  void settle() {
    settleTraffic();
    runUntilIdle();
  }
  // The user taps the ad's link: it should count.
  void tap() {
    ++clicks;
    ASSERT_TRUE(page.lock()->kvWebView()->tapLinkWithElementIdForTesting("ad"));
    settle();
  }
  std::shared_ptr<platform::Window> clientWindow() const {
    auto p = placement.lock();
    return p ? p->kvWindowForTesting() : nullptr;
  }
  // The user's finger on the browser's Back button, through the client's window.
  void back() {
    auto w = clientWindow();
    ASSERT_TRUE(w);
    ASSERT_TRUE(std::dynamic_pointer_cast<platform::Button>(w->tapAtPoint(platform::Point{40, 462})));
    settle();
  }
  // The host takes its banner out of the root view and keeps it (or not).
  void takeOut(bool keep) {
    auto v = banner.lock();
    ASSERT_TRUE(v);
    v->removeFromSuperview();
    std::erase(hostRootViews, v);
    kept = keep ? v : nullptr;
  }
  void putBack() {
    ASSERT_TRUE(kept);
    root->addSubview(kept);
    hostRootViews = root->subviews();
  }
  size_t count(const char* name) const {
    const auto heard = names();
    return static_cast<size_t>(std::count(heard.begin(), heard.end(), std::string(name)));
  }

  void expectPlacementHolds() {
    settle();
    auto& app = platform::Application::sharedApplication();
    // 1. A client window up is key, with the browser's Back in reach; else the host's is.
    if (auto w = clientWindow()) {
      EXPECT_EQ(app.keyWindow(), w);
      EXPECT_FALSE(w->isHidden());
      if (std::any_of(w->subviews().begin(), w->subviews().end(),
                      [](const auto& v) { return std::dynamic_pointer_cast<KvBrowserView>(v) != nullptr; })) {
        EXPECT_TRUE(std::dynamic_pointer_cast<platform::Button>(w->hitTestWithEvent(platform::Point{40, 462}, nullptr)))
            << "Back is out of reach";
      }
    } else {
      EXPECT_EQ(app.keyWindow(), window);
      EXPECT_EQ(root->subviews(), hostRootViews);
    }
    // 2. A banner on screen, with nothing over it, reloads within one period.
    auto v = banner.lock();
    if (v && v->superview() && !clientWindow() && app.applicationState() == platform::ApplicationState::Active) {
      auto pending = v->pendingReloadIntervalForTesting();
      EXPECT_TRUE(pending && *pending <= 30) << "the banner waits for no reload";
    }
    // 3, 4. Each tap that counts is heard once and reported once.
    EXPECT_EQ(count(kKvOnClickAdNotification), clicks);
    EXPECT_EQ(server.clickReports().size(), clicks);
    // 6. Each answer is told at most once (not at all for a banner out of its view), as it was.
    const size_t told = notes.size() - count(kKvOnClickAdNotification);
    EXPECT_LE(told, server.adRequests().size());
    EXPECT_EQ(count(outcome), told);
    // 5. A banner the host let go is gone with its placement.
    if (banner.expired() || (!kept && v && !v->superview())) {
      if (!clientWindow()) {
        v.reset();
        EXPECT_TRUE(banner.expired()) << "the banner outlived the host's hold";
        EXPECT_TRUE(placement.expired()) << "the placement outlived its banner";
      }
    }
  }

  struct Row {
    const char* name;
    int type;  // placed before the row runs; 0: the row places its own
    std::function<void()> run;
  };
  void runRows(const std::vector<Row>& rows) {
    for (const auto& row : rows) {
      SCOPED_TRACE(row.name);
      if (row.type) place(row.type);
      row.run();
      expectPlacementHolds();
      // The next row starts from an empty root and nothing heard.
      for (const auto& v : std::vector(root->subviews())) v->removeFromSuperview();
      kept.reset();
      advance(300);
      settle();
      notes.clear();
      clicks = 0;
      outcome = kKvOnReceiveAdNotification;
      server.http().clearRequests();
    }
  }

  std::weak_ptr<KvAdViewController> placement;
  std::weak_ptr<KvAdView> banner;
  std::weak_ptr<KvPageView> page;
  std::shared_ptr<KvAdView> kept;
  std::vector<std::shared_ptr<platform::View>> hostRootViews;
  size_t clicks = 0;
  const char* outcome = kKvOnReceiveAdNotification;
};

TEST_F(KvEventOrderTest, BannersTakenOutAndTappedHoldWhateverTheOrder) {
  runRows({
      {"a tap opens the browser; Back brings the host's window back and the reload goes on", 1,
       [&] {
         tap();
         expectPlacementHolds();
         back();
       }},
      {"the host takes the banner out, its reload ends the cycle, the host puts it back and the user taps", 1,
       [&] {
         takeOut(true);
         advance(30);
         expectPlacementHolds();
         putBack();
         tap();
         expectPlacementHolds();
         back();
       }},
      {"the page finishes while the banner is out, ending the cycle; put back, tapped", 1,
       [&] {
         auto held = kvAdPage("'s'", "'kv-h'", "'OK'", "<a id=\"ad\" href=\"" + server.url(testkit::KelvaneServer::kLandingPath) + "\">ad</a>");
         held.hold = std::make_shared<testkit::AnswerHold>();
         server.http().setAnswer(testkit::KelvaneServer::kBannerPath, held);
         advance(30);  // the next request is on its way, its answer held back
         ASSERT_TRUE(runUntil([&] { return held.hold->waiting() == 1; }));
         takeOut(true);
         held.hold->release();
         expectPlacementHolds();
         putBack();
         tap();
         back();
       }},
      {"a tap while the next answer is on its way counts for the ad on screen", 1,
       [&] {
         const std::string shownSession = page.lock()->session();
         auto held = kvAdPage("'s-next'", "'kv-n'", "'OK'", "<a id=\"ad\" href=\"" + server.url(testkit::KelvaneServer::kLandingPath) + "\">ad</a>");
         held.hold = std::make_shared<testkit::AnswerHold>();
         server.http().setAnswer(testkit::KelvaneServer::kBannerPath, held);
         advance(30);
         ASSERT_TRUE(runUntil([&] { return held.hold->waiting() == 1; }));
         tap();
         held.hold->release();
         expectPlacementHolds();
         ASSERT_EQ(server.clickReports().size(), 1u);
         EXPECT_EQ(server.clickReports()[0].queryItem("s"), shownSession);
         back();
       }},
      {"the host takes the banner out under its browser; Back; put back and tapped again", 1,
       [&] {
         tap();
         takeOut(true);
         advance(1);
         expectPlacementHolds();
         back();
         expectPlacementHolds();
         putBack();
         tap();
         back();
       }},
  });
}

TEST_F(KvEventOrderTest, BannersUnderTheBrowserAndTheApplicationHoldWhateverTheOrder) {
  auto& app = platform::Application::sharedApplication();
  runRows({
      {"the host lets the banner go under its browser; Back", 1,
       [&] {
         tap();
         takeOut(false);
         advance(1);
         expectPlacementHolds();
         back();
       }},
      {"the host lets the banner go and the cycle ends", 1,
       [&] {
         takeOut(false);
         advance(30);
       }},
      {"the application resigns and comes back while the browser is up", 1,
       [&] {
         tap();
         app.resignActive();
         app.becomeActive();
         expectPlacementHolds();
         back();
       }},
      {"the reload falls due under the browser: nothing loads until Back", 1,
       [&] {
         tap();
         advance(31);
         expectPlacementHolds();
         back();
         advance(30);
       }},
      {"the application is away when the reload falls due, and comes back", 1,
       [&] {
         app.resignActive();
         app.enterBackground();
         advance(30);
         app.enterForeground();
         app.becomeActive();
         expectPlacementHolds();
         advance(30);
       }},
      {"a full-screen ad comes up over the banner's browser and is skipped; then Back", 1,
       [&] {
         tap();
         auto bannerPlacement = placement;
         place(3);
         ASSERT_TRUE(page.lock()->kvWebView()->tapLinkWithElementIdForTesting("skip"));
         placement = bannerPlacement;
         expectPlacementHolds();
         back();
       }},
  });
}

TEST_F(KvEventOrderTest, FullScreenAdsHoldWhateverTheOrder) {
  auto& app = platform::Application::sharedApplication();
  runRows({
      {"a full-screen ad tapped: Back ends the browser and the ad", 3,
       [&] {
         tap();
         expectPlacementHolds();
         back();
       }},
      {"a full-screen ad whose answer fails closes and is told failed once", 0,
       [&] {
         server.setAdStatus(500);
         outcome = kKvOnFailedToReceiveAdNotification;
         ASSERT_TRUE(KelvaneAd::DisplayAdWithTypeWithRootWithReload("kv-app", 3, nullptr, 0));
         ASSERT_TRUE(heardNotes(1));
         placement = KvAdViewController::livePlacementsForTesting().empty()
                         ? std::weak_ptr<KvAdViewController>()
                         : KvAdViewController::livePlacementsForTesting().back();
         expectPlacementHolds();
         server.setAdStatus(200);
       }},
      {"a full-screen ad skipped", 3,
       [&] { ASSERT_TRUE(page.lock()->kvWebView()->tapLinkWithElementIdForTesting("skip")); }},
      {"a full-screen ad tapped while the application resigns and comes back", 3,
       [&] {
         tap();
         app.resignActive();
         app.becomeActive();
         back();
       }},
  });
}

}  // namespace
}  // namespace kelvane
