#include "HVJavascriptBridge.h"

#include <algorithm>

#include "HVController.h"
#include "platform/device.h"
#include "platform/error.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::Value;

class RecordingHandler final : public HVCommandHandler {
 public:
  RecordingHandler(std::string name, std::vector<std::string> selectors) : HVCommandHandler(std::move(name)) {
    for (auto& selector : selectors)
      declareCommand(selector, [this, selector](const HVCommandArguments& args) { calls.push_back({selector, args}); });
  }
  struct Call {
    std::string selector;
    HVCommandArguments arguments;
  };
  std::vector<Call> calls;
};

class ThrowingHandler final : public HVCommandHandler {
 public:
  ThrowingHandler() : HVCommandHandler("Thrower") {
    declareCommand("bridge_boom", [](const HVCommandArguments&) {
      throw platform::Exception("NSInvalidArgumentException", "boom");
    });
  }
};

class AllowingDelegate final : public platform::WebViewDelegate {
 public:
  std::optional<bool> webViewShouldStartLoadWithRequestNavigationType(const std::shared_ptr<platform::WebView>&,
                                                                      const platform::URLRequest&,
                                                                      platform::WebViewNavigationType) override {
    return true;
  }
  void webViewDidFinishLoad(const std::shared_ptr<platform::WebView>&) override { ++finished; }
  void webViewDidFailLoadWithError(const std::shared_ptr<platform::WebView>&, const platform::Error&) override {
    ++failed;
  }
  int finished = 0;
  int failed = 0;
};

class HVJavascriptBridgeTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    webView = platform::WebView::create();
    webView->setDelegate(pageDelegate);
    handler = std::make_shared<RecordingHandler>(
        "Test", std::vector<std::string>{"bridge_foo:bar:", "bridge_stop", "bridge_set:set:", "log:"});
    bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(0, webView, handler);
  }
  void TearDown() override {
    if (bridge) bridge->shutdown();
    HVController::sharedController()->shutdown();
    SandboxTest::TearDown();
  }
  void load(const std::string& clientScript, const std::string& onload = "",
            const std::optional<platform::URL>& baseURL = std::nullopt) {
    bridge->loadJavascriptStringExecuteBaseURL(clientScript, onload, baseURL);
    ASSERT_TRUE(settleTraffic());
    ASSERT_FALSE(bridge->isWebViewLoading());
  }
  std::string eval(const std::string& script) { return webView->stringByEvaluatingJavaScriptFromString(script); }

  std::shared_ptr<AllowingDelegate> pageDelegate = std::make_shared<AllowingDelegate>();
  std::shared_ptr<platform::WebView> webView;
  std::shared_ptr<RecordingHandler> handler;
  std::shared_ptr<HVJavascriptBridge> bridge;
};

TEST_F(HVJavascriptBridgeTest, PageProxyCallReachesNativeCodeWithBothStrings) {
  load("", "Test.fooBar('a b','3')");
  EXPECT_TRUE(handler->calls.empty());
  advance(0.5);
  ASSERT_EQ(handler->calls.size(), 1u);
  EXPECT_EQ(handler->calls[0].selector, "bridge_foo:bar:");
  EXPECT_EQ(handler->calls[0].arguments, (HVCommandArguments{Value("a b"), Value("3")}));
}

TEST_F(HVJavascriptBridgeTest, PageScriptsDefineTheBridgeGlobalsAndProxies) {
  HVController::sharedController()->setApplicationID("app\"id");
  bridge->setClientVersion("2.1");
  load("var clientRan = true;");
  EXPECT_EQ(eval("isHVJSLoaded()"), "true");
  EXPECT_TRUE(bridge->isHVJSLoaded());
  EXPECT_EQ(eval("clientRan"), "true");
  EXPECT_EQ(eval("typeof UserInfo.getSessionStart()"), "number");
  EXPECT_EQ(eval("UserInfo.getSessionStart()"), std::to_string(HVController::sessionStart()));
  EXPECT_EQ(eval("UserInfo.getAppId()"), "app\"id");
  EXPECT_EQ(eval("UserInfo.getClientVersion()"), "2.1");
  EXPECT_EQ(eval("UserInfo.setClientVersion('9'); UserInfo.getClientVersion()"), "9");
  EXPECT_EQ(eval("UserInfo.getHostVersion()"), "3.1.2");
  EXPECT_EQ(eval("UserInfo.getDeviceUid()"), HVController::deviceUID());
  EXPECT_EQ(eval("UserInfo.getServerURL()"), HVController::sharedController()->serverURL());
  EXPECT_EQ(eval("g_capabilities.join('|')"), "accel|audio");
  EXPECT_EQ(eval("typeof Test.stop"), "function");
  EXPECT_EQ(eval("typeof Test.log"), "undefined");  // only "bridge_" commands get proxies
  EXPECT_EQ(eval("commandList(7)"), "");
  // Proxies come in the declared order.
  const std::string script = handler->bridgeScript();
  EXPECT_LT(script.find("self.fooBar"), script.find("self.stop"));
  EXPECT_LT(script.find("self.stop"), script.find("self.setSet"));
}

