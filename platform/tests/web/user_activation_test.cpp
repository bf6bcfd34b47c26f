// User activation: which touches let a page act for the user, for how long, how often, and
// for which document; and refusals noted once per page.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/web_view.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Point;
using platform::Rect;
using platform::URLRequest;
using platform::View;
using platform::WebView;
using platform::WebViewNavigationType;
using platform::Window;

// After the page's own load, every navigation is noted as "<type><+ or ->" (whether the view
// held an activation when asked), optionally used up, and refused, so the page stays.
struct Delegate : platform::WebViewDelegate {
  bool loaded = false;
  bool consume = false;
  std::string asked;
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
      const std::shared_ptr<WebView>& view, const URLRequest&, WebViewNavigationType type) override {
    if (!loaded) return true;
    bool active = consume ? view->consumeUserActivation() : view->hasUserActivation();
    asked += std::to_string(static_cast<int>(type)) + (active ? "+" : "-");
    return false;
  }
  void webViewDidFinishLoad(const std::shared_ptr<WebView>&) override { loaded = true; }
};

const char kPage[] =
    "<html><body>"
    "<a id='go' href='next.html'>go</a>"
    "<a id='self' href='elsewhere.html' onclick='location = \"handler.html\"; return false'>x</a>"
    "<a id='land' href='about:blank'>land</a>"
    "<a id='burst' href='#' onclick='for (var i = 0; i < 4; i++) window.open(\"cmd:\" + i); return false'>b</a>"
    "</body></html>";

class UserActivationTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    window_ = Window::create(Rect(0, 0, 320, 480));
    window_->makeKeyAndVisible();
    window_->addSubview(other_);
    load();
  }
  void TearDown() override {
    window_->setHidden(true);
    view_.reset();
    window_.reset();
    testkit::SandboxTest::TearDown();
  }
  // A fresh view at the top of the window with kPage loaded.
  void load() {
    if (view_) view_->removeFromSuperview();
    view_ = WebView::create(Rect(0, 0, 320, 50));
    delegate_ = std::make_shared<Delegate>();
    view_->setDelegate(delegate_);
    window_->addSubview(view_);
    view_->loadHTMLStringBaseURL(kPage, platform::URL::create("http://ads.test/"));
    ASSERT_TRUE(runUntil([&] { return delegate_->loaded; }));
  }
  void eval(const std::string& js) { view_->stringByEvaluatingJavaScriptFromString(js); }
  void tapView() { window_->tapAtPoint(Point{10, 10}); }

  std::shared_ptr<Window> window_;
  std::shared_ptr<View> other_ = std::make_shared<View>(Rect(0, 100, 320, 50));
  std::shared_ptr<WebView> view_;
  std::shared_ptr<Delegate> delegate_;
};

TEST_F(UserActivationTest, OnlyAUsersTouchOnTheShownViewGrantsIt) {
  struct Case {
    const char* name;
    std::function<void()> act;
    bool granted;
    const char* asked;  // the navigations the delegate was asked about afterwards
  };
  const Case cases[] = {
      {"nothing: the page as the view loaded it", [] {}, false, ""},
      {"a tap through the window on its scroll view", [&] { tapView(); }, true, ""},
      {"a tap through the window on the view itself", [&] {
         view_->scrollView()->setUserInteractionEnabled(false);
         ASSERT_EQ(window_->tapAtPoint(Point{10, 10}), view_);
       }, true, ""},
      {"a tap on a subview inside the view", [&] {
         auto inner = std::make_shared<View>(Rect(0, 0, 40, 40));
         view_->scrollView()->addSubview(inner);
         ASSERT_EQ(window_->tapAtPoint(Point{10, 10}), inner);
       }, true, ""},
      {"a finger down, then lifted", [&] {
         window_->touchDownAtPoint(Point{10, 10});
         window_->touchMovedToPoint(Point{12, 12});
         window_->touchUpAtPoint(Point{12, 12});
       }, true, ""},
      {"a finger down that is cancelled", [&] {
         window_->touchDownAtPoint(Point{10, 10});
         window_->touchCancel();
       }, false, ""},
      {"a finger down that has not lifted", [&] { window_->touchDownAtPoint(Point{10, 10}); }, false, ""},
      {"the tap hook on a link by URL", [&] { ASSERT_TRUE(view_->tapLinkWithURLForTesting("next.html")); }, true, "0+"},
      {"the tap hook by element id", [&] { ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("go")); }, true, "0+"},
      {"a tap whose handler changes the location", [&] { view_->tapLinkWithElementIdForTesting("self"); },
       true, "5+"},
      {"a script's click() on the link", [&] { eval("document.getElementById('go').click()"); }, false, "5-"},
      {"a script-dispatched click event",
       [&] { eval("var a = document.getElementById('go'); a.dispatchEvent({type: 'click', target: a})"); },
       false, ""},
      {"a timer that follows the link", [&] {
         eval("setTimeout(function () { document.getElementById('go').click(); }, 200)");
         advance(0.3);
       }, false, "5-"},
      {"a location change", [&] { eval("location.href = 'next.html'"); }, false, "5-"},
      {"a frame's src", [&] {
         eval("var f = document.createElement('iframe'); document.body.appendChild(f); f.setAttribute('src', 'frame.html')");
       }, false, "5-"},
      {"window.open", [&] { eval("window.open('popup.html')"); }, false, "5-"},
      {"a tap on another view of the window", [&] { ASSERT_EQ(window_->tapAtPoint(Point{10, 110}), other_); },
       false, ""},
      {"a tap where the view is, while it is hidden", [&] {
         view_->setHidden(true);
         window_->tapAtPoint(Point{10, 10});
         view_->setHidden(false);
       }, false, ""},
      {"a finger that lifts after the view left the window", [&] {
         window_->touchDownAtPoint(Point{10, 10});
         view_->removeFromSuperview();
         window_->touchUpAtPoint(Point{10, 10});
         window_->addSubview(view_);
       }, false, ""},
      {"the tap hook while the view is hidden", [&] {
         view_->setHidden(true);
         view_->tapLinkWithURLForTesting("next.html");
         view_->setHidden(false);
       }, false, "0-"},
      {"the tap hook on a view removed from its window", [&] {
         view_->removeFromSuperview();
         view_->tapLinkWithURLForTesting("next.html");
         window_->addSubview(view_);
       }, false, "0-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    load();
    c.act();
    runUntilIdle();
    EXPECT_EQ(view_->hasUserActivation(), c.granted);
    EXPECT_EQ(delegate_->asked, c.asked);
  }
}

