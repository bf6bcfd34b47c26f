// Rich-media banners driven by their own pages over loopback: what the page hears when the ad
// is shown, expansion over the window and the way back, the state rules answered with error
// events, the placing for each orientation, and the composers and browser a page may open.
#include <gtest/gtest.h>

#include <cmath>

#include "NBEmbeddedWebViewController.h"
#include "nubira/NBAdView.h"
#include "platform/alert.h"
#include "platform/application.h"
#include "platform/composers.h"
#include "platform/controls.h"
#include "platform/device.h"
#include "platform/random.h"
#include "platform/runtime.h"
#include "platform/scroll_view.h"
#include "platform/view_controller.h"
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
    "<div id=\"nb_c\">rich</div><script>window.heard = [];"
    "mraid.addEventListener('viewableChange', function (v) { heard.push('viewable:' + v); });"
    "mraid.addEventListener('stateChange', function (s) { heard.push('state:' + s); });"
    "mraid.addEventListener('ready', function () { heard.push('ready'); });"
    "mraid.addEventListener('error', function (m, a) { heard.push('error:' + a + ':' + m); });"
    "</script>]]></Ad></Response>";

struct Heard : nubira::NBAdDelegate {
  std::vector<std::string> events;
  void adViewWillPresentScreen(NBAdView&) override { events.push_back("present"); }
  void adViewWillDismissScreen(NBAdView&) override { events.push_back("will dismiss"); }
  void adViewDidDismissScreen(NBAdView&) override { events.push_back("did dismiss"); }
  void adViewWillLeaveApplication(NBAdView&) override { events.push_back("leave"); }
  void adViewDidFinishRequest(NBAdView&) override { events.push_back("finish"); }
  void adViewDidFailRequestWithError(NBAdView&, const platform::Error& e) override {
    events.push_back(std::to_string(e.code) + " " + e.domain);
  }
};

Rect rounded(const Rect& r) {
  return Rect(std::lround(r.origin.x), std::lround(r.origin.y), std::lround(r.size.width), std::lround(r.size.height));
}

class NBAdViewExpansionTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    testing::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    server.setAdReply(kListeningPage);
    window = platform::Window::create(Rect(0, 0, 320, 480));
    root = std::make_shared<platform::ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    // The publisher's own view, in the root controller's view below the status bar.
    container = std::make_shared<platform::View>(Rect(0, 100, 320, 50));
    container->setTag(7);
    root->view()->addSubview(container);
    view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(Rect(0, 0, 320, 50), "site-1", 15, root);
    view->setDelegate(heard);
    container->addSubview(view);
    advance(0.5);
    ASSERT_TRUE(runUntil([&] { return !heard->events.empty(); }, 10));
    ASSERT_EQ(heard->events, std::vector<std::string>{"finish"});
    heard->events.clear();
  }
  // Runs `script` in the ad's page and lets its commands reach the banner.
  void page(const std::string& script) {
    view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString(script);
    runUntilIdle();
  }
  std::string pageHeard() {
    auto text = view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString("heard.join('|')");
    page("heard = [];");
    return text;
  }
  bool inWindow(const std::shared_ptr<platform::View>& v) const {
    for (const auto& s : window->subviews())
      if (s == v) return true;
    return false;
  }

  testing::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root;
  std::shared_ptr<platform::View> container;
  std::shared_ptr<Heard> heard = std::make_shared<Heard>();
  std::shared_ptr<NBAdView> view;
};

