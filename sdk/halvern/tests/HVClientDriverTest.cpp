#include "HVClientDriver.h"

#include "HVAdSlot.h"
#include "HVClientManager.h"
#include "HVClientTestSupport.h"
#include "HVCommandHandler.h"
#include "HVJavascriptBridge.h"

namespace halvern {
namespace {

// A stand-in page for the driver: it records what native code hands it.
constexpr const char* kRecordingPage =
    "var got = [];\n"
    "function driverInit(list) { got.push(list); }\n"
    "function fetchAdForSlotNamed(name) { got.push(name); }\n"
    "function shouldStartLoadWithRequest(url) { got.push(url); return url.indexOf('/ok') > 0; }\n";

class HVClientDriverTest : public testsupport::HalvernClientTest {
 protected:
  std::shared_ptr<HVClientDriver> driver() { return HVController::sharedController()->clientManager()->clientDriver(); }
  // Builds `page` in the driver's view, with `onload` as the page's onload script.
  void load(const std::shared_ptr<HVClientDriver>& d, const std::string& page, const std::string& onload = "") {
    const std::string script = page;
    d->executeScriptBaseURLData(HVJavascriptBridge::onloadAttributeText(onload), HVAdManager::adBaseURL(),
                                platform::Bytes(script.begin(), script.end()));
    ASSERT_TRUE(settleTraffic());
    ASSERT_FALSE(d->bridge()->isWebViewLoading());
  }
  std::string eval(const std::shared_ptr<HVClientDriver>& d, const std::string& script) {
    return d->webView()->stringByEvaluatingJavaScriptFromString(script);
  }
  // Queues page commands and runs them all, one per poll as a background page has them.
  void send(const std::shared_ptr<HVClientDriver>& d, const std::string& script) {
    eval(d, script);
    while (d->bridge()->poll() > 0) {
    }
  }
  size_t polls(const std::shared_ptr<HVClientDriver>& d) {
    size_t count = 0;
    for (const auto& script : d->webView()->evaluatedScriptsForTesting()) count += script.rfind("commandList(", 0) == 0;
    return count;
  }
};

TEST_F(HVClientDriverTest, TheDriverPageInitialisesWithEverySlotAndFetchesThem) {
  server.setAd("hvBanner", "<b>b</b>", 600, {});
  server.setAd("hvFullScreen", "<b>f</b>", 600, {});
  start();
  ASSERT_TRUE(advanceUntil([] {
    return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner") &&
           HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen");
  }, 120));
  EXPECT_EQ(eval(driver(), "JSON.stringify(HVDriver.slots)"),
            "[{\"name\":\"hvBanner\",\"size\":1},{\"name\":\"hvFullScreen\",\"size\":2}]");
  EXPECT_EQ(HVClientDriver::slotListText(HVController::sharedController()->adManager()->slotDict()),
            "[{name:\"hvBanner\",size:1},{name:\"hvFullScreen\",size:2}]");
  EXPECT_EQ(driver()->state(), HVClientDriver::kIdle);
  // The page is built under the ads' base URL, so its relative paths lead into Content.
  EXPECT_EQ(eval(driver(), "location.href"), HVAdManager::adBaseURL());
  // Each ad lies unpacked in its own folder, recorded with its expiry ten minutes on.
  for (const char* name : {"hvBanner", "hvFullScreen"}) {
    const int64_t dlTime = slot(name)->nextAdDlTime();
    auto rows = HVController::sharedController()->database()->sqlExecuteWithParameters(
        "SELECT expiration FROM ads WHERE slotName=? AND dlTime=?", {platform::Value(name), platform::Value(dlTime)});
    ASSERT_EQ(rows.rows.size(), 1u) << name;
    EXPECT_EQ(rows.rows[size_t(0)][size_t(0)].integerValue(), dlTime + 600'000);
  }
  // Requests the page may make of its own: the ping goes out, the delay is read and set.
  send(driver(), "BridgeDriver.pingURL('" + server.trackerURL("ping") + "');"
                 "BridgeDriver.getAdManagerPropertyCallback('fetchReenqueueDelay', 'got = [%@]');"
                 "BridgeDriver.setAdManagerPropertyValue('fetchReenqueueDelay', '0');"
                 "BridgeDriver.getAdManagerPropertyCallback('slotDict', 'got.push(%@)');"
                 "BridgeDriver.getAdManagerPropertyCallback('database', 'got = null');");
  EXPECT_EQ(eval(driver(), "got.join('|')"), "60|hvBanner,hvFullScreen");
  EXPECT_EQ(HVController::sharedController()->adManager()->fetchReenqueueDelay(), 0.0);
  EXPECT_TRUE(advanceUntil([&] { return server.trackerHits("ping") == 1; }, 120));
}

TEST_F(HVClientDriverTest, TextsReachThePageAsTheyAreWhateverTheyHold) {
  const std::string texts[] = {"hvBanner", "a'b", "a\"b", "back\\slash", "</script><b>", "line\nbreak",
                               "para\xE2\x80\xA9graph", "&quot;');evil('", "x' + (evil = 1) + '"};
  auto d = driver();
  for (const auto& text : texts) {
    SCOPED_TRACE(text);
    load(d, kRecordingPage, HVClientDriver::driverInitScript(text));
    eval(d, HVClientDriver::fetchScript(text));
    EXPECT_EQ(eval(d, "got.length"), "2");
    EXPECT_EQ(eval(d, "got[0]"), text);
    EXPECT_EQ(eval(d, "got[1]"), text);
    EXPECT_EQ(eval(d, "typeof evil"), "undefined");
  }
  // A navigation's URL reaches the page's own check as a string, and its answer decides.
  load(d, kRecordingPage);
  struct Case {
    std::string url;
    bool allowed;
  };
  const Case cases[] = {{"file:///tmp/a.html", true}, {"about:blank", false}, {"http://127.0.0.1/ok?a=');evil('", true},
                        {"http://127.0.0.1/no", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(d->webViewShouldStartLoadWithRequestNavigationType(d->webView(), platform::URLRequest(c.url),
                                                                 platform::WebViewNavigationType::Other),
              c.allowed)
        << c.url;
  }
  EXPECT_EQ(eval(d, "got.length"), "2");
  EXPECT_EQ(eval(d, "typeof evil"), "undefined");
}

TEST_F(HVClientDriverTest, FetchesWaitForAnIdleLoadedPage) {
  auto d = driver();
  EXPECT_FALSE(d->fetchAdForSlotNamed("hvBanner"));  // no page at all
  load(d, kRecordingPage);
  struct Step {
    std::string pageSends;
    int state;
    bool fetchAccepted;
  };
  const Step steps[] = {
      {"", HVClientDriver::kNotReady, false},
      {"BridgeDriver.setState('3'); BridgeDriver.setState('0'); BridgeDriver.setState('x')", HVClientDriver::kNotReady, false},
      {"BridgeDriver.setState('1')", HVClientDriver::kFetching, true},
      {"", HVClientDriver::kFetching, false},  // the first fetch still runs
      {"BridgeDriver.setState('1')", HVClientDriver::kFetching, true},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    send(d, steps[i].pageSends);
    EXPECT_EQ(d->fetchAdForSlotNamed("hvBanner"), steps[i].fetchAccepted);
    EXPECT_EQ(d->state(), steps[i].state);
  }
  EXPECT_EQ(eval(d, "got.join(',')"), "hvBanner,hvBanner");
}

TEST_F(HVClientDriverTest, ShutdownRunsWhatThePageQueuesButNotForever) {
  auto d = driver();
  load(d, "function shutdown() { BridgeDriver.setState('2'); BridgeDriver.setState('1'); BridgeDriver.setState('2'); }");
  d->shutdown();
  EXPECT_EQ(d->state(), HVClientDriver::kFetching);
  EXPECT_EQ(polls(d), 4u);

  // A page whose queue never empties is polled a bounded number of times.
  auto endless = HVClientDriver::create(HVController::sharedController()->clientManager());
  load(endless, "function shutdown() { commandList = function() { return 'bridge_setState:\"1\";'; }; }");
  endless->shutdown();
  EXPECT_EQ(polls(endless), static_cast<size_t>(HVClientDriver::kMaxShutdownPollRounds));
  EXPECT_EQ(endless->state(), HVClientDriver::kIdle);
  // Nothing the page queues afterwards runs.
  eval(endless, "commandList = function() { return 'bridge_setState:\"2\";'; }");
  advance(5.0);
  EXPECT_EQ(endless->state(), HVClientDriver::kIdle);
}

}  // namespace
}  // namespace halvern
