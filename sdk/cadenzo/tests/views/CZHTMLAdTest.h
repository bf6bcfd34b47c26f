#pragma once
// Shared set-up for tests of HTML interstitials end to end: the facade with a recording
// delegate, the client's own controller, a key window, and answers whose page runs a script.
#include <memory>
#include <string>

#include "CZDefaultViewController.h"
#include "CZWebView.h"
#include "cadenzo/Cadenzo.h"
#include "platform/window.h"
#include "../session/CZSessionTest.h"

namespace cztest {

class HTMLAdTest : public CZSessionTest {
 protected:
  void SetUp() override {
    CZSessionTest::SetUp();
    facade->setDelegate(listener);
    controller = cadenzo::CZDefaultViewController::sharedController();
    window = platform::Window::create(platform::Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
  }
  // An answer whose page runs `script` five seconds after it loaded (the page sits in a JSON
  // string: single quotes only).
  std::string answer(const std::string& script, const std::string& extra = "") {
    return "{\"status\":200,\"type\":\"html\",\"ad_id\":\"ad-77\",\"cgn\":\"from-answer\",\"to\":\"t-1\","
           "\"link\":\"" + server->url("/target") + "\"" + extra +
           ",\"html\":\"<html><body><script>setTimeout(function(){" + script +
           "}, 5000);</script><p id='play'>Play now</p></body></html>\"}";
  }
  // Caches the interstitial at `location`, shows it and answers the view on the window.
  std::shared_ptr<cadenzo::CZWebView> cacheAndShow(const std::string& location) {
    facade->cacheInterstitial(location);
    settleTraffic();
    EXPECT_TRUE(facade->hasCachedInterstitial(location));
    facade->showInterstitial(location);
    auto shown = facade->visibleImpression();
    EXPECT_TRUE(shown);
    if (!shown) return nullptr;
    impression = shown;
    return std::dynamic_pointer_cast<cadenzo::CZWebView>(shown->view());
  }
  // The user touches the ad in the middle of the screen, half a second before the page's
  // script runs (five seconds in): the page then acts within the touch's second.
  void userTouchesTheAdBeforeItsScript() {
    advance(5 - 0.5);
    EXPECT_TRUE(window->tapAtPoint(platform::Point{160, 240}));
    advance(0.5);
  }
  // Lets the shown ad's page click (five seconds in, just after the user touched it) and
  // waits until the server heard the click and the loading overlay is down again; `clicks`
  // counts the clicks heard so far.
  void letThePageClick(size_t& clicks) {
    userTouchesTheAdBeforeItsScript();
    settleTraffic();
    ASSERT_EQ(server->callsTo("click").size(), clicks + 1);
    ++clicks;
    settleTraffic();
    ASSERT_FALSE(controller->loadingViewIsVisible());
    runUntilIdle();
  }
  std::shared_ptr<RecordingCadenzoDelegate> listener = std::make_shared<RecordingCadenzoDelegate>();
  std::shared_ptr<cadenzo::CZDefaultViewController> controller;
  std::shared_ptr<platform::Window> window;
  // Held by the test so that its final state can be read after everyone else let go.
  std::shared_ptr<cadenzo::CZImpression> impression;
};

}  // namespace cztest
