// Rich-media ads end to end: pages from the sandbox server whose bridge scripts send real
// "pelora://" commands, the connector expanding, closing, hiding and showing the banner in a
// window, the change events the page's own ormmaview records, alerts before leaving, videos.
#include <gtest/gtest.h>

#include <functional>

#include "ORMMAConnector.h"
#include "PELOAdDownloader.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOBannerView.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/window.h"

namespace {

using pelora::ORMMAConnector;
using pelora::PELOBannerView;
using platform::Rect;
using platform::WebView;

struct LandingPageDelegate : pelora::PELOBannerViewDelegate {
  void landingPageWillBeDisplayed() override { ++opened; }
  void landingPageHasBeenClosed() override { ++closed; }
  int opened = 0, closed = 0;
};

class ORMMAConnectorTest : public pelora_test::PeloraSlotTest {
 protected:
  void SetUp() override {
    PeloraSlotTest::SetUp();
    view->setDelegate(delegate);
  }

  // Runs `script` in the page and lets its navigations reach the connector.
  void page(const std::shared_ptr<WebView>& webView, const std::string& script) {
    webView->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
  }
  // The user touches the page, whose handler then runs `script`.
  void tapped(const std::shared_ptr<WebView>& webView, const std::string& script) {
    ASSERT_TRUE(touch(webView));
    page(webView, script);
  }
  static std::string changes(const std::shared_ptr<WebView>& webView) {
    return webView->stringByEvaluatingJavaScriptFromString("ormmaview.changes.join('|')");
  }
  static bool evaluated(const std::shared_ptr<WebView>& webView, const std::string& script) {
    for (const auto& s : webView->evaluatedScriptsForTesting())
      if (s == script) return true;
    return false;
  }

  std::shared_ptr<LandingPageDelegate> delegate = std::make_shared<LandingPageDelegate>();
};

TEST_F(ORMMAConnectorTest, AnORMMAAdHearsItsGeometryExpandsAndClosesThroughItsOwnScripts) {
  auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative()));
  ASSERT_NE(ad, nullptr);
  EXPECT_TRUE(connector->isORMMA());
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_TRUE(evaluated(ad, "javascript:window.ormmaview.fireChangeEvent({ state: 'default', size: { width: 320, height: 50 }"
                            ", maxSize: { width: 320, height: 460 }, screenSize: { width: 320, height: 460 }"
                            ", defaultPosition: { x: 0, y: 100, width: 320, height: 50 }, orientation:0 "
                            ", supports: ['level-1','screen','orientation'] });"));
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("ormma.getState()"), "default");

  tapped(ad, "ormma.expand({x: 10, y: 5, width: 300, height: 250}, null)");
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kExpanded);
  EXPECT_EQ(ad->superview(), master);
  EXPECT_EQ(connector->closeButtonForTesting(), nullptr);  // the creative closes itself
  EXPECT_EQ(delegate->opened, 1);
  advance(0.5);
  EXPECT_EQ(ad->frame(), Rect(10, 20, 300, 250));
  EXPECT_TRUE(evaluated(ad, "javascript:window.ormmaview.fireChangeEvent({state: 'expanded', size:{ width: 300, height: 250}});"));
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("creativeStates.join(',')"), "default,expanded");

  page(ad, "ormma.close()");
  advance(0.3);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_EQ(ad->superview(), view);
  EXPECT_EQ(ad->frame(), Rect(0, 0, 320, 50));
  EXPECT_FALSE(view->isHidden());
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("creativeStates.join(',')"), "default,expanded,default");
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("ormma.getSize().width"), "320");
  EXPECT_EQ(delegate->closed, 1);
}

