// Rich-media banners driven by their own pages over loopback: what the page hears when the ad
// is shown, expansion over the window and back, the state rules, the placing for each
// orientation, and the composers, browser and pings a page may ask for.
#include <gtest/gtest.h>

#include <cmath>

#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "NBSDKUtil.h"
#include "nubira/NBAdView.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/controls.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/random.h"
#include "platform/scroll_view.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdView;
using platform::DeviceOrientation;
using platform::Rect;

// The page writes down every event the ad library passes on to it.
constexpr const char* kListeningPage =
    "<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\"><![CDATA["
    "<script>window.heard = [];"
    "mraid.addEventListener('viewableChange', function (v) { heard.push('viewable:' + v); });"
    "mraid.addEventListener('stateChange', function (s) { heard.push('state:' + s); });"
    "mraid.addEventListener('ready', function () { heard.push('ready'); });"
    "mraid.addEventListener('error', function (m, a) { heard.push('error:' + a + ':' + m); });"
    "</script>]]></Ad></Response>";

Rect rounded(const Rect& r) {
  return Rect(std::lround(r.origin.x), std::lround(r.origin.y), std::lround(r.size.width), std::lround(r.size.height));
}

class NBAdViewExpansionTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    server.setAdReply(kListeningPage);
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    // The publisher's own view, in the root controller's view below the status bar.
    container->setTag(7);
    root->view()->addSubview(container);
    view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(Rect(0, 0, 320, 50), "site-1", 15, root);
    view->setDelegate(heard);
    container->addSubview(view);
    advance(0.5);
    settleTraffic();
    ASSERT_FALSE(heard->events.empty());
    ASSERT_EQ(heard->events, std::vector<std::string>{"finish"});
    heard->events.clear();
  }
  // Runs `script` in the ad's page and lets its commands reach the banner.
  void page(const std::string& script) {
    view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
  }
  // The user's finger lifting from the ad's page where it is on screen now: what the page
  // then asks for acts for the user.
  void touchAd() {
    auto web = view->webView1ForTesting();
    const auto size = web->bounds().size;
    window->tapAtPoint(web->convertRectToView(Rect(size.width / 2, size.height / 2, 1, 1), window).origin);
  }
  void touchAndPage(const std::string& script) {
    touchAd();
    page(script);
  }
  std::string pageHeard() {
    auto text = view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString("heard.join('|')");
    page("heard = [];");
    return text;
  }
  void finishTransition() {
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
  }

  testkit::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::View> container = std::make_shared<platform::View>(Rect(0, 100, 320, 50));
  std::shared_ptr<nubiratest::NBAdViewReports> heard = std::make_shared<nubiratest::NBAdViewReports>();
  std::shared_ptr<NBAdView> view;
};

TEST_F(NBAdViewExpansionTest, ExpandsOverTheWindowAndClosesBackIntoItsPlace) {
  EXPECT_EQ(pageHeard(), "viewable:true|state:default|ready");
  // The first tag drawn is the container's own, so another is drawn.
  platform::Random::script({7, 30007});
  touchAndPage("mraid.expand(null, {width: 400, height: 600});");
  EXPECT_EQ(heard->events, std::vector<std::string>{"present"});
  EXPECT_FALSE(view->isRefreshTimerRunningForTesting());
  EXPECT_EQ(view->superview(), window);
  EXPECT_EQ(container->tag(), 5007);
  auto blocking = view->blockingViewForTesting();
  ASSERT_TRUE(blocking);
  EXPECT_EQ(blocking->frame(), window->frame());
  const auto& inWindow = window->subviews();
  EXPECT_LT(std::find(inWindow.begin(), inWindow.end(), blocking), std::find(inWindow.begin(), inWindow.end(), view));
  // Pulled onto the screen: from x 0 and below the status bar, cut to what fits.
  EXPECT_EQ(rounded(view->frame()), Rect(0, 20, 320, 440));
  auto web = view->webView1ForTesting();
  EXPECT_TRUE(std::dynamic_pointer_cast<platform::ScrollView>(web->superview()));
  EXPECT_EQ(web->frame(), Rect(0, 0, 400, 600));

  // Expanding twice is refused; so is the load that the move into the window scheduled.
  page("mraid.expand();");
  EXPECT_EQ(pageHeard(), "error:expand:Cannot expand an ad that is not in the default or resized state.");
  advance(0.5);
  EXPECT_EQ(heard->events.back(), "2 An ad click is in progress.");
  heard->events.clear();

  // A landing page the ad opens hides the expansion until the browser is gone, and tells the
  // publisher nothing.
  touchAndPage("mraid.open('" + server.url("/landing") + "');");
  EXPECT_TRUE(view->isHidden() && blocking->isHidden());
  advance(platform::kModalTransitionDuration);
  view->browserForTesting()->closeMVC();
  finishTransition();
  EXPECT_FALSE(view->isHidden() || blocking->isHidden());
  EXPECT_TRUE(heard->events.empty());
  // So does full-screen media, until it leaves full screen.
  nubira::NBSDKUtil::util()->setLogLevel(2);
  {
    platform::LogCapture log;
    platform::Notification media;
    media.name = "media";
    view->mediaDidEnterFullScreen(media);
    EXPECT_TRUE(view->isHidden() && blocking->isHidden());
    view->mediaDidExitFullScreen(media);
    EXPECT_FALSE(view->isHidden() || blocking->isHidden());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"<<Media will enter full screen>>>", "<<Media will exit full screen>>>"}));
  }
  nubira::NBSDKUtil::util()->setLogLevel(1);

  auto closeButton = view->adCloseButtonForTesting();
  ASSERT_TRUE(closeButton);
  EXPECT_EQ(window->tapAtPoint(platform::Point{5, 25}), closeButton);
  runUntilIdle();
  EXPECT_EQ(heard->events, (std::vector<std::string>{"will dismiss", "did dismiss"}));
  EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
  EXPECT_EQ(view->superview(), container);
  EXPECT_EQ(container->tag(), 7);
  EXPECT_EQ(blocking->superview(), nullptr);
  EXPECT_EQ(closeButton->superview(), nullptr);
  EXPECT_EQ(view->frame(), Rect(0, 0, 320, 50));
  EXPECT_EQ(web->superview(), view);
  EXPECT_EQ(web->frame(), Rect(0, 0, 320, 50));
  EXPECT_EQ(pageHeard(), "state:default");
  // Back in its place, the load scheduled by the move meets the 20 s rule.
  advance(0.5);
  EXPECT_EQ(heard->events.back(), "0 Minimum ad refresh interval is 20 seconds");
}