TEST_F(NBAdViewExpansionTest, ExpandsOverTheWindowAndClosesBackIntoItsPlace) {
  EXPECT_EQ(pageHeard(), "viewable:true|state:default|ready");
  EXPECT_EQ(view->webView1ForTesting()->stringByEvaluatingJavaScriptFromString("mraid.getViewable()"), "true");

  // The first tag drawn is the container's own, so another is drawn.
  platform::Random::script({7, 30007});
  page("mraid.expand(null, {width: 400, height: 600});");
  EXPECT_EQ(view->currentStateForTesting(), 5);
  EXPECT_EQ(heard->events, std::vector<std::string>{"present"});
  EXPECT_FALSE(view->isRefreshTimerRunningForTesting());
  EXPECT_EQ(view->superview(), window);
  EXPECT_EQ(container->tag(), 5007);
  auto blocking = view->blockingViewForTesting();
  ASSERT_TRUE(blocking && inWindow(blocking));
  EXPECT_EQ(blocking->frame(), window->frame());
  EXPECT_LT(std::find(window->subviews().begin(), window->subviews().end(), blocking),
            std::find(window->subviews().begin(), window->subviews().end(), view));
  // Pulled onto the screen: from x 0 and below the status bar, cut to what fits.
  EXPECT_EQ(rounded(view->frame()), Rect(0, 20, 320, 440));
  auto web = view->webView1ForTesting();
  ASSERT_TRUE(std::dynamic_pointer_cast<platform::ScrollView>(web->superview()));
  EXPECT_EQ(web->superview()->superview(), view);
  EXPECT_EQ(web->frame(), Rect(0, 0, 400, 600));

  // Expanding twice is refused; the load that the move into the window scheduled is too.
  page("mraid.expand();");
  EXPECT_EQ(pageHeard(), "error:expand:Cannot expand an ad that is not in the default or resized state.");
  advance(0.5);
  EXPECT_EQ(heard->events.back(), "2 An ad click is in progress.");
  heard->events.clear();

  // A landing page opened by the ad hides the expansion until the browser is gone, and
  // tells the publisher nothing.
  page("mraid.open('" + server.url("/landing") + "');");
  ASSERT_NE(root->presentedViewController(), nullptr);
  EXPECT_TRUE(view->isHidden());
  EXPECT_TRUE(blocking->isHidden());
  advance(platform::kModalTransitionDuration);
  view->browserForTesting()->closeMVC();
  runUntilIdle();
  advance(platform::kModalTransitionDuration);
  runUntilIdle();
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_FALSE(view->isHidden());
  EXPECT_FALSE(blocking->isHidden());
  EXPECT_TRUE(heard->events.empty());

  auto closeButton = view->adCloseButtonForTesting();
  ASSERT_TRUE(closeButton);
  EXPECT_EQ(closeButton->frame(), Rect(0, 0, 25, 25));
  EXPECT_EQ(window->tapAtPoint(platform::Point(5, 25)), closeButton);
  runUntilIdle();
  EXPECT_EQ(view->currentStateForTesting(), 1);
  EXPECT_EQ(heard->events, (std::vector<std::string>{"will dismiss", "did dismiss"}));
  EXPECT_TRUE(view->isRefreshTimerRunningForTesting());
  EXPECT_EQ(view->superview(), container);
  EXPECT_EQ(container->tag(), 7);
  EXPECT_FALSE(inWindow(blocking));
  EXPECT_EQ(view->blockingViewForTesting(), nullptr);
  EXPECT_EQ(closeButton->superview(), nullptr);
  EXPECT_EQ(view->frame(), Rect(0, 0, 320, 50));
  EXPECT_EQ(web->superview(), view);
  EXPECT_EQ(web->frame(), Rect(0, 0, 320, 50));
  EXPECT_EQ(pageHeard(), "state:default");

  // Back in its place, the load scheduled by the move meets the 20 s rule.
  heard->events.clear();
  advance(0.5);
  EXPECT_EQ(heard->events, std::vector<std::string>{"0 Minimum ad refresh interval is 20 seconds"});
}

TEST_F(NBAdViewExpansionTest, StateRulesAnswerThePageWithErrorEvents) {
  pageHeard();
  struct Step {
    const char* script;
    int state;
    std::string heard;
  };
  const Step steps[] = {
      {"mraid.close();", 1, "error:close:Cannot close an ad that is not expanded or resized."},
      {"window.location = 'mraid://hide';", 1, "error:hide:Cannot hide an ad that is not expanded or resized."},
      // Nothing sets the largest size yet.
      {"mraidview.resize(10, 10);", 1, "error:resize:Cannot resize an ad larger than allowed."},
      {"view.setMaxSize(320x100)", 1, ""},
      {"mraidview.resize(320, 100);", 2, ""},
      {"mraidview.resize(10, 10);", 2, "error:resize:Cannot resize an ad that is not in the default state."},
      {"mraid.close();", 1, ""},
      {"mraidview.resize(10, 10);", 2, ""},
      {"window.location = 'mraid://hide';", 4, ""},
      {"window.location = 'mraid://hide';", 4, "error:hide:Cannot hide if we're already hidden."},
      {"mraid.expand();", 4, "error:expand:Cannot expand an ad that is not in the default or resized state."},
      {"mraidview.resize(10, 10);", 4, "error:resize:Cannot resize an ad that is not in the default state."},
      {"window.location = 'mraid://show';", 1, "viewable:true|state:default|ready"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.script);
    if (std::string(s.script) == "view.setMaxSize(320x100)")
      view->setMaxSize({320, 100});
    else
      page(s.script);
    EXPECT_EQ(view->currentStateForTesting(), s.state);
    EXPECT_EQ(pageHeard(), s.heard);
    // None of it moves the ad or is told to the publisher.
    EXPECT_EQ(view->superview(), container);
    EXPECT_EQ(view->frame(), Rect(0, 0, 320, 50));
  }
  EXPECT_TRUE(heard->events.empty());
}

