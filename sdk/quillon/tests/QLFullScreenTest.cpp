// Full-screen pages over loopback: a tapped banner opens the in-app browser or the web-app
// page, brackets the stay with its delegate events and pauses its refresh meanwhile; an
// interstitial becomes ready, is shown and closed; a window takeover that times out gives
// the window back and is reported with the next request.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "QLTestPrinters.h"

#include "QLHeardEvents.h"
#include "QLScreenTest.h"
#include "QLRequestPrivate.h"
#include "QLBrowserController.h"
#include "QLFullScreenOpener.h"
#include "QLStatistics.h"
#include "QLViewController.h"
#include "QLWebAppViewController.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/user_defaults.h"
#include "platform/view_controller.h"
#include "platform/window.h"
#include "quillon/QLBannerView.h"
#include "quillon/QLInterstitial.h"
#include "testing/quillon_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Rect;
using quillon::QLBannerView;
using testkit::QuillonServer;

using Events = quillon_test::HeardEvents;

class QLFullScreenTest : public quillon_test::QLScreenTest {
 protected:
  std::shared_ptr<quillon::QLViewController> shownPage() {
    return std::dynamic_pointer_cast<quillon::QLViewController>(root->presentedViewController());
  }
  // A banner of the fixture's controller and delegate, loaded and shown.
  std::shared_ptr<QLBannerView> shownBanner() {
    auto banner = QLBannerView::create(Rect(0, 0, 320, 50));
    banner->setDelegate(events);
    banner->setRootViewController(root);
    banner->loadRequest(quillon::QLRequest::request());
    EXPECT_TRUE(runUntil([&] { return banner->stateForTesting() == 6; }));
    return banner;
  }
  // A finger lifting from the banner, shown in the window.
  void touch(const std::shared_ptr<QLBannerView>& banner) {
    window->addSubview(banner);
    window->touchDownAtPoint({5, 5});
    window->touchUpAtPoint({5, 5});
  }
  // A finger on the shown banner, then a tap on its link.
  void tap(const std::shared_ptr<QLBannerView>& banner, const std::string& url) {
    touch(banner);
    advance(0.2);
    ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting(url));
    ASSERT_TRUE(runUntil([&] { return shownPage() != nullptr; }));
    advance(1);  // the presentation's animation
  }

  std::shared_ptr<Events> events = std::make_shared<Events>();
};

