// Hostile pages and server answers against the Nubira banner, over loopback and in the real
// web view: each attempt fails without harm, is said once in the log, and the banner goes on
// to its next ad as if nothing had happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "NBAdViewReports.h"
#include "NBEmbeddedWebViewController.h"
#include "NBSDKUtil.h"
#include "nubira/NBAdView.h"
#include "platform/application.h"
#include "platform/log.h"
#include "platform/view_controller.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/nubira_server.h"
#include "testing/sandbox_test.h"

namespace {

using nubira::NBAdView;
using platform::Rect;
using testing::ScriptedAnswer;

std::string richMedia(const std::string& markup) {
  return "<?xml version=\"1.0\"?><Response><Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\">"
         "<![CDATA[" + markup + "]]></Ad></Response>";
}

ScriptedAnswer htmlPage(const std::string& body, int delayMs = 0) {
  ScriptedAnswer a = ScriptedAnswer::text("<html><body>" + body + "</body></html>");
  a.headers = {{"Content-Type", "text/html"}};
  a.delay = std::chrono::milliseconds(delayMs);
  return a;
}

class NBHostileInputTest : public testing::SandboxTest {
 protected:
  void SetUp() override {
    testing::SandboxTest::SetUp();
    NBAdView::setServers(server.url(""), server.url(""));
    // A runaway page is stopped quickly; the guard is the same at any bound.
    platform::WebView::setScriptLimits({0.05, size_t{64} << 20});
    window = platform::Window::create(Rect(0, 0, 320, 480));
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    root->view()->addSubview(container);
    view = NBAdView::createWithFrameNbAppIdNbAdUnitRootViewController(Rect(0, 0, 320, 50), "site-1", 15, root);
    // Each ad is asked for by the test.
    view->setRefreshInterval(-1);
    view->setDelegate(heard);
    container->addSubview(view);
    nubira::NBSDKUtil::util()->setLogLevel(2);
    log = std::make_unique<platform::LogCapture>();
  }
  void TearDown() override {
    log.reset();
    nubira::NBSDKUtil::util()->setLogLevel(1);
    testing::SandboxTest::TearDown();
  }
  // Asks for the next ad, answered with `reply`: the publisher's first report of it.
  std::string nextAd(const std::string& reply) {
    server.setAdReply(reply);
    advance(NBAdView::kMinimumSecondsBetweenAds + 1);
    heard->events.clear();
    view->loadNBAdRequest();
    runUntil([&] { return !heard->events.empty(); }, 10);
    return heard->events.empty() ? std::string() : heard->events.front();
  }
  // Pages load over the network in real time; their timers run on the manual clock.
  void settle(const std::function<bool()>& done, double seconds = 1) {
    for (int step = 0; step * 0.01 < seconds && !done(); ++step) {
      advance(0.01);
      runUntil(done, 0.01);
    }
    runUntilIdle();
  }
  std::shared_ptr<platform::WebView> onScreen() const {
    auto one = view->webView1ForTesting();
    return one->superview() == view ? one : view->webView2ForTesting();
  }
  size_t logged(const std::string& fragment) const {
    const auto lines = log->lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
  }
  const std::vector<std::string>& opened() const { return platform::Application::sharedApplication().openedURLs(); }
  // A plain ad afterwards loads, and its own page still reaches the bridge.
  void expectTheBannerGoesOn() {
    ASSERT_EQ(nextAd(richMedia("<p>plain</p>")), "finish");
    const size_t before = opened().size();
    onScreen()->stringByEvaluatingJavaScriptFromString("mraid.makeCall('5550000');");
    settle([&] { return opened().size() > before; });
    ASSERT_EQ(opened().size(), before + 1);
    EXPECT_EQ(opened().back(), "tel://5550000");
  }

  testing::NubiraServer server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::View> container = std::make_shared<platform::View>(Rect(0, 100, 320, 50));
  std::shared_ptr<nubiratest::NBAdViewReports> heard = std::make_shared<nubiratest::NBAdViewReports>();
  std::shared_ptr<NBAdView> view;
  std::unique_ptr<platform::LogCapture> log;
};

// Pages that try to leave the web, hand the bridge to a page the ad navigated to, or never
// stop: nothing is dialled or shown, the refusal is said once, and the next ad works.
TEST_F(NBHostileInputTest, HostilePagesReachNothingAndTheBannerGoesOn) {
  const std::string dial = "location.href = 'mraid://phone?number=5551234';";
  server.http().setAnswer("/landing", htmlPage("<script>setInterval(function(){ " + dial + " }, 10);</script>"));
  server.http().setAnswer("/hop", ScriptedAnswer::redirect(server.url("/landing")));
  server.http().setAnswer("/dials", htmlPage("<script>" + dial + "</script>"));
  server.http().setAnswer("/store-file", htmlPage("<script>location.href = 'file://" +
                                                  std::string(nubira::NBEmbeddedWebViewController::kStoreWebHost) +
                                                  "/etc/passwd';</script>"));
  // Keeps the ad's page loading while its navigation is handed over.
  server.http().setAnswer("/slow.js", htmlPage("", 300));
  const std::string slow = "<script src=\"" + server.url("/slow.js") + "\"></script>";
  const std::string foreign = "a page other than the ad's own";
  const std::string file = "a local file";
  const std::string browser = "in the browser";
  const std::string runaway = "ran past its time limit";
  struct Case {
    const char* name;
    std::string markup;
    std::string said;
  };
  const Case cases[] = {
      {"landing page drives the bridge", "<script>location.href = '" + server.url("/landing") + "';</script>" + slow,
       foreign},
      {"landing page behind a redirect", "<script>location.href = '" + server.url("/hop") + "';</script>" + slow,
       foreign},
      {"local file", "<script>location.href = 'file:///etc/passwd';</script>" + slow, file},
      {"escaped path", "<script>location.href = 'FILE:///%2e%2e/%2e%2e/etc/passwd';</script>" + slow, file},
      {"browser on a local file", "<script>setTimeout(function(){ mraid.open('file:///etc/passwd'); }, 100);</script>",
       browser},
      {"browser page drives the bridge",
       "<script>setTimeout(function(){ mraid.open('" + server.url("/dials") + "'); }, 100);</script>", browser},
      {"browser page names the store in a file URL",
       "<script>setTimeout(function(){ mraid.open('" + server.url("/store-file") + "'); }, 100);</script>", browser},
      {"never stops", "<script>for (;;) {}</script>", runaway},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t openedBefore = opened().size();
    log->clear();
    nextAd(richMedia(c.markup));
    settle([&] { return logged(c.said) > 0; }, 2);
    settle([] { return false; }, 0.1);
    EXPECT_EQ(opened().size(), openedBefore);
    EXPECT_EQ(logged(c.said), 1u) << ::testing::PrintToString(log->lines());
    if (auto browserShown = view->browserForTesting()) {
      browserShown->closeMVC();
      advance(platform::kModalTransitionDuration);
      runUntilIdle();
    }
    EXPECT_FALSE(root->presentedViewController());
    expectTheBannerGoesOn();
    if (HasFatalFailure()) return;
  }
}

}  // namespace