TEST_F(NBAdViewExpansionTest, StateRulesAnswerThePageWithErrorEvents) {
  pageHeard();
  // A close from the default state keeps the ad where it is, in the default state.
  const std::pair<const char*, int> steps[] = {
      {"mraid.close();", 1}, {"location = 'mraid://hide';", 4}, {"location = 'mraid://hide';", 4},
      {"media", 4}, {"mraid.expand();", 4}, {"location = 'mraid://show';", 1},
      {"mraidview.resize(10, 10);", 1},  // nothing has set the largest size yet
      {"maxSize", 1}, {"mraidview.resize(320, 100);", 2}, {"mraidview.resize(10, 10);", 2},
      {"mraid.close();", 1}, {"mraidview.resize(10, 10);", 2}, {"location = 'mraid://hide';", 4},
  };
  const char* expected[] = {
      "", "", "error:hide:Cannot hide if we're already hidden.", "",
      "error:expand:Cannot expand an ad that is not in the default or resized state.",
      "viewable:true|state:default|ready",
      "error:resize:Cannot resize an ad larger than allowed.", "", "",
      "error:resize:Cannot resize an ad that is not in the default state.", "", "", "",
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(steps[i].first);
    const std::string step = steps[i].first;
    if (step == "maxSize") {
      view->setMaxSize({320, 100});
    } else if (step == "media") {
      // Full-screen media leaves an ad that is not expanded as it is.
      view->mediaDidEnterFullScreen(platform::Notification());
      EXPECT_FALSE(view->isHidden());
    } else {
      page(steps[i].first);
    }
    EXPECT_EQ(view->currentStateForTesting(), steps[i].second);
    EXPECT_EQ(pageHeard(), expected[i]);
    // None of it moves the ad or is told to the publisher.
    EXPECT_EQ(view->superview(), container);
  }
  EXPECT_TRUE(heard->events.empty());
}

TEST_F(NBAdViewExpansionTest, ExpansionIsPlacedAndTurnedForEachOrientation) {
  auto& device = platform::Device::currentDevice();
  // A 300 × 200 expansion of the banner at (0, 120) in the window, placed by hand with the
  // 20-point status bar: upside down it cannot stand on its own bottom edge, so it goes to
  // the top; lying on a side it is 200 wide and 300 high.
  const std::tuple<DeviceOrientation, double, Rect> cases[] = {
      {DeviceOrientation::Portrait, 0, Rect(0, 120, 300, 200)},
      {DeviceOrientation::PortraitUpsideDown, M_PI, Rect(0, 0, 300, 200)},
      {DeviceOrientation::LandscapeLeft, M_PI / 2, Rect(100, 120, 200, 300)},
      {DeviceOrientation::LandscapeRight, -M_PI / 2, Rect(120, 120, 200, 300)},
  };
  for (const auto& [orientation, angle, frame] : cases) {
    SCOPED_TRACE(int(orientation));
    // Turning the device changes nothing while the ad is in its place.
    device.setOrientation(orientation);
    EXPECT_EQ(view->frame(), Rect(0, 0, 320, 50));
    touchAndPage("mraid.expand(null, {x: 5, y: 5, width: 300, height: 200});");
    EXPECT_EQ(rounded(view->frame()), frame);
    EXPECT_EQ(view->transform(), platform::AffineTransform::makeRotation(angle));
    EXPECT_EQ(rounded(view->webView1ForTesting()->frame()), Rect(0, 0, 300, 200));
    page("mraid.close();");
    EXPECT_TRUE(view->transform().isIdentity());
  }
  EXPECT_TRUE(platform::View::committedAnimations().empty());
  // Turning while expanded places the ad again, in an animation.
  device.setOrientation(DeviceOrientation::Portrait);
  touchAndPage("mraid.expand(null, {width: 300, height: 200});");
  device.setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(rounded(view->frame()), std::get<2>(cases[2]));
  ASSERT_EQ(platform::View::committedAnimations().size(), 1u);
  EXPECT_EQ(platform::View::committedAnimations()[0].identifier, "rotate-expanded-ad");
  EXPECT_DOUBLE_EQ(platform::View::committedAnimations()[0].duration, 0.4);

  // Let go of while expanded, the ad leaves nothing over the window.
  auto blocking = view->blockingViewForTesting();
  view->removeFromSuperview();
  view.reset();
  runUntilIdle();
  EXPECT_EQ(blocking->superview(), nullptr);
  EXPECT_EQ(container->tag(), 7);
}