TEST_F(UserActivationTest, ItServesOneActOfTheShownDocumentForOneSecond) {
  const double k = platform::kUserActivationSeconds;
  ASSERT_GT(k, 0.5);
  ASSERT_LE(k, 1.0);
  struct Case {
    const char* name;
    std::function<void()> then;
    bool stillActive;
  };
  auto parent = std::make_shared<View>(Rect(0, 0, 320, 50));
  const Case cases[] = {
      {"nothing more", [] {}, true},
      {"time just short of the bound", [&] { advance(k - 0.01); }, true},
      {"time reaching the bound", [&] { advance(k); }, false},
      {"one act used it", [&] { EXPECT_TRUE(view_->consumeUserActivation()); }, false},
      {"a new document committed", [&] {
         view_->loadHTMLStringBaseURL("<p>next</p>", std::nullopt);
         delegate_->loaded = false;
         ASSERT_TRUE(runUntil([&] { return delegate_->loaded; }));
       }, false},
      {"the view is hidden", [&] { view_->setHidden(true); }, false},
      {"the view is almost transparent", [&] { view_->setAlpha(0.005); }, false},
      {"a superview is hidden", [&] {
         window_->addSubview(parent);
         parent->addSubview(view_);
         parent->setHidden(true);
       }, false},
      {"the window is hidden", [&] { window_->setHidden(true); }, false},
      {"the view left its window", [&] { view_->removeFromSuperview(); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window_->makeKeyAndVisible();
    parent->setHidden(false);
    load();
    tapView();
    c.then();
    EXPECT_EQ(view_->hasUserActivation(), c.stillActive);
    EXPECT_EQ(view_->consumeUserActivation(), c.stillActive);
    EXPECT_FALSE(view_->consumeUserActivation()) << "a second act after one touch";
  }
}

TEST_F(UserActivationTest, APageActingInALoopAfterOneTapGetsOneAct) {
  delegate_->consume = true;
  ASSERT_TRUE(view_->tapLinkWithElementIdForTesting("burst"));
  runUntilIdle();
  EXPECT_EQ(delegate_->asked, "5+5-5-5-");
  // A tapped link's landing page starts without the tap's activation.
  struct Follow : Delegate {
    std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(
        const std::shared_ptr<WebView>& view, const URLRequest&, WebViewNavigationType type) override {
      asked += std::to_string(static_cast<int>(type)) + (view->hasUserActivation() ? "+" : "-");
      return true;
    }
  };
  auto follow = std::make_shared<Follow>();
  view_->setDelegate(follow);
  ASSERT_TRUE(view_->tapLinkWithURLForTesting("about:blank"));
  ASSERT_TRUE(runUntil([&] { return follow->loaded; }));
  EXPECT_EQ(follow->asked, "0+");
  EXPECT_FALSE(view_->hasUserActivation());
}

TEST_F(UserActivationTest, ACommandCountsByWhenItWasQueued) {
  const double k = platform::kUserActivationSeconds;
  struct Case {
    const char* name;
    double queuedAfterTap;  // seconds after the touch
    bool counts;
  };
  const Case cases[] = {
      {"at the touch", 0, true},
      {"just inside the bound", k - 0.01, true},
      {"at the bound", k, false},
      {"before the touch", -0.1, false},
      {"later than now", 2 * k + 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    load();
    const double touched = clock().monotonic();
    tapView();
    advance(2 * k);  // delivered long after the page queued it
    EXPECT_FALSE(view_->hasUserActivation());
    EXPECT_EQ(view_->consumeUserActivationQueuedAt(touched + c.queuedAfterTap), c.counts);
    EXPECT_EQ(view_->consumeUserActivationQueuedAt(touched), !c.counts) << "only a command that counts uses it";
  }
}

TEST_F(UserActivationTest, ARefusalIsNotedOncePerDocument) {
  EXPECT_TRUE(view_->noteRefusalOnce("dial"));
  EXPECT_FALSE(view_->noteRefusalOnce("dial"));
  EXPECT_TRUE(view_->noteRefusalOnce("compose"));
  view_->loadHTMLStringBaseURL("<p>next</p>", std::nullopt);
  EXPECT_FALSE(view_->noteRefusalOnce("dial")) << "the old page is still the one showing";
  delegate_->loaded = false;
  ASSERT_TRUE(runUntil([&] { return delegate_->loaded; }));
  EXPECT_TRUE(view_->noteRefusalOnce("dial"));
  // A page cannot make a client log without bound by varying what it asks for.
  int firsts = 0;
  for (int i = 0; i < 1000; ++i) firsts += view_->noteRefusalOnce("open " + std::to_string(i));
  EXPECT_EQ(firsts + 1, static_cast<int>(WebView::kRefusalKeysNoted));
}

}  // namespace