TEST_F(NBAdViewExpansionTest, ExpansionIsPlacedAndTurnedForEachOrientation) {
  auto& device = platform::Device::currentDevice();
  struct Case {
    DeviceOrientation orientation;
    double angle;
    Rect frame, web;
  };
  // A 300 × 200 expansion of the banner at (0, 120) in the window, placed by hand with the 20-point status
  // bar: upside down it cannot stand on its own bottom edge, so it goes to the top; lying on
  // a side it is 200 wide and 300 high.
  const Case cases[] = {
      {DeviceOrientation::Portrait, 0, Rect(0, 120, 300, 200), Rect(0, 0, 300, 200)},
      {DeviceOrientation::PortraitUpsideDown, M_PI, Rect(0, 0, 300, 200), Rect(0, 0, 300, 200)},
      {DeviceOrientation::LandscapeLeft, M_PI / 2, Rect(100, 120, 200, 300), Rect(0, 0, 300, 200)},
      {DeviceOrientation::LandscapeRight, -M_PI / 2, Rect(120, 120, 200, 300), Rect(0, 0, 300, 200)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.orientation));
    // Turning the device changes nothing while the ad is in its place.
    const size_t animations = platform::View::committedAnimations().size();
    device.setOrientation(c.orientation);
    EXPECT_EQ(view->frame(), Rect(0, 0, 320, 50));
    EXPECT_TRUE(view->transform().isIdentity());
    page("mraid.expand(null, {x: 5, y: 5, width: 300, height: 200});");
    ASSERT_EQ(view->currentStateForTesting(), 5);
    EXPECT_EQ(rounded(view->frame()), c.frame);
    EXPECT_EQ(view->transform(), c.angle == 0 ? platform::AffineTransform::identity()
                                              : platform::AffineTransform::makeRotation(c.angle));
    EXPECT_EQ(rounded(view->webView1ForTesting()->frame()), c.web);
    EXPECT_EQ(platform::View::committedAnimations().size(), animations);
    page("mraid.close();");
    EXPECT_EQ(view->currentStateForTesting(), 1);
    EXPECT_TRUE(view->transform().isIdentity());
    EXPECT_EQ(view->superview(), container);
  }

  // Turning while expanded places the ad again, in an animation.
  device.setOrientation(DeviceOrientation::Portrait);
  page("mraid.expand(null, {width: 300, height: 200});");
  EXPECT_EQ(rounded(view->frame()), cases[0].frame);
  device.setOrientation(DeviceOrientation::LandscapeLeft);
  EXPECT_EQ(rounded(view->frame()), cases[2].frame);
  EXPECT_EQ(view->transform(), platform::AffineTransform::makeRotation(M_PI / 2));
  ASSERT_FALSE(platform::View::committedAnimations().empty());
  EXPECT_EQ(platform::View::committedAnimations().back().identifier, "rotate-expanded-ad");
  EXPECT_DOUBLE_EQ(platform::View::committedAnimations().back().duration, 0.4);
}

