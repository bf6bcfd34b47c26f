// The interstitial over loopback with its page running in the web view: the four states and
// their refusals, the load time-out, presenting and closing as the page sees them, and what
// the controller does with the URLs the page or the user opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "NBAdInterstitialPrivate.h"
#include "NBAdUnit.h"
#include "NBInterstitialGestureRecognizer.h"
#include "nubira/NBAdError.h"
#include "nubira/NBAdInterstitial.h"
#include "nubira/NBAdRequest.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/device.h"
#include "platform/gesture_recognizer.h"
#include "platform/graphics.h"
#include "platform/image.h"
#include "platform/navigation_controller.h"
#include "platform/text_quoting.h"
#include "platform/window.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdInterstitial;
using nubira::NBAdView;
using platform::WebViewNavigationType;

struct Heard : nubira::NBAdInterstitialDelegate {
  std::vector<std::string> events;
  std::function<void()> onDidDismiss;
  void interstitialDidFinishRequest(NBAdInterstitial& ad) override { events.push_back("ready " + std::to_string(ad.state())); }
  void interstitialDidFailToReceiveAdWithError(NBAdInterstitial&, const platform::Error& e) override {
    events.push_back(std::to_string(e.code) + " " + e.domain);
  }
  void interstitialDidFailToPresentScreenWithError(NBAdInterstitial&, const platform::Error& e) override {
    events.push_back("present failed: " + e.domain);
  }
  void interstitialWillPresentScreen(NBAdInterstitial&) override { events.push_back("will present"); }
  void interstitialWillDismissScreen(NBAdInterstitial&) override { events.push_back("will dismiss"); }
  void interstitialDidDismissScreen(NBAdInterstitial& ad) override {
    events.push_back("did dismiss " + std::to_string(ad.state()));
    if (onDidDismiss) onDidDismiss();
  }
  void interstitialWillLeaveApplication(NBAdInterstitial&) override { events.push_back("leave"); }
  std::vector<std::string> take() { return std::exchange(events, {}); }
};

using Events = std::vector<std::string>;

class NBAdInterstitialTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    ad = NBAdInterstitial::create();
    ad->setNbAppId("site-1");
    ad->setDelegate(heard);
  }
  bool heardSomething() {
    settleTraffic();
    return !heard->events.empty();
  }
  // Loads the interstitial reply and waits until the ad is ready.
  void loadReady() {
    ad->loadRequest(nubira::NBAdRequest::request());
    ASSERT_TRUE(heardSomething());
    ASSERT_EQ(heard->take(), Events{"ready 2"});
  }
  void present() {
    ad->presentFromRootViewController(nullptr);
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
  }
  std::shared_ptr<platform::WebView> page() { return ad->viewControllerForTesting()->webView(); }
  // The user's finger lifting from the ad's page on screen.
  void touchAd() {
    auto web = page();
    const auto size = web->bounds().size;
    window->tapAtPoint(web->convertRectToView(platform::Rect(size.width / 2, size.height / 2, 1, 1), window).origin);
  }
  // The user's tap on a link to `url` in the ad's page (the link is added to the page first),
  // or a navigation the page makes itself.
  void navigate(const std::string& url, WebViewNavigationType type) {
    if (type == WebViewNavigationType::LinkClicked) {
      page()->stringByEvaluatingJavaScriptFromString("var a = document.createElement('a'); a.setAttribute('href', " +
                                                     platform::quoteScriptString(url) +
                                                     "); document.body.appendChild(a);");
      ASSERT_TRUE(page()->tapLinkWithURLForTesting(url));
    } else {
      page()->injectNavigationForTesting(platform::URLRequest(url), type);
    }
  }
  std::string pageHeard() { return page()->stringByEvaluatingJavaScriptFromString("heard.join(',')"); }
  const std::vector<std::string>& opened() const { return platform::Application::sharedApplication().openedURLs(); }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<Heard> heard = std::make_shared<Heard>();
  std::shared_ptr<NBAdInterstitial> ad;
};