TEST_F(QLFullScreenTest, ATapOpensAPageThatPausesTheRefreshUntilItIsClosed) {
  const std::string target = server.url("/landing/t");
  server.addClick("t");
  for (bool clickTrackers : {false, true}) {
    SCOPED_TRACE(clickTrackers);
    events->seen.clear();
    server.http().clearRequests();
    std::string tracker = server.impressionURL("click-tracker");
    server.setAdAnswer("<html><body><a href=\"" + target + "\">go</a></body></html>",
                       {{"X-Quillon-Refresh-Rate", "30"},
                        {"X-Quillon-Click-Tracking-Urls", clickTrackers ? tracker : std::string()}});
    auto banner = shownBanner();
    tap(banner, target);
    auto page = shownPage();
    // The web-app page when click trackers wait for the click, which are then fetched once.
    EXPECT_EQ(std::dynamic_pointer_cast<quillon::QLWebAppViewController>(page) != nullptr, clickTrackers);
    if (clickTrackers) {
      ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/impression/click-tracker").empty(); }));
    }
    EXPECT_TRUE(platform::Application::sharedApplication().isStatusBarHidden());

    // No refresh under the page, however long it stays.
    advance(120);
    runUntilIdle();
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);

    page->relinquishScreen();
    page->relinquishScreen();  // a second "close" while it already goes changes nothing
    page.reset();
    advance(1);
    ASSERT_GE(events->seen.size(), 4u);
    EXPECT_EQ(events->seen, (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
    EXPECT_FALSE(platform::Application::sharedApplication().isStatusBarHidden());
    EXPECT_EQ(server.requestsTo("/impression/click-tracker").size(), clickTrackers ? 1u : 0u);

    // The refresh comes one full interval after the page gave the screen back (a second ago).
    advance(28);
    runUntilIdle();
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
    advance(1.5);
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
    EXPECT_EQ(banner->stateForTesting(), 6);
    banner->removeFromSuperview();
  }
}

TEST_F(QLFullScreenTest, TheMailComposerTakesCleanFieldsLeavesTheRefreshAloneAndHandsTheHostBackItsKeys) {
  // A host screen that takes the keyboard and the shakes.
  struct Responsive : platform::ViewController {
    bool canBecomeFirstResponder() const override { return true; }
  };
  root = std::make_shared<Responsive>();
  window->setRootViewController(root);
  server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Refresh-Rate", "30"}});
  auto banner = shownBanner();
  std::string many;
  std::vector<std::string> manyAddresses;
  for (int i = 0; i < 500; ++i) {
    manyAddresses.push_back("c" + std::to_string(i) + "@example.com");
    many += (i ? "," : "") + manyAddresses.back();
  }
  struct Case {
    const char* name;
    std::string query;
    std::string subject;
    std::vector<std::string> cc, bcc;
    std::string body;
  };
  const Case cases[] = {
      // A mailing list of a club: every address the link names.
      {"a long list of copies", "subject=Hi&cc=" + many, "Hi", manyAddresses, {}, ""},
      // No field starts a header line of its own; the body keeps its own lines.
      {"control characters in every field",
       "subject=Hi%0D%0ABcc%3A%20all%40example.com%C2%85&bcc=%0Ab%40example.com%0D%0A,,%09"
       "&body=line%201%0D%0Aline%202%07%09end",
       "HiBcc: all@example.com", {}, {"b@example.com"}, "line 1\nline 2\tend"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    events->seen.clear();
    server.http().clearRequests();
    touch(banner);
    banner->webView()->injectNavigationForTesting(platform::URLRequest("mailto:ads@example.com?" + c.query),
                                                  platform::WebViewNavigationType::Other);
    ASSERT_TRUE(runUntil([&] { return root->presentedViewController() != nullptr; }));
    auto composer = std::dynamic_pointer_cast<platform::MailComposeViewController>(root->presentedViewController());
    ASSERT_TRUE(composer);
    EXPECT_EQ(composer->toRecipients(), std::vector<std::string>{"ads@example.com"});
    EXPECT_EQ(composer->subject(), c.subject);
    EXPECT_EQ(composer->ccRecipients(), c.cc);
    EXPECT_EQ(composer->bccRecipients(), c.bcc);
    EXPECT_EQ(composer->body(), c.body);

    // The composer is the system's screen, not one of the client's: the banner refreshes at
    // its interval under it, and the host hears of nothing but the new ad.
    ASSERT_TRUE(advanceUntil([&] { return server.requestsTo(QuillonServer::kAdPath).size() == 1; }, 31));
    ASSERT_TRUE(runUntil([&] { return events->seen == std::vector<std::string>{"receive"}; }));
    EXPECT_FALSE(root->isFirstResponder());

    composer->finishWithResult(platform::MailComposeResult::Sent);
    composer.reset();
    advance(1);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_TRUE(root->isFirstResponder());
    EXPECT_EQ(events->seen, std::vector<std::string>{"receive"});
    root->resignFirstResponder();
  }
}

TEST_F(QLFullScreenTest, APageOpenedFromAPageAddsNoEventsAndTheRefreshWaitsForBoth) {
  const std::string target = server.url("/landing/t");
  server.addClick("t");
  server.setAdAnswer("<html><body><a href=\"" + target + "\">go</a></body></html>", {{"X-Quillon-Refresh-Rate", "10"}});
  auto banner = shownBanner();
  tap(banner, target);
  auto first = shownPage();

  auto nested = quillon::QLWebAppViewController::create();
  nested->loadHTMLBaseURL("<html>inner</html>", std::nullopt);
  nested->presentFromViewController(first);
  advance(1);
  EXPECT_EQ(first->presentedViewController(), nested);

  nested->relinquishScreen();
  nested.reset();
  advance(15);  // the outer page is still shown: no refresh yet
  runUntilIdle();
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 1u);
  first->relinquishScreen();
  first.reset();
  advance(1);
  ASSERT_GE(events->seen.size(), 4u);
  EXPECT_EQ(events->seen, (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
  advance(10.5);
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).size(), 2u);
}

TEST_F(QLFullScreenTest, OpeningAnAppWaitsForRunningTrackersButTracksTheClickOnce) {
  // No background tasks here: a running tracker holds the opening back, three times at most.
  platform::Device::currentDevice().setMultitaskingSupported(false);
  platform::Runtime::setAvailable("UIApplication.beginBackgroundTaskWithExpirationHandler:", false);
  testkit::ScriptedAnswer stall;
  stall.stall = true;
  server.http().setAnswer("/click-tracker", stall);
  server.setAdAnswer("<html><body><a href=\"tel:5551234\">call</a></body></html>",
                     {{"X-Quillon-Click-Tracking-Urls", server.url("/click-tracker")}});
  auto banner = shownBanner();
  window->addSubview(banner);
  window->touchDownAtPoint({5, 5});
  window->touchUpAtPoint({5, 5});
  advance(0.2);
  ASSERT_TRUE(banner->webView()->tapLinkWithURLForTesting("tel:5551234"));
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/click-tracker").empty(); }));
  auto& app = platform::Application::sharedApplication();
  advance(0.85);  // two retries
  runUntilIdle();
  EXPECT_TRUE(app.openedURLs().empty());
  advance(0.2);  // the third, after which it goes ahead
  runUntilIdle();
  EXPECT_EQ(app.openedURLs(), std::vector<std::string>{"tel:5551234"});
  EXPECT_EQ(server.requestsTo("/click-tracker").size(), 1u);
}

TEST_F(QLFullScreenTest, AnInterstitialIsReadyOnceItsPageHasLoadedThenShown) {
  server.setAdAnswer("<html><body>full</body></html>", {{"X-Quillon-Tracking-Urls", server.impressionURL("i")}});
  auto interstitial = quillon::QLInterstitial::create();
  interstitial->setDelegate(events);
  interstitial->presentFromRootViewController(root);  // not ready: nothing
  EXPECT_FALSE(shownPage());
  interstitial->loadRequest(quillon::QLRequest::request());
  ASSERT_TRUE(runUntil([&] { return interstitial->stateForTesting() == 5; }));
  EXPECT_FALSE(interstitial->isReady());
  ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
  EXPECT_EQ(server.requestsTo(QuillonServer::kAdPath).at(0).queryItem("slot"), "");

  interstitial->presentFromRootViewController(root);
  advance(1);
  auto page = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(shownPage());
  ASSERT_TRUE(page);
  ASSERT_TRUE(runUntil([&] { return page->webView() && !page->webView()->isLoading() &&
                                    page->webView()->documentSourceForTesting().find("full") != std::string::npos; }));
  // Tracked when the hidden page loaded, and again when shown.
  ASSERT_TRUE(runUntil([&] { return server.requestsTo("/impression/i").size() == 2; }));
  const auto& scripts = page->webView()->evaluatedScriptsForTesting();
  EXPECT_TRUE(std::any_of(scripts.begin(), scripts.end(), [](const std::string& script) {
    return script.rfind("QL_ReceiveMessage('onshow', {\"version\":\"quillon-sdk-i-v4.1.1\"", 0) == 0;
  }));
  // The page closes itself.
  page->webView()->injectNavigationForTesting(platform::URLRequest("qmsg:///close"),
                                              platform::WebViewNavigationType::Other);
  page.reset();
  advance(1);
  ASSERT_GE(events->seen.size(), 4u);
  EXPECT_EQ(events->seen, (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
}

TEST_F(QLFullScreenTest, AnInterstitialShowsThePageItLoadedWhateverOthersOfItsUnitLoadSince) {
  // Every ad below comes from the same ad URL.
  struct Row {
    const char* name;
    std::function<void()> meanwhile;
  };
  std::shared_ptr<QLBannerView> banner;
  std::shared_ptr<quillon::QLInterstitial> other;
  const Row rows[] = {
      {"a banner loads another page",
       [&] {
         server.setAdPage("<html><body>banner</body></html>");
         banner = shownBanner();
       }},
      {"another interstitial's reload fails",
       [&] {
         other = quillon::QLInterstitial::create();
         other->loadRequest(quillon::QLRequest::request());
         ASSERT_TRUE(runUntil([&] { return other->isReady(); }));
         server.setAdAnswer("<html>busy</html>", {}, 503);
         other->loadRequest(quillon::QLRequest::request());
         ASSERT_TRUE(runUntil([&] { return other->stateForTesting() == 7; }));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server.setAdPage("<html><body>full</body></html>");
    auto interstitial = quillon::QLInterstitial::create();
    interstitial->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
    row.meanwhile();
    ASSERT_TRUE(interstitial->isReady());
    interstitial->presentFromRootViewController(root);
    advance(1);
    auto page = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(shownPage());
    ASSERT_TRUE(page);
    ASSERT_TRUE(runUntil([&] { return page->webView() && !page->webView()->isLoading(); }));
    EXPECT_NE(page->webView()->documentSourceForTesting().find("full"), std::string::npos);
    page->relinquishScreen();
    advance(1);
  }
}

TEST_F(QLFullScreenTest, ADelegateMayDropTheInterstitialInsideAnyCallback) {
  struct Dropper : quillon::QLInterstitialDelegate {
    std::shared_ptr<quillon::QLInterstitial> ad;
    std::vector<std::string> seen;
    void interstitialDidReceiveAd(const std::shared_ptr<quillon::QLInterstitial>&) override {
      seen.push_back("receive");
      ad.reset();
    }
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<quillon::QLInterstitial>&,
                                                 const platform::Error& e) override {
      seen.push_back("fail " + std::to_string(e.code));
      ad.reset();
    }
  };
  for (int status : {200, 503}) {
    SCOPED_TRACE(status);
    server.setAdAnswer("<html>x</html>", {{"X-Quillon-Refresh-Rate", "5"}}, status);
    auto dropper = std::make_shared<Dropper>();
    dropper->ad = quillon::QLInterstitial::create();
    dropper->ad->setDelegate(dropper);
    dropper->ad->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return !dropper->ad; }));
    advance(30);
    runUntilIdle();
    EXPECT_EQ(dropper->seen, std::vector<std::string>{status == 200 ? "receive" : "fail 3"});
  }
}

TEST_F(QLFullScreenTest, ATakeoverShowsTheAdThatArrivesAndGivesTheWindowBackAfterwards) {
  auto game = std::make_shared<platform::View>(Rect(0, 0, 320, 480));
  window->addSubview(game);
  auto before = window->subviews();
  auto interstitial = quillon::QLInterstitial::create();
  interstitial->setDelegate(events);
  interstitial->loadAndDisplayRequestUsingWindowInitialImage(quillon::QLRequest::request(), window, nullptr);
  EXPECT_NE(window->subviews(), before);
  ASSERT_TRUE(runUntil([&] { return shownPage() != nullptr; }));
  advance(1);
  shownPage()->relinquishScreen();
  advance(1);
  ASSERT_GE(events->seen.size(), 4u);
  // The takeover hears the ad first and presents it before the host is told it arrived.
  EXPECT_EQ(events->seen, (std::vector<std::string>{"willPresent", "receive", "willDismiss", "didDismiss"}));
  EXPECT_EQ(window->subviews(), before);
  EXPECT_FALSE(quillon::QLRequestPrivate::create()->parameters().contains("aoi_timedout"));
}

TEST_F(QLFullScreenTest, ATakeoverThatTimesOutGivesTheWindowBackAndSaysSoNextTime) {
  auto game = std::make_shared<platform::View>(Rect(0, 0, 320, 480));
  window->addSubview(game);
  auto before = window->subviews();
  testkit::ScriptedAnswer stall;
  stall.stall = true;
  server.http().setAnswer(QuillonServer::kAdPath, stall);
  platform::UserDefaults::standardUserDefaults().setDoubleForKey(0.5, "applicationTimeout");

  auto interstitial = quillon::QLInterstitial::create();
  interstitial->loadAndDisplayRequestUsingWindowInitialImage(quillon::QLRequest::request(), window, nullptr);
  EXPECT_NE(window->subviews(), before);
  EXPECT_TRUE(platform::Application::sharedApplication().isStatusBarHidden());
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo(QuillonServer::kAdPath).empty(); }));
  advance(0.4);  // half a second is half a second, not none
  EXPECT_NE(window->subviews(), before);
  advance(0.2);
  EXPECT_EQ(window->subviews(), before);
  EXPECT_FALSE(platform::Application::sharedApplication().isStatusBarHidden());

  // What the next request hands its builder.
  EXPECT_EQ(quillon::QLRequestPrivate::create()->parameters().get("aoi_timedout"), platform::Value(1));
}

}  // namespace

