// The banner slot under orders of events a phone produces: the next ad loading while the
// user taps the one on screen, a landing page open while the application resigns or the host
// lets its banner go, a toast placed straight in the window or in a root view, the full-screen
// overlay. Every row is one line of events; expectSlotHolds checks, after each step that
// matters, what must hold whatever the order: a screen the client put up can be closed (and
// when none is up the window is as the host left it), the slot is not stuck, the host hears
// each opening once and closed once in order, every tap the row made opened its landing page,
// no ad page is left behind, and a good ad heard is an ad shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "PELOAutoReloadTimer.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOFullScreenBanner.h"
#include "pelora/PELOToastBannerView.h"
#include "platform/application.h"

namespace {

using pelora::ORMMAConnector;
using platform::Rect;
using platform::View;
using platform::WebView;

struct Presentations : pelora::PELOBannerViewDelegate {
  void landingPageWillBeDisplayed() override { events.push_back('W'); }
  void landingPageHasBeenClosed() override { events.push_back('C'); }
  std::string events;
};

enum class Place { InRoot, ToastInWindow, ToastInRoot, FullScreen };

class PELOEventOrderTest : public pelora_test::PeloraTest {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    root = std::make_shared<View>(Rect(0, 0, 320, 480));
    window->addSubview(root);
  }

  void place(Place where) {
    switch (where) {
      case Place::InRoot:
        banner = pelora::PELOBannerView::create();
        banner->setFrame(Rect(0, 100, 320, 50));
        root->addSubview(banner);
        banner->setDelegate(presentations);
        break;
      case Place::ToastInWindow:
      case Place::ToastInRoot:
        toast = pelora::PELOToastBannerView::create();
        (where == Place::ToastInWindow ? std::static_pointer_cast<View>(window) : root)->addSubview(toast);
        toast->setDelegate(presentations);
        banner = toast->bannerViewForTesting();
        break;
      case Place::FullScreen:
        server->setAd(server->imageAd("fs"));
        overlay = pelora::PELOFullScreenBanner::create();
        window->addSubview(overlay);
        banner = overlay->bannerViewForTesting();
        break;
    }
    banner->addAdListener(listener);
    connector = banner->ormmaConnectorForTesting();
    hostWindowViews = window->subviews();
    hostRootViews = root->subviews();
    statusBarHidden = platform::Application::sharedApplication().isStatusBarHidden();
    idleTimerDisabled = platform::Application::sharedApplication().isIdleTimerDisabled();
    if (overlay) advance(pelora::PELOAdDownloader::kStartDelay), settle();
  }

  void settle() {
    settleTraffic();
    runUntilIdle();
    advance(0.6);  // every slide, expand, close and fade is over
    settleTraffic();
    runUntilIdle();
  }
  std::shared_ptr<WebView> shown() const { return connector ? connector->ormmaView() : nullptr; }
  std::shared_ptr<WebView> show(const testkit::PeloraAd& ad) {
    server->setAd(ad);
    if (toast) toast->asyncLoadNewBanner();
    else banner->asyncLoadNewBanner();
    advance(pelora::PELOAdDownloader::kStartDelay);
    settle();
    return shown();
  }
  // The next ad, a rich-media page whose own script the server holds back: it stays in the
  // building until `hold` is released.
  std::shared_ptr<testkit::AnswerHold> startHeldAd(const std::string& id) {
    auto slow = testkit::ScriptedAnswer::text("var late = 1;");
    slow.hold = std::make_shared<testkit::AnswerHold>();
    server->http().setAnswer("/pelora/slow" + id + ".js", slow);
    server->setAd(server->richMediaAd("<p>next</p><script src=\"" + server->url("/pelora/slow" + id + ".js") + "\"></script>", id));
    banner->asyncLoadNewBanner();
    advance(pelora::PELOAdDownloader::kStartDelay);
    EXPECT_TRUE(runUntil([&] { return slow.hold->waiting() == 1; }));
    return slow.hold;
  }
  // The user taps the link of the ad on screen: it should open a landing page.
  void tapLink(const std::shared_ptr<WebView>& page, const std::string& id) {
    ASSERT_NE(page, nullptr);
    ++tapsThatOpen;
    page->tapLinkWithURLForTesting(server->clickURL(id));
    runUntilIdle();
  }
  // A finger on the page, whose handler runs `script`.
  void tapPage(const std::shared_ptr<WebView>& page, const std::string& script) {
    const Rect r = window->convertRectFromView(page->bounds(), page);
    ASSERT_NE(window->tapAtPoint({r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2}), nullptr);
    page->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
  }
  // The user's finger on the landing page's close button, through the window.
  void closeByFinger() {
    auto close = connector->closeButtonForTesting();
    ASSERT_NE(close, nullptr);
    const Rect r = window->convertRectFromView(close->bounds(), close);
    ASSERT_EQ(window->tapAtPoint({r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2}), close);
    settle();
  }
  // The host lets its slot go (taking it out of its view).
  void hostReleasesSlot() {
    std::shared_ptr<View> slot = toast ? std::static_pointer_cast<View>(toast) : banner;
    std::erase(hostRootViews, slot);
    std::erase(hostWindowViews, slot);
    slot->removeFromSuperview();
    banner.reset();
    toast.reset();
    connector.reset();
  }