TEST_F(HVJavascriptBridgeTest, RepeatedKeywordsGetDistinctParameters) {
  load("", "Test.setSet('first','second')");
  advance(0.5);
  ASSERT_EQ(handler->calls.size(), 1u);
  EXPECT_EQ(handler->calls[0].arguments, (HVCommandArguments{Value("first"), Value("second")}));
}

TEST_F(HVJavascriptBridgeTest, BackgroundTakesOneCommandPerTickForegroundTakesAll) {
  load("", "Test.stop(); Test.stop(); Test.stop()");
  advance(0.5);
  EXPECT_EQ(handler->calls.size(), 1u);
  HVController::sharedController()->setExecMode(1);
  advance(0.5);
  EXPECT_EQ(handler->calls.size(), 3u);
}

// After a touch the bridge takes everything the page queued at once and keeps taking it at
// the foreground rate while the touch's activation lasts; then the page's own pace comes back.
// A bridge that is halted (its page loading) collects nothing.
TEST_F(HVJavascriptBridgeTest, ATouchCollectsThePagesCommandsWhileItsActivationLasts) {
  const struct {
    const char* name;
    std::optional<double> pageInterval;  // the page's own setPollingInterval
    bool halted;
  } cases[] = {
      {"the default pace", std::nullopt, false},
      {"a page's slower pace", 0.8, false},
      {"a page faster than the foreground", 0.04, false},
      {"halted", std::nullopt, true},
  };
  load("");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bridge->restartPolling();
    if (c.pageInterval) bridge->setPollingInterval(*c.pageInterval);
    const double pace = c.pageInterval.value_or(0.5);
    if (c.halted) bridge->halt();
    handler->calls.clear();
    eval("Test.stop(); Test.stop(); Test.stop()");
    bridge->collectAfterUserTouch();
    runUntilIdle();
    EXPECT_EQ(handler->calls.size(), c.halted ? 0u : 3u) << "at once, without time moving";
    if (c.halted) {
      EXPECT_FALSE(bridge->pollingIntervalForTesting());
      continue;
    }
    EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), std::min(pace, 1.0 / 15));
    // A step the page takes later within the activation, after a native answer, comes soon.
    advance(0.5);
    eval("Test.stop(); Test.stop()");
    advance(1.0 / 15 + 0.001);
    EXPECT_EQ(handler->calls.size(), 5u);
    advance(platform::kUserActivationSeconds);
    EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), pace);
    // Past the activation the background takes one command a tick again.
    eval("Test.stop(); Test.stop()");
    advance(pace + 0.001);
    EXPECT_EQ(handler->calls.size(), 6u);
    advance(pace);
  }
}