namespace {

TEST_F(QLFullScreenTest, TheBrowserToolbarFollowsThePageAndLeavesForSafari) {
  const std::string target = server.url("/landing/b");
  server.addClick("b");
  server.setAdPage("<html><body><a href=\"" + target + "\">go</a></body></html>");
  auto banner = shownBanner();
  tap(banner, target);
  auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(shownPage());
  ASSERT_TRUE(browser);
  ASSERT_TRUE(runUntil([&] { return browser->webView() && browser->webView()->request() && !browser->webView()->isLoading(); }));
  runUntilIdle();
  const auto& b = browser->buttons();
  EXPECT_FALSE(b.back->isEnabled());
  EXPECT_FALSE(b.forward->isEnabled());
  EXPECT_TRUE(b.safari->isEnabled());
  EXPECT_EQ(b.safari->accessibilityLabel(), "View in Safari");
  const auto& items = browser->toolbar()->items();
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(items[4], b.reload);
  EXPECT_EQ(items[8], b.done);
  // The click's page was asked for with the banner's page as referrer.
  EXPECT_TRUE(server.requestsTo("/landing/b").back().header("Referer"));

  ASSERT_TRUE(b.safari->tap());
  runUntilIdle();
  EXPECT_EQ(platform::Application::sharedApplication().openedURLs(), std::vector<std::string>{target});
  EXPECT_EQ(quillon::QLRequestPrivate::create()->parameters().get("pcbo"), platform::Value(1));

  ASSERT_TRUE(b.done->tap());
  browser.reset();
  advance(1);
  ASSERT_GE(events->seen.size(), 4u);
  EXPECT_EQ(events->seen,
            (std::vector<std::string>{"receive", "willPresent", "willLeave", "willDismiss", "didDismiss"}));
}

}  // namespace