TEST_F(ORMMAConnectorTest, ExpandRectangleFollowsDeviceAndStatusBar) {
  struct Case {
    const char* name;
    platform::UserInterfaceIdiom idiom;
    bool statusBarHidden;
    const char* call;
    Rect expected;
  };
  const Case cases[] = {
      {"phone, bar shown: y below 20 moves down", platform::UserInterfaceIdiom::Phone, false,
       "pelora_bridge.expand(10, 5, 300, 250)", Rect(10, 20, 300, 250)},
      {"pad keeps y", platform::UserInterfaceIdiom::Pad, false, "pelora_bridge.expand(10, 5, 300, 250)", Rect(10, 5, 300, 250)},
      {"phone, bar hidden keeps y", platform::UserInterfaceIdiom::Phone, true, "pelora_bridge.expand(10, 5, 300, 250)",
       Rect(10, 5, 300, 250)},
      {"only x and y: master rectangle", platform::UserInterfaceIdiom::Phone, false,
       "document.location = 'pelora://expand/10/5'", Rect(0, 20, 320, 460)},
      {"only x and y, pad: master bounds", platform::UserInterfaceIdiom::Pad, false,
       "document.location = 'pelora://expand/10/5'", Rect(0, 0, 320, 480)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    platform::Application::sharedApplication().setStatusBarHidden(c.statusBarHidden);
    auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative()));
    ASSERT_NE(ad, nullptr);
    tapped(ad, c.call);
    advance(0.5);
    EXPECT_EQ(ad->frame(), c.expected);
    page(ad, "pelora_bridge.close()");
    advance(0.3);
    ASSERT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  }
}

TEST_F(ORMMAConnectorTest, HideAndShowRestoreTheEarlierState) {
  auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative()));
  ASSERT_NE(ad, nullptr);
  page(ad, "pelora_bridge.showAlert('hi')");  // counts as show: nothing while visible
  EXPECT_FALSE(view->isHidden());
  page(ad, "ormma.hide()");
  page(ad, "ormma.hide()");
  EXPECT_TRUE(view->isHidden());
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kHidden);
  page(ad, "pelora_bridge.showAlert('hi')");
  EXPECT_FALSE(view->isHidden());
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("creativeStates.join(',')"), "default,hidden,default");
  // Commands the connector leaves alone.
  page(ad, "pelora_bridge.activate('tiltChange'); pelora_bridge.resize(10, 10); pelora_bridge.deactivate('x')");
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_EQ(ad->frame(), Rect(0, 0, 320, 50));
}

TEST_F(ORMMAConnectorTest, ALandingPageOpensOnceAndItsCloseButtonAsksForTheNextAd) {
  auto ad = show(server->richMediaAd("<p id=\"legacy\">Tap me</p>"));
  ASSERT_NE(ad, nullptr);
  EXPECT_FALSE(connector->isORMMA());
  tapped(ad, "pelora_bridge.expandLegacy()");
  advance(0.5);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kExpanded);
  EXPECT_EQ(ad->frame(), Rect(0, 20, 320, 460));
  auto close = connector->closeButtonForTesting();
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->superview(), master);
  EXPECT_EQ(close->frame().origin.x, 320 - close->frame().size.width);
  EXPECT_EQ(close->alpha(), 1);
  // Legacy expands are switched off in the page itself.
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("String(pelora_bridge.expandLegacy).indexOf('legacyExpand')"), "-1");

  tapped(ad, "pelora_bridge.expand(0, 0, 100, 100)");  // a second expand only tells the delegate
  EXPECT_EQ(delegate->opened, 2);
  EXPECT_EQ(ad->frame(), Rect(0, 20, 320, 460));

  const size_t requests = server->adRequests().size();
  close->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  page(ad, "pelora_bridge.close()");  // while the first close still runs
  advance(0.3);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_TRUE(view->isHidden());
  EXPECT_EQ(view->alpha(), 1);
  EXPECT_EQ(close->superview(), nullptr);
  EXPECT_EQ(delegate->closed, 1);
  advance(pelora::PELOAdDownloader::kStartDelay);
  EXPECT_EQ(server->adRequests().size(), requests + 1);
}

