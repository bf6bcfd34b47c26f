// A touch reaches the end of what it started: the redirects of a load a touch started, and
// the navigations its page makes while it first loads, act for that touch once; a page acting
// later, on its own, or twice gets nothing. Through a real page and a loopback server.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/loopback_server.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Rect;
using platform::URLRequest;
using platform::WebView;
using platform::WebViewNavigationType;
using testkit::ScriptedAnswer;

constexpr const char* kStore = "itms-apps://store.test/app/1";

// A client's decision: web pages load; a store link is handed over (refused in the view) only
// when the decision may use a touch, noted as "store+" or "store-".
struct StoreDelegate : platform::WebViewDelegate {
  std::string handed;
  bool loaded = false;
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<WebView>& view,
                                                                       const URLRequest& request,
                                                                       WebViewNavigationType) override {
    if (request.url().rfind("itms-apps:", 0) != 0) return true;
    handed += view->consumeUserActivation() ? "store+" : "store-";
    return false;
  }
  void webViewDidFinishLoad(const std::shared_ptr<WebView>&) override { loaded = true; }
};

class InheritedActivationTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    window_ = platform::Window::create(Rect(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    server_ = std::make_unique<testkit::LoopbackServer>();
  }
  void TearDown() override {
    view_.reset();
    server_.reset();
    window_.reset();
    testkit::SandboxTest::TearDown();
  }
  // A shown view with the ad page: a link to `target`, and one whose handler goes there.
  void showAd(const std::string& target) {
    view_ = WebView::create(Rect(0, 0, 320, 50));
    delegate_ = std::make_shared<StoreDelegate>();
    view_->setDelegate(delegate_);
    window_->addSubview(view_);
    server_->setAnswer("/ad", ScriptedAnswer::html("<a id='link' href='" + target +
                                                   "'>ad</a><a id='js' href='#' onclick='location = \"" + target +
                                                   "\"; return false'>js</a>"));
    view_->loadRequest(URLRequest(server_->url("/ad")));
    ASSERT_TRUE(runUntil([&] { return delegate_->loaded; }));
    delegate_->loaded = false;
  }
  std::string url(const std::string& path) { return server_->url(path); }

  std::shared_ptr<platform::Window> window_;
  std::unique_ptr<testkit::LoopbackServer> server_;
  std::shared_ptr<WebView> view_;
  std::shared_ptr<StoreDelegate> delegate_;
};