TEST_F(NBAdInterstitialTest, StatesRefusalsPresentAndClose) {
  auto& app = platform::Application::sharedApplication();
  struct Refusal {
    std::string appId;
    int state;
    const char* heard;
  };
  // Refused before a request: nothing reaches the server and the state stays.
  for (const auto& r : {Refusal{" \n\t", 0, "0 Provide a valid nbAppId."}, Refusal{"", 0, "0 Provide a valid nbAppId."}}) {
    ad->setNbAppId(r.appId);
    ad->loadRequest(nubira::NBAdRequest::request());
    EXPECT_EQ(heard->take(), Events{r.heard});
    EXPECT_EQ(ad->state(), r.state);
  }
  EXPECT_TRUE(server.requestsTo(testkit::NubiraServer::kAdPath).empty());
  ad->setNbAppId("site-1");
  ad->loadRequest(nubira::NBAdRequest::request());
  EXPECT_EQ(ad->state(), 1);
  ad->loadRequest(nubira::NBAdRequest::request());
  ad->presentFromRootViewController(root);
  EXPECT_EQ(heard->take(), (Events{"1 An ad request is already in progress.",
                                   "0 Interstitial ad must be in the Ready state to be displayed. Please check the "
                                   "state of the interstitial ad before calling this method."}));
  EXPECT_EQ(ad->state(), 1);
  ASSERT_TRUE(heardSomething());
  EXPECT_EQ(heard->take(), Events{"ready 2"});
  // One request, asking for the full-screen slot, and the page has not been told it shows.
  EXPECT_EQ(server.requestsTo(testkit::NubiraServer::kAdPath).size(), 1u);
  EXPECT_TRUE(server.formProblems().empty()) << server.formProblems().front();
  EXPECT_EQ(pageHeard(), "");
  EXPECT_TRUE(ad->currentAdUnit()->isAdTypeInterstitial);

  advance(10);
  ad->loadRequest(nubira::NBAdRequest::request());
  EXPECT_EQ(heard->take(), Events{"0 Minimum ad refresh interval should be a minimum of 20 seconds"});
  EXPECT_EQ(ad->state(), 2);

  present();
  EXPECT_EQ(heard->take(), Events{"will present"});
  EXPECT_EQ(ad->state(), 3);
  EXPECT_EQ(root->presentedViewController(), ad->viewControllerForTesting());
  EXPECT_TRUE(app.isStatusBarHidden());
  EXPECT_EQ(pageHeard(), "viewable:true,state:default,ready");
  advance(11);
  ad->loadRequest(nubira::NBAdRequest::request());
  EXPECT_EQ(heard->take(), Events{"0 Cannot request an ad when an interstitial ad is being displayed."});

  // The close button: the page hears it is hidden; the delegate may drop the ad at the end.
  auto controller = ad->viewControllerForTesting();
  std::weak_ptr<NBAdInterstitial> weak = ad;
  heard->onDidDismiss = [&] { ad.reset(); };
  controller->closeButton()->simulateTap();
  controller->closeButton()->simulateTap();
  EXPECT_EQ(heard->take(), Events{"will dismiss"});
  EXPECT_FALSE(app.isStatusBarHidden());
  EXPECT_EQ(controller->webView()->stringByEvaluatingJavaScriptFromString("heard.join(',')"),
            "viewable:true,state:default,ready,viewable:false,state:loading");
  runUntilIdle();
  advance(platform::kModalTransitionDuration);
  runUntilIdle();
  EXPECT_EQ(heard->take(), Events{"did dismiss 0"});
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(NBAdInterstitialTest, FailedLoadsReturnToStateZero) {
  struct Case {
    const char* name;
    std::function<void()> script;
    double waitVirtual;  // virtual seconds that pass before the failure is due
    const char* heard;   // the start of what the delegate hears
    std::shared_ptr<nubira::NBAdRequest> request = nubira::NBAdRequest::request();
  };
  auto unsendable = nubira::NBAdRequest::request();
  unsendable->setParamsDictionary(platform::Dictionary{{"level", platform::Value(7)}});
  auto stalled = [] {
    testkit::ScriptedAnswer a;
    a.stall = true;
    return a;
  };
  const Case cases[] = {
      {"no ad", [&] { server.setInterstitialReply("<?xml version=\"1.0\"?><Response></Response>"); }, 0,
       "3 Server returned a no-fill. No action required."},
      {"server refuses", [&] { server.setInterstitialReply("no", 500); }, 0,
       "0 Invalid request. This could be due to an invalid app-id, or the app-id might not be in the Active state"},
      {"page never loads",
       [&] {
         server.http().setAnswer("/stall.js", stalled());
         server.setInterstitialReply("<?xml version=\"1.0\"?><Response><Ad type=\"rm\" width=\"320\" height=\"480\">"
                                     "<![CDATA[<script src=\"" + server.url("/stall.js") +
                                     "\"></script>]]></Ad></Response>");
       },
       nubira::NBAdInterstitial::kLoadTimeout, "4 Request timed out."},
      // Reported while the request is being sent: the load it ends must already be under way.
      {"request cannot be built", [] {}, 0, "5 Failed to build the ad request", unsendable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ad = NBAdInterstitial::create();
    ad->setNbAppId("site-1");
    ad->setDelegate(heard);
    c.script();
    ad->loadRequest(c.request);
    if (c.waitVirtual > 0) {
      settleTraffic();
      ASSERT_FALSE(server.requestsTo("/stall.js").empty());
      advance(c.waitVirtual - 0.1);
      EXPECT_TRUE(heard->events.empty());
      EXPECT_EQ(ad->state(), 1);
      advance(0.2);
    }
    ASSERT_TRUE(heardSomething());
    const auto got = heard->take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rfind(c.heard, 0), 0u) << got[0];
    EXPECT_EQ(ad->state(), 0);
    // Nothing late follows, and the ad can load again.
    advance(nubira::NBAdInterstitial::kLoadTimeout + 1);
    runUntilIdle();
    EXPECT_TRUE(heard->events.empty());
    server.setInterstitialReply(testkit::NubiraServer::kInterstitialReply);
    loadReady();
  }
}

TEST_F(NBAdInterstitialTest, RequestFactsAndWherePresentationFails) {
  struct Case {
    bool testMode;
    std::optional<platform::UserInterfaceIdiom> idiom;
    std::string siteId, slot;
  };
  const Case cases[] = {
      {false, std::nullopt, "site%2D1", "14"},
      {true, platform::UserInterfaceIdiom::Pad, "7c1e5a90b3d24f6e8a0b9c7d2e41f385", "16"},
  };
  for (const auto& c : cases) {
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    ad = NBAdInterstitial::create();
    ad->setNbAppId("site-1");
    ad->setDelegate(heard);
    auto request = nubira::NBAdRequest::request();
    request->setTestMode(c.testMode);
    ad->loadRequest(request);
    ASSERT_TRUE(heardSomething());
    EXPECT_EQ(heard->take(), Events{"ready 2"});
    const auto body = server.requestsTo(testkit::NubiraServer::kAdPath).back().body;
    EXPECT_NE(body.find("nb-siteid=" + c.siteId + "&adtype=int&nb-ad-slot=" + c.slot + "&"), std::string::npos) << body;
  }

  // No root anywhere; then a root already showing something: the ad stays ready.
  window->setRootViewController(nullptr);
  ad->presentFromRootViewController(nullptr);
  auto busy = std::make_shared<platform::ViewController>();
  root->presentModalViewControllerAnimated(busy, false);
  ad->presentFromRootViewController(root);
  EXPECT_EQ(heard->take(),
            (Events{"present failed: rootViewController cannot be null!", "present failed: Internal error occured!"}));
  EXPECT_EQ(ad->state(), 2);
  EXPECT_FALSE(platform::Application::sharedApplication().isStatusBarHidden());
  runUntilIdle();
  root->dismissModalViewControllerAnimated(false);
  runUntilIdle();
  window->setRootViewController(root);
  present();
  EXPECT_EQ(heard->take(), Events{"will present"});
  EXPECT_EQ(ad->state(), 3);
}

TEST_F(NBAdInterstitialTest, ClearingTheDelegateWhileLoadingDropsTheLoadAndKeepsTheRequestUsable) {
  testkit::ScriptedAnswer slow;
  slow.stall = true;
  server.setInterstitialAnswer(slow);
  ad->loadRequest(nubira::NBAdRequest::request());
  settleTraffic();
  ASSERT_FALSE(server.requestsTo(testkit::NubiraServer::kAdPath).empty());
  ad->setDelegate({});
  EXPECT_EQ(ad->state(), 0);
  ad->setDelegate(heard);
  server.setInterstitialReply(testkit::NubiraServer::kInterstitialReply);
  loadReady();
  advance(nubira::NBAdInterstitial::kLoadTimeout + 1);
  runUntilIdle();
  EXPECT_TRUE(heard->events.empty());
  EXPECT_EQ(ad->state(), 2);
}

TEST_F(NBAdInterstitialTest, PageURLsAreActedOnOnlyAfterTheUsersTap) {
  server.http().setAnswer("/ref", testkit::ScriptedAnswer::redirect(server.url("/ref2")));
  server.http().setAnswer("/ref2", testkit::ScriptedAnswer::redirect(server.url("/landing/a")));
  server.http().setAnswer("/other", testkit::ScriptedAnswer::redirect(server.url("/landing/b")));
  server.http().setAnswer("/landing/a", testkit::ScriptedAnswer::text("a"));
  server.http().setAnswer("/landing/b", testkit::ScriptedAnswer::text("b"));
  loadReady();
  present();
  heard->take();
  auto controller = ad->viewControllerForTesting();
  const std::string store = std::string("http://") + nubira::NBEmbeddedWebViewController::kStoreWebHost + "/app/1";
  using T = WebViewNavigationType;
  struct Case {
    std::vector<std::pair<std::string, T>> navigations;
    std::vector<std::string> opens;  // in any order
  };
  const Case cases[] = {
      {{{"file:///etc/hosts", T::LinkClicked}}, {}},
      {{{"tel:5551234", T::Other}, {"sms:5551234", T::Other}, {server.url("/ref"), T::Other}, {store, T::Other}}, {}},
      {{{"tel:5551234", T::LinkClicked}}, {"tel:5551234"}},
      {{{"tel:555%3B*21%23", T::LinkClicked}}, {}},
      {{{"sms:5551234", T::LinkClicked}}, {"sms:5551234"}},
      // Two referrals at once each end where their own redirects lead.
      {{{server.url("/ref"), T::LinkClicked}, {server.url("/other"), T::LinkClicked}},
       {server.url("/landing/a"), server.url("/landing/b")}},
      // A referral that cannot be followed opens the last address it had.
      {{{store, T::LinkClicked}}, {store}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.navigations.front().first);
    const size_t before = opened().size();
    // One act per touch: each tap's link is handed over before the next tap.
    for (const auto& [url, type] : c.navigations) {
      navigate(url, type);
      runUntilIdle();
    }
    // A referral followed by mistake would have opened where it ends by now.
    settleTraffic();
    std::vector<std::string> got(opened().begin() + before, opened().end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.opens);
    EXPECT_EQ(heard->take(), Events(c.opens.size(), "leave"));
    EXPECT_EQ(page()->request()->url(), "about:blank");
    advance(platform::kUserActivationSeconds);  // no touch is left for the next case
  }

  // Mail: the recipient is the same with or without "//" after the scheme.
  for (const char* mailto : {"mailto:ads@example.com?subject=x", "mailto://ads@example.com"}) {
    SCOPED_TRACE(mailto);
    navigate(mailto, T::LinkClicked);
    runUntilIdle();
    auto composer = std::dynamic_pointer_cast<platform::MailComposeViewController>(controller->presentedViewController());
    ASSERT_NE(composer, nullptr);
    EXPECT_EQ(composer->toRecipients(), std::vector<std::string>{"ads@example.com"});
    advance(platform::kModalTransitionDuration);
    composer->finishWithResult(platform::MailComposeResult::Cancelled);
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
    EXPECT_EQ(controller->presentedViewController(), nullptr);
  }
  EXPECT_TRUE(heard->events.empty()) << "a composer on top is not a dismissal";
}

TEST_F(NBAdInterstitialTest, PageCommandsAndFormsInsideTheAd) {
  auto form = testkit::ScriptedAnswer::text("<p>thanks</p>");
  form.hold = std::make_shared<testkit::AnswerHold>();
  server.http().setAnswer("/form", form);
  server.http().setAnswer("/landing/a", testkit::ScriptedAnswer::text("a"));
  loadReady();
  auto controller = ad->viewControllerForTesting();
  auto& app = platform::Application::sharedApplication();
  // Off screen, the page's asks wait for nobody.
  page()->stringByEvaluatingJavaScriptFromString("mraid.makeCall('5551234'); mraid.open('" + server.url("/landing/a") +
                                                 "'); mraid.sendMail('a@b.example', 's', 'b');");
  settleTraffic();
  EXPECT_TRUE(opened().empty());
  EXPECT_EQ(controller->presentedViewController(), nullptr);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  present();
  heard->take();

  // A call needs a real number; the browser takes web pages only. Neither uses the touch.
  touchAd();
  page()->stringByEvaluatingJavaScriptFromString("mraid.makeCall('555;*21#'); mraid.open('file:///etc/hosts');"
                                                 "mraid.makeCall('555-1234');");
  settleTraffic();
  EXPECT_EQ(opened(), std::vector<std::string>{"tel://555-1234"});
  EXPECT_EQ(heard->take(), Events{"leave"});
  EXPECT_EQ(controller->presentedViewController(), nullptr);
  touchAd();
  page()->stringByEvaluatingJavaScriptFromString("mraid.open('" + server.url("/landing/a") + "');");
  settleTraffic();
  auto browser = controller->nbEmbedWebViewController();
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(browser->webView()->request());
  EXPECT_FALSE(browser->webView()->isLoading());
  EXPECT_EQ(browser->webView()->request()->url(), server.url("/landing/a"));
  // Closing the browser brings the ad back: no dismissal for the host.
  EXPECT_TRUE(browser->closeItem()->tap());
  runUntilIdle();
  advance(platform::kModalTransitionDuration);
  runUntilIdle();
  EXPECT_EQ(controller->nbEmbedWebViewController(), nullptr);
  EXPECT_EQ(controller->presentedViewController(), nullptr);
  EXPECT_TRUE(heard->events.empty());
  EXPECT_EQ(ad->state(), 3);

  // A form loads in place; the close button moves below the status bar until the load ends.
  page()->injectNavigationForTesting(platform::URLRequest(server.url("/form")), WebViewNavigationType::FormSubmitted);
  settleTraffic();
  EXPECT_EQ(form.hold->waiting(), 1u);
  EXPECT_EQ(controller->closeButton()->frame().origin.y, 20);
  EXPECT_FALSE(app.isStatusBarHidden());
  form.hold->release();
  settleTraffic();
  ASSERT_EQ(page()->request()->url(), server.url("/form"));
  EXPECT_FALSE(page()->isLoading());
  EXPECT_EQ(controller->closeButton()->frame().origin.y, 0);
  EXPECT_TRUE(app.isStatusBarHidden());
  EXPECT_FALSE(app.isNetworkActivityIndicatorVisible());
  EXPECT_TRUE(heard->events.empty());
  EXPECT_EQ(ad->state(), 3);
}

}  // namespace