namespace {

TEST_F(QLFullScreenTest, TheBrowserToolbarAndPageResizeAsEachDeviceHasThem) {
  using platform::UserInterfaceIdiom;
  constexpr unsigned W = platform::kAutoresizingFlexibleWidth, H = platform::kAutoresizingFlexibleHeight,
                     T = platform::kAutoresizingFlexibleTopMargin, B = platform::kAutoresizingFlexibleBottomMargin;
  struct Case {
    const char* name;
    std::optional<UserInterfaceIdiom> idiom;
    platform::InterfaceOrientation orientation;
    unsigned webViewMask, toolbarMask;
  };
  const Case cases[] = {
      // A pad's toolbar keeps its height; a phone's is thinner in landscape and follows the turns.
      {"a pad", UserInterfaceIdiom::Pad, platform::kInterfaceOrientationLandscapeLeft, W | H, W | T | B},
      {"a phone upright", UserInterfaceIdiom::Phone, platform::kInterfaceOrientationPortrait, W | H | B, W | H | T | B},
      {"a phone on its side", UserInterfaceIdiom::Phone, platform::kInterfaceOrientationLandscapeRight, W | H | B,
       W | H | T | B},
      {"a device that does not say", std::nullopt, platform::kInterfaceOrientationPortrait, W | H | B, W | H | T | B},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    platform::Application::sharedApplication().setStatusBarOrientation(c.orientation);
    auto browser = quillon::QLBrowserController::create();
    ASSERT_TRUE(browser->presentFromViewController(root));
    advance(1);
    ASSERT_TRUE(browser->toolbar());
    EXPECT_EQ(browser->toolbar()->autoresizingMask(), c.toolbarMask);
    EXPECT_EQ(browser->webView()->autoresizingMask(), c.webViewMask);
    // However the screen gave the page its size, the toolbar sits at its foot under the page.
    const Rect bar = browser->toolbar()->frame(), page = browser->webView()->frame();
    EXPECT_DOUBLE_EQ(bar.origin.y + bar.size.height, browser->view()->bounds().size.height);
    EXPECT_DOUBLE_EQ(page.origin.y + page.size.height, bar.origin.y);
    if (c.idiom == UserInterfaceIdiom::Pad) {
      EXPECT_EQ(bar.size.height, 44);
    }
    browser->relinquishScreen();
    browser.reset();
    advance(1);
  }
}

TEST_F(QLFullScreenTest, PagesOpenWhatTheyAskFor) {
  const std::string target = server.url("/landing/o");
  server.addClick("o");
  auto banner = shownBanner();
  auto& app = platform::Application::sharedApplication();
  struct Case {
    std::string url;
    std::function<void()> check;
  };
  auto isBrowserOn = [&](const std::string& url) {
    auto browser = std::dynamic_pointer_cast<quillon::QLBrowserController>(shownPage());
    ASSERT_TRUE(browser);
    ASSERT_TRUE(runUntil([&] { return browser->webView()->request().has_value(); }));
    EXPECT_EQ(browser->webView()->request()->url(), url);
  };
  const std::string escaped = "http%3A%2F%2F127.0.0.1%3A" + server.hostAndPort().substr(10) + "%2Flanding%2Fo";
  Case cases[] = {
      {"qmsg:///open?a=video&u=" + escaped, [&] { isBrowserOn(target); }},
      {"quillon://launch?url=" + escaped, [&] { isBrowserOn(target); }},
      {"qmsg:///open?a=webapp&html=%3Chtml%3Ehello%3C%2Fhtml%3E",
       [&] {
         auto page = std::dynamic_pointer_cast<quillon::QLWebAppViewController>(shownPage());
         ASSERT_TRUE(page);
         ASSERT_TRUE(runUntil(
             [&] { return page->webView()->documentSourceForTesting().find("hello") != std::string::npos; }));
       }},
      {"mailto:ads@example.com?subject=Hi&cc=a@example.com,b@example.com",
       [&] {
         auto composer = std::dynamic_pointer_cast<platform::MailComposeViewController>(root->presentedViewController());
         ASSERT_TRUE(composer);
         EXPECT_EQ(composer->toRecipients(), std::vector<std::string>{"ads@example.com"});
         EXPECT_EQ(composer->ccRecipients(), (std::vector<std::string>{"a@example.com", "b@example.com"}));
         EXPECT_EQ(composer->subject(), "Hi");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    // The page asks just after the user touched it.
    touch(banner);
    banner->webView()->injectNavigationForTesting(platform::URLRequest(c.url), platform::WebViewNavigationType::Other);
    ASSERT_TRUE(runUntil([&] { return root->presentedViewController() != nullptr; }));
    advance(1);
    c.check();
    if (auto page = shownPage()) {
      page->relinquishScreen();
    } else {
      root->dismissModalViewControllerAnimated(false);
    }
    advance(1);
    EXPECT_EQ(root->presentedViewController(), nullptr);
  }

  // Another application: the host hears that the user leaves, then the system opens it.
  touch(banner);
  banner->webView()->injectNavigationForTesting(platform::URLRequest("qmsg:///open?a=app&u=tel%3A5550100"),
                                                platform::WebViewNavigationType::Other);
  ASSERT_TRUE(runUntil([&] { return !app.openedURLs().empty(); }));
  EXPECT_EQ(app.openedURLs(), std::vector<std::string>{"tel:5550100"});
  EXPECT_EQ(events->seen.back(), "willLeave");
}

TEST_F(QLFullScreenTest, AnInterstitialsOwnPageSetsTheTakeoverTimeoutWhileItLoadsOutOfSight) {
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  auto interstitial = quillon::QLInterstitial::create();
  EXPECT_EQ(defaults.doubleForKey("applicationTimeout"), 5.0);
  struct Case {
    const char* query;
    double expected;
  };
  // Its page is hidden in the engine until presented, and its settings count from the start;
  // the ceiling still holds.
  const Case cases[] = {{"other=1", 5.0}, {"applicationTimeout=2.5", 2.5}, {"applicationTimeout=3600", 2.5},
                        {"applicationTimeout=0", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    server.setAdPage(std::string("<html><body><script>window.location = 'qmsg:///settings?") + c.query +
                     "';</script></body></html>");
    interstitial->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return interstitial->isReady(); }));
    ASSERT_TRUE(settleTraffic());
    EXPECT_FALSE(shownPage());
    EXPECT_EQ(defaults.doubleForKey("applicationTimeout"), c.expected);
  }
}

TEST_F(QLFullScreenTest, ATimeoutOfZeroOrLessFromTheServerTurnsTakeoversOff) {
  auto game = std::make_shared<platform::View>(Rect(0, 0, 320, 480));
  window->addSubview(game);
  const auto before = window->subviews();
  const std::string off = "<Quillon> Interstitial has zero timeout.  Not displaying.";
  struct Case {
    const char* timeout;
    bool takesOver;
  };
  const Case cases[] = {{"3", true}, {"0", false}, {"-5", false}, {"0.5", true}, {"45", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.timeout);
    // A previous ad answer said how long a takeover may wait (45 is past the ceiling: ignored).
    server.setAdAnswer("<html><body>ad</body></html>", {{"X-Quillon-Interstitial-Timeout", c.timeout}});
    auto first = quillon::QLInterstitial::create();
    first->loadRequest(quillon::QLRequest::request());
    ASSERT_TRUE(runUntil([&] { return first->isReady(); }));
    server.http().clearRequests();
    platform::LogCapture log;
    auto interstitial = quillon::QLInterstitial::create();
    interstitial->loadAndDisplayRequestUsingWindowInitialImage(quillon::QLRequest::request(), window, nullptr);
    EXPECT_EQ(log.contains(off), !c.takesOver);
    EXPECT_EQ(window->subviews() != before, c.takesOver);
    if (c.takesOver) {
      ASSERT_TRUE(runUntil([&] { return shownPage() != nullptr; }));
      advance(1);
      shownPage()->relinquishScreen();
      advance(1);
    } else {
      ASSERT_TRUE(settleTraffic());
      EXPECT_TRUE(server.requestsTo(QuillonServer::kAdPath).empty());
    }
    EXPECT_EQ(window->subviews(), before);
  }
}

TEST_F(QLFullScreenTest, ABrowserStillWithoutAPageClosesWhenTheApplicationComesBack) {
  testkit::ScriptedAnswer stall;
  stall.stall = true;
  server.http().setAnswer("/slow", stall);
  const std::string target = server.url("/slow");
  server.setAdPage("<html><body><a href=\"" + target + "\">go</a></body></html>");
  auto banner = shownBanner();
  tap(banner, target);
  auto& app = platform::Application::sharedApplication();
  app.enterBackground();
  app.enterForeground();
  advance(1);
  ASSERT_GE(events->seen.size(), 4u);
  EXPECT_EQ(events->seen, (std::vector<std::string>{"receive", "willPresent", "willDismiss", "didDismiss"}));
}

}  // namespace