TEST_F(ORMMAConnectorTest, LeavingTheApplicationIsAnnouncedOrConfirmed) {
  auto& app = platform::Application::sharedApplication();
  app.registerOpenableScheme("tel");
  app.registerOpenableScheme("sms");
  app.registerOpenableScheme("itms");
  app.registerOpenableScheme("otherapp");
  struct Case {
    const char* name;
    std::string call;
    std::string message;                   // of the alert; "" for none
    std::vector<std::string> buttons;      // cancel first
    std::optional<std::string> opened;     // after the confirming button (or the delay)
    bool alertSwitch = false;
    bool touched = true;
  };
  const std::string map = std::string(ORMMAConnector::kMapPrefix) + "?q=berlin";
  const std::string store = std::string(ORMMAConnector::kStorePrefix) + "app/1";
  const std::string itms = std::string(ORMMAConnector::kStoreSchemePrefix) + "album/2";
  const Case cases[] = {
      {"phone link", "document.location='tel:555123'", "555123", {"Cancel", "Call"}, "tel:555123"},
      {"sms link", "document.location='sms:555123'", "Opening SMS", {"Cancel", "Ok"}, "sms:555123"},
      {"map link, switch off: told, then opened", "document.location='" + map + "'", "Opening Map", {"OK"}, map},
      {"store link", "document.location='" + store + "'", "Opening AppStore", {"OK"}, store},
      {"store scheme", "document.location='" + itms + "'", "Opening iTunes", {"OK"}, itms},
      {"open of a phone number confirms", "pelora_bridge.open('tel:555123')", "555123", {"Cancel", "Call"}, "tel:555123"},
      {"open of an sms confirms", "ormma.open('sms:555')", "Opening SMS", {"Cancel", "Ok"}, "sms:555"},
      {"open of a phone number in capitals confirms", "ormma.open('TEL:555')", "555", {"Cancel", "Call"}, "tel:555"},
      {"open of a store link goes at once", "ormma.open('" + store + "')", "", {}, store},
      {"open of the store scheme goes at once", "ormma.open('" + itms + "')", "", {}, itms},
      {"open of another application goes at once", "ormma.open('otherapp://launch')", "", {}, "otherapp://launch"},
      {"open of another application, switch on: at once", "ormma.open('otherapp://on')", "", {}, "otherapp://on", true},
      {"open of another application untouched: nothing", "ormma.open('otherapp://x')", "", {}, std::nullopt, false, false},
      {"open of a web address goes at once", "ormma.open('http://example.org/x')", "", {}, "http://example.org/x"},
      {"open of https goes at once", "ormma.open('https://example.org/y')", "", {}, "https://example.org/y"},
      {"openMap leaves nothing to open", "pelora_bridge.openMap('Berlin', true)", "", {}, std::nullopt},
      {"https link refused", "document.location='https://example.org/z'", "", {}, std::nullopt},
      {"other scheme link refused", "document.location='otherapp://x'", "", {}, std::nullopt},
  };
  auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative()));
  ASSERT_NE(ad, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t alerts = platform::AlertView::shownAlerts().size();
    const size_t opens = app.openedURLs().size();
    pelora::PELOGlobalSettings::globalSettings()->setShowAlertPopup(c.alertSwitch);
    if (c.touched) {
      tapped(ad, c.call);
    } else {
      page(ad, c.call);
    }
    const auto shown = platform::AlertView::shownAlerts();
    if (c.message.empty()) {
      EXPECT_EQ(shown.size(), alerts);
    } else {
      ASSERT_EQ(shown.size(), alerts + 1);
      const auto& alert = shown.back();
      EXPECT_EQ(alert->message(), c.message);
      std::vector<std::string> buttons;
      for (long i = 0; i < alert->numberOfButtons(); ++i) buttons.push_back(alert->buttonTitleAtIndex(i));
      EXPECT_EQ(buttons, c.buttons);
      EXPECT_EQ(app.openedURLs().size(), opens);  // nothing before the answer
      if (c.buttons.size() > 1) {
        alert->clickButtonAtIndex(1);
        advance(0.2);
      } else {
        advance(0.99);
        EXPECT_EQ(app.openedURLs().size(), opens);
        advance(0.01);
        EXPECT_FALSE(alert->isVisible());
      }
    }
    runUntilIdle();
    if (c.opened) {
      ASSERT_EQ(app.openedURLs().size(), opens + 1);
      EXPECT_EQ(app.openedURLs().back(), *c.opened);
    } else {
      EXPECT_EQ(app.openedURLs().size(), opens);
    }
    EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  }

  // Cancel opens nothing.
  const size_t opens = app.openedURLs().size();
  tapped(ad, "ormma.open('sms:555')");
  platform::AlertView::shownAlerts().back()->clickButtonAtIndex(0);
  advance(1.0);
  EXPECT_EQ(app.openedURLs().size(), opens);
  EXPECT_EQ(connector->externalRequestURLForTesting(), std::nullopt);
}

