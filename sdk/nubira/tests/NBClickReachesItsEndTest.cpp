// A tap on a Nubira ad reaches the store: the banner's click address redirects there (also
// long after the tap), the in-app browser's landing page goes there (the browser hands store
// links to the system whatever led there), or the interstitial's page opens the browser onto
// a click address that does. An ad page acting with no touch, or twice on one touch, opens
// nothing more. Real pages, a loopback server and the application's record of what it opened.
#include <gtest/gtest.h>

#include "NBAdInterstitialPrivate.h"
#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "nubira/NBAdInterstitial.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/bars.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdView;
using nubira::NBEmbeddedWebViewController;
using testkit::ScriptedAnswer;

const std::string kStore = std::string("https://") + NBEmbeddedWebViewController::kStoreWebHost + "/app/7";

struct NoInterstitialEvents : nubira::NBAdInterstitialDelegate {};

class NBClickReachesItsEndTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    platform::Application::sharedApplication().registerOpenableScheme("https");
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
  // A banner of `actionType` whose click address is /click, on the window and loaded.
  std::shared_ptr<platform::WebView> showBanner(int actionType) {
    server.setAdReply("<?xml version=\"1.0\"?><Response><Ad type=\"banner\" actionType=\"" +
                      std::to_string(actionType) + "\" width=\"320\" height=\"50\"><AdURL>" + server.url("/click") +
                      "</AdURL><![CDATA[<p>ad</p>]]></Ad></Response>");
    banner = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(platform::Rect(0, 0, 320, 50), "site-1", 15,
                                                                       root);
    banner->setDelegate(bannerHeard);
    window->addSubview(banner);
    advance(0.5);
    EXPECT_EQ(bannerHeard->events, std::vector<std::string>{"finish"});
    return banner->webView1ForTesting();
  }
  // The interstitial on screen, its page in the web view.
  std::shared_ptr<platform::WebView> showInterstitial() {
    interstitial = nubira::NBAdInterstitial::create();
    interstitial->setNbAppId("site-1");
    interstitial->setDelegate(interstitialHeard);
    interstitial->loadRequest(nubira::NBAdRequest::request());
    EXPECT_TRUE(advanceUntil([&] { return interstitial->state() == 2; }, 5));
    interstitial->presentFromRootViewController(nullptr);
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
    return interstitial->viewControllerForTesting()->webView();
  }
  // The user's finger lifting from the middle of `view` on screen.
  void touch(const std::shared_ptr<platform::View>& view) {
    const auto size = view->bounds().size;
    window->tapAtPoint(view->convertRectToView(platform::Rect(size.width / 2, size.height / 2, 1, 1), window).origin);
  }
  const std::vector<std::string>& opened() const { return platform::Application::sharedApplication().openedURLs(); }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<nubiratest::NBAdViewReports> bannerHeard = std::make_shared<nubiratest::NBAdViewReports>();
  std::shared_ptr<NoInterstitialEvents> interstitialHeard = std::make_shared<NoInterstitialEvents>();
  std::shared_ptr<NBAdView> banner;
  std::shared_ptr<nubira::NBAdInterstitial> interstitial;
};

TEST_F(NBClickReachesItsEndTest, ATapReachesTheStoreAndAPageOnItsOwnDoesNot) {
  const std::string goes = "<script>location = '" + kStore + "';</script>";
  const std::string click = server.url("/click");
  enum class Ad { LeavingBanner, BrowserBanner, Interstitial };
  struct Case {
    const char* name;
    Ad ad;
    // Where /click redirects: the store (empty) or /landing with this page.
    std::string landing;
    bool touched;  // the user's tap on the ad on screen
    // What the ad's page does (after the tap, if any); empty: nothing.
    std::string pageDoes;
    double serverTakes;  // seconds on the clock before /click answers
    size_t stores;
  };
  const Case cases[] = {
      {"a banner that leaves: the click address redirects to the store long after the tap", Ad::LeavingBanner, "",
       true, "", 2, 1},
      {"a browser banner: the click address redirects to the store long after the tap", Ad::BrowserBanner, "", true,
       "", 2, 1},
      {"a browser banner: its landing page goes to the store while it loads", Ad::BrowserBanner, goes, true, "", 0, 1},
      // The browser sends store links to the system whatever led there.
      {"a browser banner: its landing page goes to the store long after it loaded", Ad::BrowserBanner,
       "<script>setTimeout(function () { location = '" + kStore + "'; }, 5000);</script>", true, "", 0, 1},
      {"the interstitial opens the browser onto the click address, which redirects to the store long after",
       Ad::Interstitial, "", true, "mraid.open('" + click + "');", 2, 1},
      {"the interstitial's browser shows a landing page that goes to the store while it loads", Ad::Interstitial,
       goes, true, "mraid.open('" + click + "');", 0, 1},
      // Hostile: no touch at all, or two ways out on one touch.
      {"the banner's page goes to the click address on its own", Ad::LeavingBanner, "", false,
       "location.href = '" + click + "';", 0, 0},
      {"the interstitial's page opens the browser on its own", Ad::Interstitial, "", false,
       "mraid.open('" + click + "');", 0, 0},
      {"the interstitial's page goes to the store twice on one touch", Ad::Interstitial, "", true,
       "location.href = '" + kStore + "'; setTimeout(function () { location.href = '" + kStore + "'; }, 10);", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto hold = std::make_shared<testkit::AnswerHold>();
    auto answer = ScriptedAnswer::redirect(c.landing.empty() ? kStore : server.url("/landing"));
    answer.hold = hold;
    server.http().setAnswer("/click", answer);
    server.http().setAnswer("/landing", ScriptedAnswer::html(c.landing));
    server.http().clearRequests();
    bannerHeard->events.clear();
    const size_t before = opened().size();

    auto page = c.ad == Ad::Interstitial ? showInterstitial() : showBanner(c.ad == Ad::LeavingBanner ? 1 : 2);
    ASSERT_NE(page, nullptr);
    if (c.touched) touch(c.ad == Ad::Interstitial ? std::shared_ptr<platform::View>(page) : banner);
    if (!c.pageDoes.empty()) page->stringByEvaluatingJavaScriptFromString(c.pageDoes);
    const bool clicks = c.touched && (c.pageDoes.empty() || c.pageDoes.find(click) != std::string::npos);
    if (clicks) {
      ASSERT_TRUE(advanceUntil([&] { return hold->waiting() == 1; }, 2));
      advance(c.serverTakes);
    }
    hold->release();
    for (int second = 0; second < 8; ++second) advance(1);  // the browser comes, any landing timer runs
    ASSERT_TRUE(settleTraffic());
    runUntilIdle();
    EXPECT_EQ(server.http().requestsTo("/click").size(), clicks ? 1u : 0u);
    EXPECT_EQ(opened().size() - before, c.stores);
    for (size_t i = before; i < opened().size(); ++i) EXPECT_EQ(opened()[i], kStore);

    // Whatever the tap put up goes, as the user would close it.
    auto presenter = c.ad == Ad::Interstitial ? interstitial->viewControllerForTesting() : root;
    if (presenter->presentedViewController()) {
      presenter->dismissModalViewControllerAnimated(false);
      runUntilIdle();
    }
    if (c.ad == Ad::Interstitial) {
      interstitial->viewControllerForTesting()->dismissModalViewControllerAnimated(false);
      interstitial.reset();
    } else {
      banner->removeFromSuperview();
      banner.reset();
    }
    runUntilIdle();
    advance(platform::kUserActivationSeconds);
  }
}

}  // namespace