TEST_F(InheritedActivationTest, AClickReachesTheStoreOnceAndAPageOnItsOwnDoesNot) {
  struct Case {
    const char* name;
    // The landing page at /landing (the click address /click redirects to it unless `toStore`).
    std::string landing;
    bool toStore;
    // Starts the click on the ad page (showAd with /click as its target).
    std::function<void()> click;
    // Held this long (seconds on the clock) before /click answers.
    double serverTakes;
    const char* handed;
  };
  auto hostLoadsForTouch = [&] { view_->loadRequestWithUserActivation(URLRequest(url("/click"))); };
  auto hostLoadsOnItsOwn = [&] { view_->loadRequest(URLRequest(url("/click"))); };
  auto tapLink = [&] { ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("link")); };
  auto tapScriptLink = [&] { ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("js")); };
  const std::string goesToStore = std::string("<script>location = '") + kStore + "';</script>";
  const Case cases[] = {
      // The user's click, its server redirect and its landing page: the store opens once.
      {"the host loads the click for a touch; it redirects to the store", "", true, hostLoadsForTouch, 0, "store+"},
      {"the redirect comes long after the touch", "", true, hostLoadsForTouch, 5, "store+"},
      {"a tapped link redirects to the store", "", true, tapLink, 5, "store+"},
      {"a tap's handler navigates; it redirects to the store", "", true, tapScriptLink, 5, "store+"},
      {"the landing page sends itself to the store while it loads", goesToStore, false, tapLink, 0, "store+"},
      {"the landing page goes there from its onload", std::string("<body onload=\"location = '") + kStore + "'\">",
       false, hostLoadsForTouch, 2, "store+"},
      {"the landing page goes on through another redirect", "<script>location = '/hop';</script>", false,
       hostLoadsForTouch, 0, "store+"},
      // Hostile: no touch, an act after the first load, a frame, a second act on one touch.
      {"the host loads on its own", "", true, hostLoadsOnItsOwn, 0, "store-"},
      {"the ad page's script follows its link untouched", "", true,
       [&] { view_->stringByEvaluatingJavaScriptFromString("document.getElementById('link').click()"); }, 0,
       "store-"},
      {"the landing page goes there long after it loaded",
       std::string("<script>setTimeout(function () { location = '") + kStore + "'; }, 5000);</script>", false,
       hostLoadsForTouch, 0, "store-"},
      {"the landing page's frame is a store link",
       std::string("<body><script>var f = document.createElement('iframe'); f.src = '") + kStore +
           "'; document.body.appendChild(f);</script></body>",
       false, hostLoadsForTouch, 0, "store-"},
      {"the landing page asks twice while it loads", goesToStore + goesToStore, false, hostLoadsForTouch, 0,
       "store+store-"},
      {"the click redirects to the store, and its page had asked too", "", true,
       [&] {
         tapLink();
         view_->stringByEvaluatingJavaScriptFromString(std::string("location = '") + kStore + "'");
       },
       0, "store-store+"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server_->clearScripts();
    server_->clearRequests();
    auto hold = std::make_shared<testkit::AnswerHold>();
    ScriptedAnswer click = ScriptedAnswer::redirect(c.toStore ? kStore : url("/landing"));
    click.hold = hold;
    server_->setAnswer("/click", click);
    server_->setAnswer("/hop", ScriptedAnswer::redirect(kStore));
    server_->setAnswer("/landing", ScriptedAnswer::html(c.landing));
    showAd(url("/click"));
    c.click();
    ASSERT_TRUE(runUntil([&] { return server_->requestsTo("/click").size() == 1; }));
    advance(c.serverTakes);
    hold->release();
    ASSERT_TRUE(runUntil([&] { return !view_->isLoading(); }));
    advance(6);  // any timer the landing page set
    ASSERT_TRUE(settleTraffic());
    EXPECT_EQ(delegate_->handed, c.handed);
    view_->removeFromSuperview();
  }
}

TEST_F(InheritedActivationTest, TheTouchTheLoadCarriesCountsOffScreenAndTheOldPageKeepsNone) {
  server_->setAnswer("/click", ScriptedAnswer::redirect(kStore));
  // The landing view is still fading in when the redirect comes.
  showAd(url("/click"));
  view_->setAlpha(0);
  view_->loadRequestWithUserActivation(URLRequest(url("/click")));
  ASSERT_TRUE(runUntil([&] { return !view_->isLoading(); }));
  EXPECT_EQ(delegate_->handed, "store+");
  EXPECT_FALSE(view_->hasUserActivation());

  // A tapped link takes the tap's activation with it: the page it leaves has none left.
  view_->setAlpha(1);
  showAd(url("/landing"));
  ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("link"));
  EXPECT_TRUE(view_->hasUserActivation());
  const auto touch = view_->recentUserTouch();
  ASSERT_TRUE(touch);
  ASSERT_TRUE(runUntil([&] { return !view_->hasUserActivation(); }));
  EXPECT_NE(view_->documentSourceForTesting().find("id='link'"), std::string::npos) << "the ad page is still up";
  // The report that goes with the act still knows its touch; a new touch is another.
  EXPECT_EQ(view_->recentUserTouch(), touch);
  ASSERT_TRUE(runUntil([&] { return !view_->isLoading(); }));
  showAd(url("/landing"));
  ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("js"));
  EXPECT_NE(view_->recentUserTouch(), touch);
  advance(platform::kUserActivationSeconds);
  EXPECT_FALSE(view_->recentUserTouch());
}

}  // namespace