  static size_t webViewsIn(const std::shared_ptr<View>& v) {
    size_t n = 0;
    for (const auto& s : v->subviews()) n += std::dynamic_pointer_cast<WebView>(s) != nullptr;
    return n;
  }

  void expectSlotHolds() {
    settle();
    const int state = connector ? connector->bannerState() : ORMMAConnector::kDefault;
    const bool expanded = state == ORMMAConnector::kExpanded;
    const bool video = state == ORMMAConnector::kLoadingVideo || state == ORMMAConnector::kPlayingVideo;
    // 1. What the client put up can be closed; without it the window is as the host left it.
    if (video) {
      auto player = connector->moviePlayerForTesting();
      ASSERT_NE(player, nullptr);
      EXPECT_TRUE(player->view()->isShownOnScreen()) << "the video, with its controls, is not on screen";
    } else if (expanded) {
      auto page = shown();
      ASSERT_NE(page, nullptr);
      EXPECT_TRUE(page->isShownOnScreen()) << "the landing page is not on screen";
      if (!connector->isORMMA()) {
        auto close = connector->closeButtonForTesting();
        ASSERT_NE(close, nullptr);
        const Rect r = window->convertRectFromView(close->bounds(), close);
        EXPECT_EQ(window->hitTestWithEvent({r.origin.x + r.size.width / 2, r.origin.y + 2}, nullptr), close)
            << "the close button is out of reach";
      }
    } else {
      auto windowViews = window->subviews();
      if (overlay && !overlay->superview()) std::erase(hostWindowViews, overlay);
      EXPECT_EQ(windowViews, hostWindowViews);
      EXPECT_EQ(root->subviews(), hostRootViews);
      EXPECT_EQ(platform::Application::sharedApplication().isStatusBarHidden(), statusBarHidden);
      EXPECT_EQ(platform::Application::sharedApplication().isIdleTimerDisabled(), idleTimerDisabled);
    }
    if (!banner) return;
    // 2. The slot is not stuck: nothing stays half built, the reload runs when on.
    if (!expanded && !video) {
      EXPECT_FALSE(banner->isLoadingForTesting()) << "an ad stays in the building";
      if (banner->autoReloadEnabled()) {
        EXPECT_TRUE(banner->reloadTimerForTesting()->isRunningForTesting());
      }
    }
    // 3. Each opening is heard once, then its close once.
    const std::string& ev = presentations->events;
    for (size_t i = 0; i < ev.size(); ++i) EXPECT_EQ(ev[i], i % 2 ? 'C' : 'W') << ev;
    if (!expanded && !ev.empty()) {
      EXPECT_EQ(ev.back(), 'C') << ev;
    }
    for (size_t i = 1; i < heard.size(); ++i)
      EXPECT_NE(heard[i].banner, heard[i - 1].banner) << "a banner was told twice";
    // 4. Every tap opened its landing page.
    if (!overlay) {
      EXPECT_EQ(static_cast<int>(std::count(ev.begin(), ev.end(), 'W')), tapsThatOpen);
    }
    // 5. No ad page is left behind: the banner holds the ad shown and at most the one built.
    EXPECT_LE(webViewsIn(banner), banner->isLoadingForTesting() ? 2u : 1u);
    if (!expanded && !video) {
      EXPECT_EQ(webViewsIn(window) + webViewsIn(root) + (overlay ? webViewsIn(overlay) : 0), 0u);
    }
    // 6. A good ad heard, with nothing over the application, is an ad on screen.
    if (!heard.empty() && heard.back().banner->status() == pelora::kPELOBannerStatusSuccess && !expanded &&
        !video && state != ORMMAConnector::kHidden && (!overlay || overlay->superview())) {
      EXPECT_TRUE(banner->isShownOnScreen()) << "a good ad is not shown";
      EXPECT_EQ(shown(), banner->currentViewForTesting());
    }
  }