TEST_F(ORMMAConnectorTest, AReplacedPageNoLongerSpeaksForTheSlot) {
  auto old = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative(), "1"));
  ASSERT_NE(old, nullptr);
  auto current = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative(), "2"));
  ASSERT_NE(current, old);
  page(old, "pelora_bridge.hide(); ");
  page(old, "pelora_bridge.expand(0, 0, 100, 100)");
  page(old, "ormma.open('http://example.org/')");
  // Nor does a touch on the page that shows reach the old one.
  ASSERT_TRUE(touch(current));
  page(old, "ormma.open('http://example.org/')");
  EXPECT_FALSE(view->isHidden());
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
}

TEST_F(ORMMAConnectorTest, AVideoLinkPlaysFullScreenThroughItsLoadStates) {
  auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative()));
  ASSERT_NE(ad, nullptr);
  tapped(ad, "document.location='" + server->url("/pelora/movie.mp4") + "'");
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kLoadingVideo);
  auto player = connector->moviePlayerForTesting();
  ASSERT_NE(player, nullptr);
  EXPECT_TRUE(player->isFullscreen());
  EXPECT_EQ(player->view()->superview(), master);
  EXPECT_EQ(player->view()->frame(), Rect(0, 0, 320, 480));
  view->asyncLoadNewBanner();  // no new ad while a video plays
  advance(pelora::PELOAdDownloader::kStartDelay);

  player->setLoadStateForTesting(platform::kMovieLoadStatePlayable);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kPlayingVideo);
  EXPECT_EQ(player->playbackState(), platform::MoviePlaybackState::Playing);
  player->finishPlaybackForTesting();
  advance(0.5);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
  EXPECT_EQ(connector->moviePlayerForTesting(), nullptr);
  EXPECT_EQ(player->view()->superview(), nullptr);
  EXPECT_EQ(server->adRequests().size(), 1u);
}

TEST_F(ORMMAConnectorTest, TappingAVideoAdOpensItsLandingPageExpanded) {
  testkit::PeloraAd video;
  video.type = "VIDEO";
  video.mediaFile = server->url("/pelora/ad.mp4");
  video.clickUrl = server->clickURL("v");
  server->setAd(video);
  view->asyncLoadNewBanner();
  advance(pelora::PELOAdDownloader::kStartDelay);
  ASSERT_FALSE(heard.empty());
  ASSERT_NE(view->moviePlayerForTesting(), nullptr);

  window->makeKeyAndVisible();
  EXPECT_EQ(window->tapAtPoint(platform::Point{100, 120}), view);
  auto landing = std::dynamic_pointer_cast<WebView>(view->currentViewForTesting());
  ASSERT_NE(landing, nullptr);
  EXPECT_EQ(connector->ormmaView(), landing);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kExpanded);
  EXPECT_EQ(landing->superview(), master);
  EXPECT_NE(connector->closeButtonForTesting(), nullptr);
  EXPECT_EQ(view->moviePlayerForTesting(), nullptr);
  ASSERT_TRUE(runUntil([&] { return !server->http().requestsTo("/pelora/click/v").empty(); }));
  advance(0.5);
  EXPECT_EQ(landing->frame(), Rect(0, 20, 320, 460));

  // A second touch reaching the banner while the landing page is open changes nothing.
  view->touchesEndedWithEvent({}, platform::Event{});
  EXPECT_EQ(view->currentViewForTesting(), landing);
  EXPECT_EQ(connector->bannerState(), ORMMAConnector::kExpanded);
  connector->closeButtonForTesting()->sendActionsForControlEvents(platform::kControlEventTouchUpInside);
  advance(0.3);
  EXPECT_EQ(landing->superview(), view);
  EXPECT_TRUE(view->isHidden());
}