TEST_F(HVJavascriptBridgeTest, ParsesCommandsByTheCharacterRules) {
  struct Case {
    std::string command;
    std::optional<std::string> selector;
    HVCommandArguments arguments;
  };
  const std::vector<Case> cases = {
      {"log:\"a b\";", "log:", {Value("a b")}},
      {"setPollingInterval:0.5;", "setPollingInterval:", {Value(0.5)}},
      {"bridge_stop;", "bridge_stop", {}},
      {"  a:Yes   b:NO c:abc d:true e:false", "a:b:c:d:e:", {Value(1.0), Value(0.0), Value(0.0), Value(1.0), Value(0.0)}},
      {"p:\"x\"yz q:1", "p:q:", {Value("x\"y"), Value(1.0)}},
      {"k:\"a:b c\" m:\"\"", "k:m:", {Value("a:b c"), Value("")}},
      {"k:", "k:", {Value(0.0)}},
      {"", std::nullopt, {}},
      {";", std::nullopt, {}},
      {"k:\"", std::nullopt, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    auto parsed = HVJavascriptBridge::parseCommand(c.command);
    ASSERT_EQ(parsed.has_value(), c.selector.has_value());
    if (!parsed) continue;
    EXPECT_EQ(parsed->selector, *c.selector);
    EXPECT_EQ(parsed->arguments, c.arguments);
  }
}

TEST_F(HVJavascriptBridgeTest, ACommandThatThrowsLosesNoOtherCommandOfItsBatch) {
  auto throwing = std::make_shared<ThrowingHandler>();
  bridge->shutdown();
  bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(0, webView, handler);
  bridge->addCommandHandler(throwing);
  load("", "Test.stop(); Thrower.boom(); Test.stop()");
  HVController::sharedController()->setExecMode(1);
  advance(0.5);
  EXPECT_EQ(handler->calls.size(), 2u);
  advance(0.5);
  EXPECT_EQ(handler->calls.size(), 2u);
}

TEST_F(HVJavascriptBridgeTest, AQuotedSemicolonNewlineSplitsTheCommand) {
  load("sendCommand('log:\"one;\\ntwo\";');");
  HVController::sharedController()->setExecMode(1);
  advance(0.5);
  // "log:\"one" has an unterminated quote and yields a one-character-short string.
  ASSERT_EQ(handler->calls.size(), 1u);
  EXPECT_EQ(handler->calls[0].arguments, (HVCommandArguments{Value("on")}));
}

TEST_F(HVJavascriptBridgeTest, PollingIntervalsFollowDeviceModeOverrideAndFloor) {
  struct Case {
    std::optional<platform::UserInterfaceIdiom> idiom;
    int mode;
    double expected;
  };
  const std::vector<Case> cases = {
      {platform::UserInterfaceIdiom::Phone, 0, 0.5},     {platform::UserInterfaceIdiom::Phone, 1, 1.0 / 15},
      {std::nullopt, 0, 0.5},                            {std::nullopt, 1, 1.0 / 15},
      {platform::UserInterfaceIdiom::Pad, 0, 1.0 / 30}, {platform::UserInterfaceIdiom::Pad, 1, 1.0 / 30},
  };
  for (const auto& c : cases) {
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    bridge->handleExecModeUpdate(c.mode);
    EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), c.expected);
    EXPECT_EQ(bridge->execMode(), c.mode);
  }
  bridge->handleExecModeUpdate(5);  // no such mode: nothing changes
  EXPECT_EQ(bridge->execMode(), 1);
  EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), 1.0 / 30);

  bridge->setPollingIntervalOverride(2.0);
  EXPECT_FALSE(bridge->pollingIntervalOverride());
  bridge->setPollingIntervalOverride(0.25);
  EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), 0.25);
  bridge->handleExecModeUpdate(0);
  EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), 0.25);
  bridge->halt();
  EXPECT_FALSE(bridge->pollingIntervalForTesting());
  bridge->restartPolling();
  EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), 0.25);

  bridge->setPollingInterval(0.001);
  EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), 1.0 / 30);
}

TEST_F(HVJavascriptBridgeTest, PageMaySetPollingIntervalAndExecModeButNoOtherBridgeMethod) {
  // A handler that also declares the bridge's own selectors never receives them.
  auto shadow = std::make_shared<RecordingHandler>(
      "Shadow", std::vector<std::string>{"setPollingInterval:", "halt", "shutdown", "bridge_stop"});
  bridge->addCommandHandler(shadow);
  load("", "Bridge.setPollingInterval(0.001); sendCommand('setExecMode:1;'); sendCommand('halt;');"
           "sendCommand('shutdown;'); Test.stop()");
  HVController::sharedController()->setExecMode(1);
  advance(0.5);
  EXPECT_DOUBLE_EQ(*bridge->pollingIntervalForTesting(), 1.0 / 30);
  EXPECT_EQ(bridge->execMode(), 1);
  // "halt" and "shutdown" reached the only other receiver, not the bridge: polling goes on.
  ASSERT_EQ(shadow->calls.size(), 2u);
  EXPECT_EQ(shadow->calls[0].selector, "halt");
  ASSERT_EQ(handler->calls.size(), 1u);  // the first handler wins "bridge_stop"
  eval("Test.stop()");
  advance(0.1);
  EXPECT_EQ(handler->calls.size(), 2u);
}