TEST_F(NBAdViewExpansionTest, PagesOpenComposersOrAnAlertAndPing) {
  using platform::MailComposeViewController;
  using platform::MessageComposeViewController;
  // A tapped mailto link addresses the composer, and only that: the fields after "?" are not
  // read, so a page cannot write the user's mail (nor copy it to anyone). The page's own
  // navigation to it opens nothing.
  const std::tuple<std::string, std::function<void()>, std::string> cases[] = {
      {"mailto:ads@example.com", nullptr, "ads@example.com|||"},
      {"mailto://ads@example.com", nullptr, "ads@example.com|||"},
      {"mailto:ann@x.example?cc=cy@z.example&Subject=Win%20now&body=L%C3%BCne", nullptr, "ann@x.example|||"},
      {"mailto:?to=cy@z.example&subject=x", nullptr, "|||"},
      {"mraid.sendSMS('5551234', 'see you');", nullptr, "5551234|see you"},
      {"mraid.sendMail('a@x', 'Hi', 'B');", [] { MailComposeViewController::setCanSendMail(false); },
       "Error! No email account has been setup!"},
      {"mraid.sendSMS('5', 'x');", [] { MessageComposeViewController::setCanSendText(false); },
       "Error! Cannot send SMS!"},
  };
  auto join = [](const std::vector<std::string>& list) {
    std::string text;
    for (const auto& item : list) text += (text.empty() ? "" : ",") + item;
    return text;
  };
  for (const auto& [script, arrange, expected] : cases) {
    SCOPED_TRACE(script);
    if (arrange) arrange();
    // Only the user's tap opens a composer; the page's own navigation does not.
    if (script.rfind("mailto:", 0) == 0) {
      for (auto type : {platform::WebViewNavigationType::Other, platform::WebViewNavigationType::LinkClicked}) {
        EXPECT_EQ(root->presentedViewController(), nullptr);
        if (type == platform::WebViewNavigationType::LinkClicked) touchAd();
        view->webView1ForTesting()->injectNavigationForTesting(platform::URLRequest(script), type);
        runUntilIdle();
      }
    } else {
      touchAndPage(script);
    }
    auto presented = root->presentedViewController();
    advance(platform::kModalTransitionDuration);
    if (auto mail = std::dynamic_pointer_cast<MailComposeViewController>(presented)) {
      EXPECT_EQ(join(mail->toRecipients()) + "|" + join(mail->ccRecipients()) + "|" + mail->subject() + "|" +
                    mail->body(), expected);
      mail->finishWithResult(platform::MailComposeResult::Sent);
    } else if (auto sms = std::dynamic_pointer_cast<MessageComposeViewController>(presented)) {
      EXPECT_EQ(join(sms->recipients()) + "|" + sms->body(), expected);
      sms->finishWithResult(platform::MessageComposeResult::Cancelled);
    } else {
      auto alert = platform::AlertView::shownAlerts().back();
      EXPECT_EQ(alert->title() + " " + alert->message(), expected);
      EXPECT_EQ(alert->buttonTitleAtIndex(alert->cancelButtonIndex()), "OK");
    }
    finishTransition();
    EXPECT_EQ(root->presentedViewController(), nullptr);
  }

  // A beacon is requested once and opens nothing.
  server.http().setAnswer("/ping", testkit::ScriptedAnswer::redirect(server.url("/pinged")));
  page("mraid.asyncPing('" + server.url("/ping?t=a%20b") + "');");
  settleTraffic();
  ASSERT_FALSE(server.requestsTo("/pinged").empty());
  EXPECT_EQ(server.requestsTo("/ping").at(0).queryItem("t"), "a b");
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
  EXPECT_TRUE(heard->events.empty());
}

}  // namespace