TEST_F(NBAdViewExpansionTest, PagesOpenComposersOrAnAlert) {
  using platform::MailComposeViewController;
  using platform::MessageComposeViewController;
  struct Case {
    std::string name, script;
    std::function<void()> arrange;
    std::vector<std::string> to, cc;
    std::string subject, body, alert;
  };
  const Case cases[] = {
      {"page mail", "mraid.sendMail('ann@x.example', 'Hi', 'Body & more');", nullptr, {"ann@x.example"}, {}, "Hi",
       "Body & more", ""},
      // A tapped mailto link: every address, not the text from a fixed offset.
      {"mailto link", "mailto://ann%40x.example,%20bob@y.example?cc=cy@z.example&Subject=Hi%20there&body=L%C3%BCne",
       nullptr, {"ann@x.example", "bob@y.example"}, {"cy@z.example"}, "Hi there", "L\xC3\xBCne", ""},
      {"no account", "mraid.sendMail('ann@x.example', 'Hi', 'B');", [] { MailComposeViewController::setCanSendMail(false); },
       {}, {}, "", "", "No email account has been setup!"},
      {"no mail", "mraid.sendMail('ann@x.example', 'Hi', 'B');",
       [] { platform::Runtime::setAvailable("MFMailComposeViewController", false); }, {}, {}, "", "", "Cannot send Email!"},
      {"page sms", "mraid.sendSMS('5551234', 'see you');", nullptr, {"5551234"}, {}, "", "see you", ""},
      {"no sms", "mraid.sendSMS('5551234', 'x');", [] { MessageComposeViewController::setCanSendText(false); }, {}, {},
       "", "", "Cannot send SMS!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.arrange) c.arrange();
    const size_t alerts = platform::AlertView::shownAlerts().size();
    if (c.script.rfind("mailto:", 0) == 0) {
      // Only the user's tap opens a composer; the page's own navigation does not.
      view->webView1ForTesting()->injectNavigationForTesting(platform::URLRequest(c.script),
                                                             platform::WebViewNavigationType::Other);
      runUntilIdle();
      EXPECT_EQ(root->presentedViewController(), nullptr);
      view->webView1ForTesting()->injectNavigationForTesting(platform::URLRequest(c.script),
                                                             platform::WebViewNavigationType::LinkClicked);
      runUntilIdle();
    } else {
      page(c.script);
    }
    auto presented = root->presentedViewController();
    if (!c.alert.empty()) {
      EXPECT_EQ(presented, nullptr);
      ASSERT_EQ(platform::AlertView::shownAlerts().size(), alerts + 1);
      auto alert = platform::AlertView::shownAlerts().back();
      EXPECT_EQ(alert->title(), "Error!");
      EXPECT_EQ(alert->message(), c.alert);
      EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
      MailComposeViewController::setCanSendMail(true);
      MessageComposeViewController::setCanSendText(true);
      platform::Runtime::setAvailable("MFMailComposeViewController", true);
      continue;
    }
    ASSERT_NE(presented, nullptr);
    if (auto mail = std::dynamic_pointer_cast<MailComposeViewController>(presented)) {
      EXPECT_EQ(mail->toRecipients(), c.to);
      EXPECT_EQ(mail->ccRecipients(), c.cc);
      EXPECT_EQ(mail->subject(), c.subject);
      EXPECT_EQ(mail->body(), c.body);
      EXPECT_FALSE(mail->isHTML());
      advance(platform::kModalTransitionDuration);
      mail->finishWithResult(platform::MailComposeResult::Sent);
    } else {
      auto sms = std::dynamic_pointer_cast<MessageComposeViewController>(presented);
      ASSERT_TRUE(sms);
      EXPECT_EQ(sms->recipients(), c.to);
      EXPECT_EQ(sms->body(), c.body);
      advance(platform::kModalTransitionDuration);
      sms->finishWithResult(platform::MessageComposeResult::Cancelled);
    }
    runUntilIdle();
    advance(platform::kModalTransitionDuration);
    runUntilIdle();
    EXPECT_EQ(root->presentedViewController(), nullptr);
  }
  EXPECT_TRUE(heard->events.empty());
}

TEST_F(NBAdViewExpansionTest, BeaconPingIsSentOnceAndOpensNothing) {
  server.http().setAnswer("/ping", testing::ScriptedAnswer::redirect(server.url("/pinged")));
  page("mraid.asyncPing('" + server.url("/ping?n=1&t=a%20b") + "');");
  ASSERT_TRUE(runUntil([&] { return !server.requestsTo("/pinged").empty(); }, 10));
  runUntilIdle();
  ASSERT_EQ(server.requestsTo("/ping").size(), 1u);
  EXPECT_EQ(server.requestsTo("/ping")[0].queryItem("t"), "a b");
  EXPECT_TRUE(platform::Application::sharedApplication().openedURLs().empty());
  EXPECT_TRUE(heard->events.empty());
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

}  // namespace