// A click address that redirects to the store is where the user's tap was going: the store
// is announced once, and the page gets no further way out without another touch.
TEST_F(ORMMAConnectorTest, AClickAddressLeadingToTheStoreIsAnnouncedOnceAfterTheTap) {
  const std::string store = std::string(ORMMAConnector::kStorePrefix) + "app/9";
  server->http().setAnswer("/pelora/click/store", testkit::ScriptedAnswer::redirect(store));
  struct Case {
    const char* name;
    std::function<std::shared_ptr<WebView>()> tap;  // the user's tap; the landing page's view
  };
  const Case cases[] = {
      {"the link of an image ad",
       [&] {
         auto a = server->imageAd();
         a.clickUrl = server->clickURL("store");
         auto ad = show(a);
         EXPECT_TRUE(ad && ad->tapLinkWithURLForTesting(server->clickURL("store")));
         return ad;
       }},
      {"a video ad",
       [&] {
         testkit::PeloraAd video;
         video.type = "VIDEO";
         video.mediaFile = server->url("/pelora/ad.mp4");
         video.clickUrl = server->clickURL("store");
         show(video);
         EXPECT_EQ(window->tapAtPoint(platform::Point{100, 120}), view);
         return std::dynamic_pointer_cast<WebView>(view->currentViewForTesting());
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t alerts = platform::AlertView::shownAlerts().size();
    auto landing = c.tap();
    ASSERT_NE(landing, nullptr);
    ASSERT_TRUE(runUntil([&] { return platform::AlertView::shownAlerts().size() > alerts; }));
    runUntilIdle();
    EXPECT_EQ(platform::AlertView::shownAlerts().back()->message(), "Opening AppStore");
    page(landing, "document.location = 'tel:555'");  // no second way out from the same tap
    EXPECT_EQ(platform::AlertView::shownAlerts().size(), alerts + 1);
    const size_t ads = heard.size();
    advance(1.0);  // the store opens and the landing page closes
    EXPECT_EQ(platform::Application::sharedApplication().openedURLs().back(), store);
    advance(0.3);
    EXPECT_EQ(connector->bannerState(), ORMMAConnector::kDefault);
    // Closing asked for the next ad; it comes before the next case asks for its own.
    advance(pelora::PELOAdDownloader::kStartDelay);
    ASSERT_GT(heard.size(), ads);
    runUntilIdle();
  }
}

TEST_F(ORMMAConnectorTest, TurningTheDeviceTellsThePage) {
  auto ad = show(server->richMediaAd(testkit::PeloraServer::ormmaCreative()));
  ASSERT_NE(ad, nullptr);
  auto& device = platform::Device::currentDevice();
  device.setOrientation(platform::DeviceOrientation::LandscapeRight);
  EXPECT_TRUE(evaluated(ad, "javascript:window.ormmaview.fireChangeEvent({maxSize: { width: 320, height: 460 }"
                            ", screenSize: { width: 320, height: 460 }"
                            ", defaultPosition: { x: 0, y: 100, width: 320, height: 50 }, orientation:90});"));
  device.setOrientation(platform::DeviceOrientation::LandscapeLeft);
  EXPECT_TRUE(evaluated(ad, "javascript:window.ormmaview.fireChangeEvent({ orientation:270});"));
  device.setOrientation(platform::DeviceOrientation::FaceUp);  // ignored
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("ormma.getOrientation()"), "270");
  EXPECT_EQ(ad->stringByEvaluatingJavaScriptFromString("ormmaview.changes.length"), "3");
}

}  // namespace