namespace {

// A page of the client that counts how often it hears that it has appeared.
class CountingPage : public quillon::QLViewController {
 public:
  int appeared = 0;
  void viewDidAppear(bool animated) override {
    ++appeared;
    QLViewController::viewDidAppear(animated);
  }
};

TEST_F(QLFullScreenTest, APagePresentedFromTheHostsOwnControllerIsToldItAppearedOnceMoreLater) {
  auto host = platform::ViewController::create();
  window->addSubview(host->view());
  struct Row {
    bool rootOnWindow;
    double closeAt;  // after presenting; 0: stays
    int appearedAtOneSecond;
  };
  // From the window's root, only the presentation says it appeared; from the host's own
  // controller, the page hears it again at 0.6 s, unless it has already given the screen back.
  for (const Row& row : {Row{true, 0, 1}, Row{false, 0, 2}, Row{false, 0.5, 1}}) {
    SCOPED_TRACE(::testing::Message() << row.rootOnWindow << " " << row.closeAt);
    window->setRootViewController(row.rootOnWindow ? root : nullptr);
    auto page = std::make_shared<CountingPage>();
    page->presentFromViewController(host);
    EXPECT_FALSE(page->view()->isUserInteractionEnabled());
    advance(0.25);  // the presentation's animation still runs
    EXPECT_EQ(page->appeared, 0);
    EXPECT_FALSE(page->view()->isUserInteractionEnabled());
    advance(0.1);
    EXPECT_EQ(page->appeared, 1);
    EXPECT_TRUE(page->view()->isUserInteractionEnabled());
    if (row.closeAt > 0) {
      advance(row.closeAt - 0.35);
      page->relinquishScreen();
    }
    advance(0.2);
    EXPECT_EQ(page->appeared, 1);  // not before 0.6 s
    advance(0.45);
    EXPECT_EQ(page->appeared, row.appearedAtOneSecond);
    EXPECT_NE(page->view()->isUserInteractionEnabled(), row.closeAt > 0);
    if (row.closeAt == 0) page->relinquishScreen();
    advance(1);
    EXPECT_FALSE((row.rootOnWindow ? root : host)->presentedViewController());
  }
}

// A page that says "close" while it still slides in goes once it has arrived, rather than
// staying up for good with touches off; the host hears of it presented and dismissed once.
TEST_F(QLFullScreenTest, APageClosedWhileItSlidesInGoesOnceItHasArrived) {
  for (bool rootOnWindow : {true, false}) {
    SCOPED_TRACE(rootOnWindow);
    auto host = platform::ViewController::create();
    window->addSubview(host->view());
    window->setRootViewController(rootOnWindow ? root : nullptr);
    auto presenter = rootOnWindow ? root : host;
    auto page = std::make_shared<CountingPage>();
    page->presentFromViewController(host);
    advance(0.1);
    ASSERT_EQ(presenter->presentedViewController(), page);
    page->relinquishScreen();
    advance(0.15);
    EXPECT_EQ(presenter->presentedViewController(), page) << "still sliding in";
    advance(1);
    EXPECT_FALSE(presenter->presentedViewController());
    EXPECT_EQ(page->view()->superview(), nullptr);
    EXPECT_EQ(page->appeared, 1);
    EXPECT_FALSE(page->view()->isUserInteractionEnabled());
  }
}

TEST_F(QLFullScreenTest, TheStatusBarIsHiddenOnOldSystemsAlwaysAndOnNewerOnesOnlyOverTheWholeScreen) {
  using Style = platform::ModalPresentationStyle;
  auto& app = platform::Application::sharedApplication();
  struct Row {
    const char* version;
    Style style;
    bool pageHidesIt;
  };
  const Row rows[] = {
      {"3.1.3", Style::PageSheet, true}, {"3.1.3", Style::FullScreen, true}, {"3.2", Style::PageSheet, false},
      {"3.2", Style::FullScreen, true},  {"6.1", Style::FormSheet, false},
  };
  enum Before { Shown, Hidden, HostHidesItMeanwhile };
  for (const Row& row : rows) {
    for (Before before : {Shown, Hidden, HostHidesItMeanwhile}) {
      SCOPED_TRACE(::testing::Message() << row.version << " style " << static_cast<int>(row.style) << " case "
                                        << before);
      platform::Device::currentDevice().setSystemVersion(row.version);
      app.setStatusBarHidden(before == Hidden);
      auto page = std::make_shared<CountingPage>();
      page->setModalPresentationStyle(row.style);
      page->presentFromViewController(root);
      EXPECT_EQ(app.isStatusBarHidden(), row.pageHidesIt || before == Hidden);
      advance(1);
      if (before == HostHidesItMeanwhile) app.setStatusBarHidden(true);
      page->relinquishScreen();
      advance(1);
      // The page shows again only a status bar it hid itself.
      EXPECT_EQ(app.isStatusBarHidden(), before == Hidden || (before == HostHidesItMeanwhile && !row.pageHidesIt));
    }
  }
}

TEST_F(QLFullScreenTest, AClosedWebAppPageActsOnNothingAndIsLetGoTwoSecondsLater) {
  auto& app = platform::Application::sharedApplication();
  // On "onhide" the page keeps asking, as a page's leftover timers may.
  const std::string html =
      "<html><body><script>function QL_ReceiveMessage(name) { if (name != 'onhide') return;"
      " setTimeout(function () { window.location = 'qmsg:///open?a=app&u=tel%3A5550100'; }, 500);"
      " setTimeout(function () { window.location = 'tel:5550111'; }, 1000); }</script></body></html>";
  auto page = quillon::QLWebAppViewController::create();
  page->loadHTMLBaseURL(html, std::nullopt);
  page->presentFromViewController(root);
  advance(1);
  ASSERT_TRUE(page->webView() && !page->webView()->isLoading());
  std::weak_ptr<platform::WebView> webView = page->webView();

  platform::LogCapture log;
  page->relinquishScreen();
  page.reset();
  advance(0.3);  // the dismissal ends: "onhide", and the controller goes
  ASSERT_TRUE(log.lines().empty());
  advance(1.7);
  runUntilIdle();
  EXPECT_TRUE(log.contains("Ignoring qmsg:///open?a=app&u=tel%3A5550100 from a page that has closed."));
  EXPECT_TRUE(log.contains("Ignoring tel:5550111 from a page that has closed."));
  EXPECT_TRUE(app.openedURLs().empty());
  EXPECT_FALSE(webView.expired());  // two seconds after the controller went, not before
  advance(0.4);
  runUntilIdle();
  EXPECT_TRUE(webView.expired());
}

}  // namespace