namespace {

TEST_F(NBAdInterstitialTest, CloseButtonDrawsAWhiteCrossOnBlackInAWhiteFrame) {
  using platform::DrawOp;
  using platform::PathElement;
  auto button = ad->closeButtonForTesting();
  ASSERT_EQ(button->frame(), platform::Rect(0, 0, 25, 25));
  platform::GraphicsContext context(platform::Size{25, 25});
  platform::GraphicsContext::pushContext(&context);
  button->drawRect(button->bounds());
  platform::GraphicsContext::popContext();
  const auto fills = context.operationsOfKind(DrawOp::Kind::FillPath);
  ASSERT_EQ(fills.size(), 2u);
  const std::pair<platform::Rect, double> shapes[] = {{platform::Rect(0, 0, 25, 25), 12},
                                                     {platform::Rect(2.5, 2.5, 20, 20), 10}};
  const platform::Color colors[] = {platform::Color::whiteColor(), platform::Color::blackColor()};
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(fills[i].path.size(), 1u);
    EXPECT_EQ(fills[i].path[0].kind, PathElement::Kind::RoundedRect);
    EXPECT_EQ(fills[i].path[0].rect, shapes[i].first);
    EXPECT_EQ(fills[i].path[0].radius, shapes[i].second);
    EXPECT_EQ(fills[i].fillColor, colors[i]);
  }
  const auto strokes = context.operationsOfKind(DrawOp::Kind::StrokePath);
  ASSERT_EQ(strokes.size(), 1u);
  EXPECT_EQ(strokes[0].lineWidth, 3.0);
  EXPECT_EQ(strokes[0].strokeColor, platform::Color::whiteColor());
  std::vector<platform::Point> points;
  for (const auto& e : strokes[0].path) points.insert(points.end(), e.points.begin(), e.points.end());
  EXPECT_EQ(points, (std::vector<platform::Point>{{8.5, 8}, {16.5, 16}, {16.5, 8}, {8.5, 16}}));
}

}  // namespace