  struct Row {
    const char* name;
    Place where;
    std::function<void()> run;
  };
  void runRows(const std::vector<Row>& rows) {
    for (const auto& row : rows) {
      SCOPED_TRACE(row.name);
      place(row.where);
      row.run();
      expectSlotHolds();
      // The next row starts from an empty slot.
      if (banner) banner->removeFromSuperview();
      for (const auto& v : {std::shared_ptr<View>(toast), std::shared_ptr<View>(overlay)})
        if (v) v->removeFromSuperview();
      banner.reset();
      toast.reset();
      overlay.reset();
      connector.reset();
      presentations->events.clear();
      heard.clear();
      tapsThatOpen = 0;
      settle();
    }
  }

  std::shared_ptr<platform::Window> window;
  std::shared_ptr<View> root;
  std::shared_ptr<pelora::PELOBannerView> banner;
  std::shared_ptr<pelora::PELOToastBannerView> toast;
  std::shared_ptr<pelora::PELOFullScreenBanner> overlay;
  std::shared_ptr<ORMMAConnector> connector;
  std::shared_ptr<Presentations> presentations = std::make_shared<Presentations>();
  std::shared_ptr<pelora_test::RecordingListener> listener =
      std::make_shared<pelora_test::RecordingListener>("host", &heard);
  std::vector<std::shared_ptr<View>> hostWindowViews, hostRootViews;
  bool statusBarHidden = false, idleTimerDisabled = false;
  int tapsThatOpen = 0;
};

TEST_F(PELOEventOrderTest, TheBannerSlotHoldsWhateverTheOrder) {
  runRows({
      {"image ad: a tap opens the landing page, its close button brings the next ad", Place::InRoot,
       [&] {
         tapLink(show(server->imageAd("1")), "1");
         expectSlotHolds();
         closeByFinger();
       }},
      {"a tap on the ad on screen while the next one loads opens its landing page; the next waits for the close",
       Place::InRoot,
       [&] {
         auto a = show(server->imageAd("1"));
         auto hold = startHeldAd("2");
         tapLink(a, "1");
         expectSlotHolds();
         hold->release();
         expectSlotHolds();
         EXPECT_EQ(shown(), a);
         closeByFinger();
         EXPECT_NE(shown(), a);
       }},
      {"the next ad, swapped in when its page loads, opens its own landing page", Place::InRoot,
       [&] {
         auto a = show(server->imageAd("1"));
         auto hold = startHeldAd("2");
         hold->release();
         expectSlotHolds();
         ++tapsThatOpen;
         tapPage(shown(), "pelora_bridge.expandLegacy()");
         closeByFinger();
       }},
      {"a second answer arrives while the first is still being built", Place::InRoot,
       [&] {
         show(server->imageAd("1"));
         auto hold = startHeldAd("2");
         server->setAd(server->imageAd("3"));
         banner->downloaderForTesting()->asyncLoadNewBanner();
         advance(pelora::PELOAdDownloader::kStartDelay);
         hold->release();
         expectSlotHolds();
       }},
      {"an error answer arrives while the next ad is being built", Place::InRoot,
       [&] {
         show(server->imageAd("1"));
         auto hold = startHeldAd("2");
         server->setAd(testkit::PeloraServer::errorAd("106", "none"));
         banner->downloaderForTesting()->asyncLoadNewBanner();
         advance(pelora::PELOAdDownloader::kStartDelay);
         hold->release();
         expectSlotHolds();
         EXPECT_TRUE(banner->isHidden());
       }},
      {"the close button is tapped while the landing page still slides open", Place::InRoot,
       [&] {
         tapLink(show(server->imageAd("1")), "1");
         advance(0.1);
         closeByFinger();
       }},
      {"the application resigns and comes back while the landing page is open", Place::InRoot,
       [&] {
         banner->setAutoReloadEnabled(true);
         tapLink(show(server->imageAd("1")), "1");
         platform::Application::sharedApplication().resignActive();
         platform::Application::sharedApplication().becomeActive();
         expectSlotHolds();
         closeByFinger();
       }},
      {"the host lets its banner go while the landing page is open", Place::InRoot,
       [&] {
         tapLink(show(server->imageAd("1")), "1");
         hostReleasesSlot();
       }},
      {"the ad on screen plays its video while the next one loads; the next shows when the video ends", Place::InRoot,
       [&] {
         auto a = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative(), "1"));
         auto hold = startHeldAd("2");
         tapPage(a, "document.location='" + server->url("/pelora/movie.mp4") + "'");
         auto player = connector->moviePlayerForTesting();
         ASSERT_NE(player, nullptr);
         hold->release();
         expectSlotHolds();
         player->setLoadStateForTesting(platform::kMovieLoadStatePlayable);
         expectSlotHolds();
         EXPECT_EQ(shown(), a);
         player->finishPlaybackForTesting();
         expectSlotHolds();
         EXPECT_NE(shown(), a);
       }},
  });
}