TEST_F(HVJavascriptBridgeTest, CommandsSentDuringALoadRunAfterItAndANewLoadDropsThem) {
  bridge->loadJavascriptStringExecuteBaseURL("var seen = [];", "", std::nullopt);
  bridge->sendJavascriptCommand("seen.push('one')");
  bridge->sendJavascriptCommand("seen.push('two')");
  ASSERT_TRUE(settleTraffic());
  ASSERT_FALSE(bridge->isWebViewLoading());
  EXPECT_EQ(eval("seen.join(',')"), "one,two");

  bridge->loadJavascriptStringExecuteBaseURL("var seen = [];", "", std::nullopt);
  bridge->sendJavascriptCommand("seen.push('lost')");
  bridge->loadJavascriptStringExecuteBaseURL("var seen = ['fresh'];", "", std::nullopt);
  ASSERT_TRUE(settleTraffic());
  ASSERT_FALSE(bridge->isWebViewLoading());
  ASSERT_FALSE(webView->isLoading());
  EXPECT_EQ(eval("seen.join(',')"), "fresh");
  // The page's own delegate hears every finish; the load cut short is not passed on.
  EXPECT_EQ(pageDelegate->finished, 2);
  EXPECT_EQ(pageDelegate->failed, 0);
  bridge->sendJavascriptCommand("throw 'swallowed'");
  bridge->sendJavascriptCommand("seen.push('after')");
  EXPECT_EQ(eval("seen.join(',')"), "fresh,after");
}

TEST_F(HVJavascriptBridgeTest, ALandingPageIsNeverPolled) {
  const std::string landing = platform::Sandbox::documents() + "/landing.html";
  ASSERT_TRUE(platform::FileManager::writeAtomically(
      landing, "<html><script>var q = ['bridge_stop;']; function commandList(m) { return q.shift(); }"
               "</script></html>"));
  // The bridge's page comes from the client's folder, as the driver's does: only such a page
  // may go on to a local file.
  load("", "location.href = 'file://" + landing + "'",
       platform::URL::fileURLWithPath(platform::Sandbox::documents() + "/"));
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(eval("typeof q"), "object");
  advance(2.0);
  EXPECT_TRUE(handler->calls.empty());
  EXPECT_EQ(eval("q.length"), "1");
}

TEST_F(HVJavascriptBridgeTest, ABridgeShutDownOrDroppedStopsPolling) {
  load("", "Test.stop(); Test.stop()");
  bridge->shutdown();
  advance(2.0);
  EXPECT_TRUE(handler->calls.empty());
  EXPECT_EQ(eval("g_commandQueue.length"), "2");

  bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(0, webView, handler);
  load("", "Test.stop()");
  bridge.reset();
  advance(2.0);
  EXPECT_TRUE(handler->calls.empty());
}

TEST_F(HVJavascriptBridgeTest, CallbackTemplatesAreFilledAsTextNeverAsFormats) {
  struct Case {
    std::string tmpl, value, expected;
  };
  const std::vector<Case> cases = {
      {"cb(%s)", "\"x\"", "cb(\"x\")"},
      {"cb(%d, %s)", "7", "cb(7, %s)"},
      {"cb(%qi)", "-3", "cb(-3)"},
      {"cb('%n%x', %@)", "1", "cb('%n%x', 1)"},
      {"cb('100%%', %s)", "1", "cb('100%', 1)"},
      {"cb()", "1", "cb()"},
      {"cb(%s)", "%s", "cb(%s)"},
  };
  for (const auto& c : cases) EXPECT_EQ(HVCommandHandler::fillCallbackTemplate(c.tmpl, c.value), c.expected) << c.tmpl;
  load("var got;");
  const std::string hostile = "a\"b\\c\n\xE2\x80\xA8);alert(1);//";
  bridge->sendJavascriptCommand(HVCommandHandler::fillCallbackTemplate("got = %s", platform::quoteScriptString(hostile)));
  EXPECT_EQ(eval("got"), hostile);
  EXPECT_TRUE(webView->alertsForTesting().empty());
}

}  // namespace
}  // namespace halvern