namespace {

TEST_F(NBAdInterstitialTest, ControllerTurnsItsViewTheInterstitialsWayRound) {
  auto controller = nubira::NBAdInterstitialPrivate::create();
  using platform::AffineTransform;
  // Landscape left is a quarter turn anticlockwise, landscape right one clockwise.
  const std::pair<int, AffineTransform> cases[] = {
      {4, AffineTransform::makeRotation(-M_PI / 2)}, {3, AffineTransform::makeRotation(M_PI / 2)},
      {2, AffineTransform::makeRotation(M_PI)},      {1, AffineTransform::identity()},
      {0, AffineTransform::identity()},              {5, AffineTransform::identity()},
  };
  for (const auto& [orientation, transform] : cases) {
    SCOPED_TRACE(orientation);
    controller->rotateExpandedWindowsToOrientation(orientation);
    EXPECT_EQ(controller->view()->transform(), transform);
  }
}

TEST_F(NBAdInterstitialTest, GestureRecognizerLightsTheTouchedButtonUntilTheTouchIsOver) {
  auto holder = std::make_shared<platform::View>(platform::Rect(0, 0, 100, 100));
  auto button = std::make_shared<platform::Button>(platform::ButtonType::Custom, platform::Rect(10, 10, 25, 25));
  holder->addSubview(button);
  window->addSubview(holder);
  auto recognizer = std::make_shared<nubira::NBInterstitialGestureRecognizer>();
  holder->addGestureRecognizer(recognizer);
  int taps = 0;
  button->addTargetActionForControlEvents(
      nullptr, [&](platform::Control&) { ++taps; }, platform::kControlEventTouchUpInside);

  for (bool cancelled : {false, true}) {
    SCOPED_TRACE(cancelled ? "cancelled" : "ended");
    EXPECT_EQ(window->touchDownAtPoint(platform::Point{20, 20}), button);
    EXPECT_EQ(recognizer->beganButton(), button);
    auto white = button->backgroundImageForState(platform::kControlStateNormal);
    ASSERT_TRUE(white);
    EXPECT_EQ(white->format(), "png");
    if (cancelled)
      window->touchCancel();
    else
      window->touchUpAtPoint(platform::Point{20, 20});
    EXPECT_EQ(button->backgroundImageForState(platform::kControlStateNormal), nullptr);
  }
  // The button still has its own touches, and the recognizer stands in no other's way.
  EXPECT_EQ(taps, 1);
  EXPECT_FALSE(recognizer->cancelsTouchesInView());
  platform::TapGestureRecognizer other;
  EXPECT_FALSE(recognizer->canPreventGestureRecognizer(other));
  EXPECT_FALSE(recognizer->canBePreventedByGestureRecognizer(other));

  // The close image: a white 25 x 25 outline, 4 points wide.
  auto image = nubira::NBInterstitialGestureRecognizer::createCloseImage();
  ASSERT_TRUE(image && image->drawing());
  EXPECT_EQ(image->size(), (platform::Size{25, 25}));
  const auto& ops = image->drawing()->operations();
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_EQ(ops[0].kind, platform::DrawOp::Kind::StrokeRect);
  EXPECT_EQ(ops[0].rect, platform::Rect(0, 0, 25, 25));
  EXPECT_EQ(ops[0].lineWidth, 4.0);
  EXPECT_EQ(ops[0].strokeColor, platform::Color::whiteColor());
}

}  // namespace