TEST_F(PELOEventOrderTest, ToastsAndTheOverlayHoldWhateverTheOrder) {
  // The toast's ad expands on a tap; once its landing page closes, the next ad shows the toast.
  const auto toastAdExpandsAndComesBack = [&] {
    auto ad = show(server->richMediaAd("<p id=\"legacy\">Tap me</p>", "1"));
    ++tapsThatOpen;
    tapPage(ad, "pelora_bridge.expandLegacy()");
    expectSlotHolds();
    server->setAd(server->imageAd("2"));
    closeByFinger();
    EXPECT_FALSE(toast->isHidden());
  };
  runRows({
      {"the host lets its toast go while the landing page is open over the window", Place::ToastInWindow,
       [&] {
         auto ad = show(server->richMediaAd("<p>Tap me</p>", "1"));
         ++tapsThatOpen;
         tapPage(ad, "pelora_bridge.expandLegacy()");
         hostReleasesSlot();
       }},
      {"a toast straight in the window: its ad expands over the application and the slot comes back", Place::ToastInWindow,
       toastAdExpandsAndComesBack},
      {"a toast in a root view: the same", Place::ToastInRoot,
       toastAdExpandsAndComesBack},
      {"a good ad arrives while the toast slides out on an error: the toast comes back", Place::ToastInRoot,
       [&] {
         show(server->imageAd("1"));
         server->setAds({testkit::PeloraServer::errorAd("106", "none"), server->imageAd("2")});
         for (int i = 0; i < 2; ++i) {
           toast->asyncLoadNewBanner();
           advance(pelora::PELOAdDownloader::kStartDelay);
           settleTraffic();
           runUntilIdle();
         }
         expectSlotHolds();
         EXPECT_FALSE(toast->isHidden());
       }},
      {"a toast's ORMMA ad expands and closes itself: the toast shows it again", Place::ToastInWindow,
       [&] {
         auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative(), "1"));
         ++tapsThatOpen;
         tapPage(ad, "ormma.expand({x: 0, y: 0, width: 320, height: 300}, null)");
         expectSlotHolds();
         ad->stringByEvaluatingJavaScriptFromString("ormma.close()");
         settle();
         EXPECT_FALSE(toast->isHidden());
       }},
      {"the full-screen overlay: a tap opens the landing page, its close ends the overlay", Place::FullScreen,
       [&] {
         tapLink(shown(), "fs");
         expectSlotHolds();
         closeByFinger();
         EXPECT_EQ(overlay->superview(), nullptr);
       }},
  });
}

}  // namespace
