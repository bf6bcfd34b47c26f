#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CZWebView.h"
#include "platform/sandbox.h"
#include "platform/url.h"
#include "platform/window.h"
#include "testing/sandbox_test.h"

namespace {

using cadenzo::CZWebView;
using platform::Dictionary;
using platform::Value;

struct Heard {
  std::vector<std::string> events;  // "display", "fail", "close", "click <url|->"
  std::vector<std::optional<Value>> clickData;
};

class WebViewTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    testkit::SandboxTest::SetUp();
    view = CZWebView::createWithFrame(platform::Rect(0, 0, 320, 480));
    wire(view, heard);
    // Shown, so that a user can touch it.
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->addSubview(view);
    window->makeKeyAndVisible();
  }
  // A user's finger on the ad.
  void touch() {
    auto hit = window->tapAtPoint(platform::Point{160, 240});
    EXPECT_TRUE(hit && hit->isDescendantOfView(view));
  }
  static void wire(const std::shared_ptr<CZWebView>& v, Heard& h) {
    v->setDisplayCallback([&h] { h.events.push_back("display"); });
    v->setFailCallback([&h] { h.events.push_back("fail"); });
    v->setCloseCallback([&h] { h.events.push_back("close"); });
    v->setClickCallback([&h](const std::optional<std::string>& url, const std::optional<Value>& data) {
      h.events.push_back("click " + url.value_or("-"));
      h.clickData.push_back(data);
    });
  }
  std::optional<bool> ask(const std::string& url) {
    return view->webViewShouldStartLoadWithRequestNavigationType(view, platform::URLRequest(url),
                                                                 platform::WebViewNavigationType::Other);
  }
  std::string bundleBase() {
    return platform::URL::fileURLWithPath(platform::Sandbox::bundlePath(), true).absoluteString();
  }
  std::shared_ptr<CZWebView> view;
  std::shared_ptr<platform::Window> window;
  Heard heard;
};

TEST_F(WebViewTest, CommandsOfThePage) {
  const std::string target = "http://store.example/app?id=7&x=a/b";
  const std::string escapedTarget = "http%3A%2F%2Fstore.example%2Fapp%3Fid%3D7%26x%3Da%2Fb";
  struct Case { std::string url; bool allowed; std::vector<std::string> events; std::optional<Value> data; } cases[] = {
      {"http://ads.example/page.html", true, {}, std::nullopt},
      {"about:blank", true, {}, std::nullopt},
      {"cadenzo://close", true, {"close"}, std::nullopt},
      {"cadenzo:/", false, {"close"}, std::nullopt},
      {"cadenzo://link", false, {"close"}, std::nullopt},
      {"cadenzo://link/" + escapedTarget, true, {"click " + target}, std::nullopt},
      {"cadenzo://link/" + escapedTarget + "/%7B%22cgn%22%3A%22spring%22%7D", true, {"click " + target},
       Value(Dictionary{{"cgn", Value("spring")}})},
      // JSON that does not parse, or is not ASCII: the click still goes through, without data.
      {"cadenzo://link/" + escapedTarget + "/%7Bnot-json", true, {"click " + target}, std::nullopt},
      {"cadenzo://link/" + escapedTarget + "/%7B%22cgn%22%3A%22%C3%A9%22%7D", true, {"click " + target},
       std::nullopt},
      // A target that is not UTF-8: the impression falls back to the answer's "link".
      {"cadenzo://link/%FF", true, {"click -"}, std::nullopt},
      {"cadenzo://resize/10", true, {}, std::nullopt},
      {"", false, {"close"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    // Untouched, a click is not heard, and the page sees the same answer; after the user's
    // touch it is.
    for (bool touched : {false, true}) {
      SCOPED_TRACE(touched ? "touched" : "untouched");
      heard = {};
      if (touched) touch();
      EXPECT_EQ(ask(c.url), std::optional<bool>(c.allowed));
      std::vector<std::string> expected;
      for (const auto& e : c.events) {
        if (touched || e.rfind("click", 0) != 0) expected.push_back(e);
      }
      EXPECT_EQ(heard.events, expected);
      if (!heard.clickData.empty()) {
        EXPECT_EQ(heard.clickData[0], c.data);
      }
      advance(platform::kUserActivationSeconds);  // the touch, if unused, is over
    }
  }
}

// Handled commands are allowed as loads like any other host of the scheme: the web view
// cannot load them, keeps the page and reports the failure after the command's callback.
TEST_F(WebViewTest, PageScriptsCloseAndClickThenTheUnloadableCommandFails) {
  const Value clickData(Dictionary{{"cgn", Value("c1")}, {"type", Value("featured")}});
  struct Case { std::string script; std::vector<std::string> events; std::optional<Value> data; } cases[] = {
      {"location.href = 'cadenzo://close';", {"display", "close", "fail"}, std::nullopt},
      {"location.href = 'cadenzo://link/' + encodeURIComponent('http://t.example/a/b') + '/' +"
       " encodeURIComponent(JSON.stringify({cgn: 'c1', type: 'featured'}));",
       {"display", "click http://t.example/a/b", "fail"}, clickData},
      // A command the view does not know is allowed, and the web view cannot load it.
      {"location.href = 'cadenzo://unknown';", {"display", "fail"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    heard = {};
    // The user touches the page, which acts within the touch's second.
    view->loadHTMLStringBaseURL("<html><body><p>ad</p><script>setTimeout(function(){" + c.script +
                                    "}, 500);</script></body></html>",
                                bundleBase());
    runUntilIdle();
    touch();
    advance(0.5);
    runUntilIdle();
    EXPECT_EQ(heard.events, c.events);
    if (c.data) {
      ASSERT_EQ(heard.clickData.size(), 1u);
      EXPECT_EQ(heard.clickData[0], c.data);
    }
  }
}

TEST_F(WebViewTest, KeepsItsOwnDelegate) {
  auto intruder = std::make_shared<platform::WebViewDelegate>();
  view->setDelegate(intruder);
  EXPECT_EQ(view->delegate().get(), static_cast<platform::WebViewDelegate*>(view.get()));
  // Also when the caller only knows it as a web view.
  std::shared_ptr<platform::WebView> plain = view;
  plain->setDelegate(intruder);
  EXPECT_EQ(view->delegate().get(), static_cast<platform::WebViewDelegate*>(view.get()));
  view->loadHTMLStringBaseURL("<body onload=\"location = 'cadenzo://close'\"></body>", bundleBase());
  runUntilIdle();
  EXPECT_EQ(heard.events, (std::vector<std::string>{"display", "close", "fail"}));
}

}  // namespace
