#include "HVStandardCommandHandler.h"

#include <sqlite3.h>

#include <functional>
#include <optional>

#include "HVController.h"
#include "HVDatabase.h"
#include "HVZip.h"
#include "HVJavascriptBridge.h"
#include "HVTestSupport.h"
#include "platform/file_manager.h"
#include "platform/reachability.h"
#include "platform/sandbox.h"
#include "platform/url_connection.h"
#include "testing/halvern_server.h"
#include "testing/loopback_server.h"
#include "testing/zip_builder.h"

namespace halvern {
namespace {

using platform::FileManager;
using platform::Value;

class HVStandardCommandHandlerTest : public testsupport::HalvernSandboxTest {
 protected:
  void SetUp() override {
    HalvernSandboxTest::SetUp();
    controller = HVController::sharedController();
    controller->setExecMode(1);
    webView = platform::WebView::create();
    bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(1, webView, lib);
    bridge->loadJavascriptStringExecuteBaseURL("var got = [];", "", std::nullopt);
    ASSERT_TRUE(settleTraffic());
    ASSERT_FALSE(bridge->isWebViewLoading());
    documents = platform::Sandbox::documents();
  }
  void TearDown() override {
    bridge->shutdown();
    controller->shutdown();
    HalvernSandboxTest::TearDown();
  }
  // Page script, one poll, then the workers' answers, which may wait out their throttle.
  void page(const std::string& script) {
    webView->stringByEvaluatingJavaScriptFromString(script);
    advance(0.1 + HVAsyncCommandQueue::kFireInterval);
  }
  std::string got() { return webView->stringByEvaluatingJavaScriptFromString("JSON.stringify(got)"); }
  bool answered(size_t count) {
    return webView->stringByEvaluatingJavaScriptFromString("got.length") == std::to_string(count);
  }

  std::shared_ptr<HVController> controller;
  std::shared_ptr<platform::WebView> webView;
  std::shared_ptr<HVStandardCommandHandler> lib = std::make_shared<HVStandardCommandHandler>();
  std::shared_ptr<HVJavascriptBridge> bridge;
  std::string documents;
};

TEST_F(HVStandardCommandHandlerTest, SettingsAndSqlAnswerByKind) {
  page("BridgeLib.setSettingNumber('n', '42'); BridgeLib.setSettingString('s', 'a\"b\\\\c');"
       "BridgeLib.setSettingBase64String('b', 'aGk=');"
       "sendCommand('setSetting:\"cb\" string:\"x\" callback:\"got.push(7)\";')");
  page("BridgeLib.getSettingWithCallback('n', 'got.push(%d)'); BridgeLib.getSettingWithCallback('s', 'got.push(%s)');"
       "BridgeLib.getSettingWithCallback('b', 'got.push(%s)');"
       "BridgeLib.getSettingWithCallback(\"x' OR '1'='1\", 'got.push(%s)');"
       "BridgeLib.sqlExecuteWithCallback('SELECT id FROM settings WHERE id=\\'none\\'', 'got.push(%s)')");
  // The stored callback first, then a number unquoted, text quoted and escaped, Base64 text
  // as stored, no answer for a missing row and the JSON of no rows as a string.
  EXPECT_EQ(got(), "[7,42,\"a\\\"b\\\\c\",\"aGk=\",\"[]\"]");
}

TEST_F(HVStandardCommandHandlerTest, FilesStayInsideTheClientFolder) {
  ASSERT_TRUE(FileManager::writeAtomically(documents + "/app.txt", std::string_view("app's own")));
  page("BridgeLib.fileWriteString('HV/pages/a/b.txt', 'line \"1\"\\n'); BridgeLib.fileWriteBase64String('HV/bin', 'AAE=');"
       "BridgeLib.fileWriteString('../escape.txt', 'x'); BridgeLib.fileWriteString('app.txt', 'overwritten')");
  EXPECT_EQ(FileManager::contentsAtPath(documents + "/HV/pages/a/b.txt"), platform::Bytes({'l', 'i', 'n', 'e', ' ', '"', '1', '"', '\n'}));
  EXPECT_EQ(FileManager::contentsAtPath(documents + "/HV/bin"), platform::Bytes({0, 1}));
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/../escape.txt"));
  page("BridgeLib.loadStringFromFileWithCallback('HV/pages/a/b.txt', 'got.push(%s)');"
       "BridgeLib.loadBase64StringFromFileWithCallback('HV/bin', 'got.push(%s)');"
       "BridgeLib.loadStringFromFileWithCallback('app.txt', 'got.push(%s)');"
       "BridgeLib.deleteFile(''); BridgeLib.deleteFile('HV'); BridgeLib.deleteFile('app.txt'); BridgeLib.deleteFile('HV/bin')");
  EXPECT_EQ(got(), "[\"line \\\"1\\\"\\n\",\"AAE=\",\"(null)\"]");
  EXPECT_EQ(webView->stringByEvaluatingJavaScriptFromString("BridgeLib.getLocalFileBaseURL()"),
            HVController::localFileBaseURL());
  EXPECT_TRUE(FileManager::fileExistsAtPath(documents + "/app.txt"));
  EXPECT_TRUE(FileManager::fileExistsAtPath(documents + "/HV/halverndb.sql"));
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/HV/bin"));
}

// The server's switches a page may set (the menu and exit times, the status-bar window's
// key) reach the controller as given, a negative menu time among them (it hides the "Menu"
// button); the settings the client keeps and its identity are refused.
TEST_F(HVStandardCommandHandlerTest, ControllerPropertiesThroughAWhitelist) {
  controller->setServerURL("http://good.example");
  const struct {
    const char* key;
    const char* value;
    std::function<bool()> holds;
  } cases[] = {
      {"menuDisplayTime", "2.5", [&] { return controller->menuDisplayTime() == 2.5; }},
      {"menuDisplayTime", "-1", [&] { return controller->menuDisplayTime() == -1.0; }},
      {"menuDisplayTime", "NaN", [&] { return controller->menuDisplayTime() == -1.0; }},
      {"exitItemDisplayTime", "6", [&] { return controller->exitItemDisplayTime() == 6.0; }},
      {"exitItemDisplayTime", "-1", [&] { return controller->exitItemDisplayTime() == 6.0; }},
      {"sbwPropName", "statusBarWindow",
       [&] {
         return controller->sbwPropName() == std::optional<std::string>("statusBarWindow") &&
                controller->database()->sqlExecute("SELECT data FROM settings WHERE id='sbw'") ==
                    platform::Array{Value(platform::Array{Value("statusBarWindow")})};
       }},
      {"disabled", "1", [&] { return !controller->disabled(); }},
      {"serverURL", "http://evil", [&] { return controller->serverURL() == "http://good.example"; }},
      {"applicationID", "other", [&] { return controller->applicationID().empty(); }},
      {"version", "0.0.0",
       [&] {
         return controller->database()->sqlExecute("SELECT data FROM settings WHERE id='version'") ==
                platform::Array{Value(platform::Array{Value(HVDatabase::kVersion)})};
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.value);
    page(std::string("BridgeLib.setControllerProperty('") + c.key + "', '" + c.value + "')");
    EXPECT_TRUE(c.holds());
  }
  page("BridgeLib.getControllerPropertyWithCallback('menuDisplayTime', 'got.push(%s)');"
       "BridgeLib.getControllerPropertyWithCallback('sbwPropName', 'got.push(%s)');"
       "BridgeLib.getControllerPropertyWithCallback('database', 'got.push(%s)');"
       "BridgeLib.getExecModeWithCallback('got.push(%d)'); BridgeLib.setExecMode(0); BridgeLib.getExecModeWithCallback('got.push(%d)')");
  EXPECT_EQ(got(), "[\"-1\",\"statusBarWindow\",1,0]");
}

TEST_F(HVStandardCommandHandlerTest, DownloadsWriteUnzipAndReportFailures) {
  testkit::HalvernServer server;
  server.setFile("page.html", "<p>ad</p>");
  server.setFile("pack.zip", testkit::ZipBuilder().addFile("img/a.txt", "A").addFile("b.txt", "B").bytes());
  server.setFile("broken.zip", "not a zip");
  server.setFile("down.txt", "x");
  server.setFault("down.txt", testkit::HalvernServer::Fault::kFail);
  const std::string local = documents + "/HV/secret.txt";
  ASSERT_TRUE(FileManager::writeAtomically(local, std::string_view("local")));
  page("BridgeLib.writeFileWithContentsOfURLWithCallback('HV/ads/page.html', '" + server.fileURL("page.html") +
       "', 'got.push([\"page\", %d])');"
       "BridgeLib.unzipContentsOfURLToFolderWithCallback('" + server.fileURL("pack.zip") +
       "', 'HV/Content/s/1/deep', 'got.push([\"pack\", %d])');"
       "BridgeLib.writeFileWithContentsOfURLWithCallback('HV/missing', '" + server.fileURL("nothing") +
       "', 'got.push([\"404\", %d])');"
       "BridgeLib.writeFileWithContentsOfURLWithCallback('HV/down', '" + server.fileURL("down.txt") +
       "', 'got.push([\"500\", %d])');"
       "BridgeLib.writeFileWithContentsOfURLWithCallback('HV/copy', 'file://" + local + "', 'got.push([\"file\", %d])');"
       "BridgeLib.writeFileWithContentsOfURLWithCallback('../out', '" + server.fileURL("page.html") +
       "', 'got.push([\"out\", %d])');"
       "BridgeLib.writeFileWithContentsOfURLWithCallback('temp.zip', '" + server.fileURL("pack.zip") +
       "', 'got.push([\"transit\", %d])')");
  ASSERT_TRUE(advanceUntil([&] { return answered(7); }, 10)) << got();
  const std::string answers = got();
  for (const char* expected : {"[\"page\",1]", "[\"pack\",1]", "[\"404\",0]", "[\"500\",0]", "[\"file\",0]", "[\"out\",0]",
                               "[\"transit\",0]"})
    EXPECT_NE(answers.find(expected), std::string::npos) << expected << " in " << answers;
  EXPECT_EQ(FileManager::contentsAtPath(documents + "/HV/ads/page.html"), platform::Bytes({'<', 'p', '>', 'a', 'd', '<', '/', 'p', '>'}));
  EXPECT_EQ(FileManager::contentsAtPath(documents + "/HV/Content/s/1/deep/img/a.txt"), platform::Bytes({'A'}));
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/temp.zip"));
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/HV/missing"));
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/HV/copy"));
  EXPECT_EQ(lib->activeDownloadsForTesting(), 0u);

  // A package that does not unzip is no success.
  page("got = []; BridgeLib.unzipContentsOfURLToFolderWithCallback('" + server.fileURL("broken.zip") +
       "', 'HV/Content/s/2', 'got.push(%d)')");
  ASSERT_TRUE(advanceUntil([&] { return answered(1); }, 10));
  EXPECT_EQ(got(), "[0]");
  // Its transit file goes with it, and a package of too many files writes none of them.
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/temp.zip"));
  testkit::ZipBuilder crowd;
  for (uint64_t i = 0; i <= HVZip::kMaxEntries; ++i) crowd.addFile("f" + std::to_string(i) + ".txt", "x", false);
  server.setFile("crowd.zip", crowd.bytes());
  page("got = []; BridgeLib.unzipContentsOfURLToFolderWithCallback('" + server.fileURL("crowd.zip") +
       "', 'HV/Content/s/3', 'got.push(%d)')");
  ASSERT_TRUE(advanceUntil([&] { return answered(1); }, 10));
  EXPECT_EQ(got(), "[0]");
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/HV/Content/s/3"));
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/temp.zip"));
}

TEST_F(HVStandardCommandHandlerTest, ReachabilityAndPageCallbacks) {
  using platform::Reachability;
  const std::vector<std::pair<uint32_t, const char*>> cases = {
      {0, "0"}, {Reachability::kReachable | Reachability::kTransientConnection, "1"}};
  for (const auto& [flags, expected] : cases) {
    platform::Reachability::setFlags(flags);
    page("got = []; BridgeLib.getNetworkReachabilityWithCallback('http://ads.example/x', 'got.push(%d)');"
         "BridgeLib.callback('got.push(\\'back\\')')");
    EXPECT_EQ(got(), std::string("[") + expected + ",\"back\"]");
  }
  // A statement without a callback still runs.
  page("BridgeLib.sqlExecute('CREATE TABLE pagetable (id TEXT)')");
  EXPECT_EQ(controller->database()->sqlExecute("SELECT name FROM sqlite_master WHERE name='pagetable'").size(), 1u);
}

TEST_F(HVStandardCommandHandlerTest, PageSqlReachesNoOtherFile) {
  const std::string attached = platform::Sandbox::preferences() + "/attached.db";
  const std::string copied = platform::Sandbox::preferences() + "/copied.db";
  // A file the page could otherwise attach and read back.
  ASSERT_TRUE(controller->database()->sqlExecute("SELECT 1").size());
  {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(attached.c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE secret (v TEXT); INSERT INTO secret VALUES ('app data')", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  }
  page("BridgeLib.sqlExecute(\"ATTACH DATABASE '" + attached + "' AS other\");"
       "BridgeLib.sqlExecuteWithCallback('SELECT v FROM other.secret', 'got.push(%s)');"
       "BridgeLib.sqlExecute(\"VACUUM INTO '" + copied + "'\");"
       "BridgeLib.sqlExecute(\"UPDATE settings SET data='0.0.0' WHERE id='version'\");"
       "BridgeLib.sqlExecute('CREATE TABLE IF NOT EXISTS ads (slotName TEXT, dlTime INTEGER)');"
       "BridgeLib.sqlExecute(\"INSERT INTO ads VALUES ('banner', 5)\");"
       "BridgeLib.sqlExecuteWithCallback('SELECT slotName, dlTime FROM ads', 'got.push(%s)')");
  EXPECT_EQ(got(), "[\"[]\",\"[[\\\"banner\\\",5]]\"]");
  EXPECT_FALSE(FileManager::fileExistsAtPath(copied));
  EXPECT_EQ(controller->database()->sqlExecute("SELECT data FROM settings WHERE id='version'"),
            (platform::Array{Value(platform::Array{Value(HVDatabase::kVersion)})}));
}

TEST_F(HVStandardCommandHandlerTest, PageCannotSetTheSettingsTheClientKeeps) {
  const std::string content = documents + "/HV/pages/kept.txt";
  ASSERT_TRUE(FileManager::createDirectoryAtPath(documents + "/HV/pages", true));
  ASSERT_TRUE(FileManager::writeAtomically(content, std::string_view("content")));
  page("BridgeLib.setSettingString('version', '0.0.0'); BridgeLib.setSettingNumber('disabled', '1');"
       "BridgeLib.setSettingString('sbw', 'window'); BridgeLib.setSettingBase64String('version', 'MC4wLjA=');"
       "sendCommand('setSetting:\"disabled\" string:\"1\" callback:\"got.push(1)\";');"
       "BridgeLib.setSettingString('own', 'page value')");
  // A number no 64-bit integer holds is not stored as another one.
  page("BridgeLib.setSettingNumber('huge', '1e300'); BridgeLib.setSettingNumber('nan', 'NaN')");
  EXPECT_EQ(got(), "[]");
  EXPECT_EQ(controller->database()->sqlExecute("SELECT id, data FROM settings ORDER BY id"),
            (platform::Array{Value(platform::Array{Value("own"), Value("page value")}),
                             Value(platform::Array{Value("version"), Value(HVDatabase::kVersion)})}));
  // The next launch finds its own version and switches: the content stays and the client is on.
  controller->shutdown();
  controller = HVController::sharedController();
  EXPECT_TRUE(FileManager::fileExistsAtPath(content));
  EXPECT_FALSE(controller->disabled());
  EXPECT_FALSE(controller->sbwPropName());
}

class Outcomes final : public HVDownloadConnectionDelegate {
 public:
  void downloadSucceeded(const std::shared_ptr<HVDownloadConnection>&) override { log += "ok;"; }
  void downloadFailed(const std::shared_ptr<HVDownloadConnection>&) override { log += "failed;"; }
  void downloadTimedOut(const std::shared_ptr<HVDownloadConnection>&) override { log += "timeout;"; }
  std::string log;
};

TEST_F(HVStandardCommandHandlerTest, ConnectionsRetryAndTimeOutPerAttempt) {
  testkit::LoopbackServer server;
  testkit::ScriptedAnswer cut = testkit::ScriptedAnswer::text("partial body", 200);
  cut.dropAfterBodyBytes = 3;
  testkit::ScriptedAnswer zipped = testkit::ScriptedAnswer::text("last attempt");
  zipped.gzip = true;
  server.setAnswers("/flaky", {testkit::ScriptedAnswer::text("first", 503), cut, zipped});
  auto outcomes = std::make_shared<Outcomes>();
  platform::URLRequest request(server.url("/flaky"));
  request.setValueForHTTPHeaderField("gzip", "Accept-Encoding");
  auto connection = HVDownloadConnection::connectionWithURLRequestDelegateUserDataRetries(request, outcomes, Value(), 3);
  // Each retry starts at once: no time passes.
  ASSERT_TRUE(settleTraffic());
  EXPECT_EQ(outcomes->log, "ok;");
  EXPECT_EQ(std::string(connection->receivedData().begin(), connection->receivedData().end()), "last attempt");
  EXPECT_EQ(server.requestsTo("/flaky").size(), 3u);

  // Each attempt of a stalled server runs into its own time limit; the last one is told.
  testkit::ScriptedAnswer stall;
  stall.stall = true;
  server.setAnswer("/stall", stall);
  auto timed = HVDownloadConnection::timedConnectionWithURLRequestDelegateUserDataTimeoutRetries(
      platform::URLRequest(server.url("/stall")), outcomes, Value(), 40.0, 2);
  outcomes->log.clear();
  ASSERT_TRUE(settleTraffic());
  EXPECT_EQ(server.requestsTo("/stall").size(), 1u);
  advance(39.0);
  EXPECT_EQ(outcomes->log, "");
  EXPECT_EQ(server.requestsTo("/stall").size(), 1u);
  advance(1.0);
  EXPECT_EQ(server.requestsTo("/stall").size(), 2u);
  advance(40.0);
  EXPECT_EQ(outcomes->log, "timeout;");
  server.stop();
}

// A page's download still on its way when the host shuts the client down must not bring
// the client back: that would start worker threads no one stops before the process exits.
TEST_F(HVStandardCommandHandlerTest, ADownloadEndingAfterShutdownWritesNothingAndMakesNoController) {
  // The answer is held until the client is down, so the download cannot end before it.
  testkit::LoopbackServer server;
  auto late = testkit::ScriptedAnswer::text("<p>late</p>");
  late.hold = std::make_shared<testkit::AnswerHold>();
  server.setAnswer("/late.html", late);
  const size_t idle = platform::URLConnection::liveCount();
  page("BridgeLib.writeFileWithContentsOfURLWithCallback('HV/late.html', '" + server.url("/late.html") +
       "', 'got.push([\"late\", %d])')");
  ASSERT_EQ(late.hold->waiting(), 1u);
  controller->shutdown();
  late.hold->release();
  ASSERT_TRUE(settleTraffic());
  EXPECT_LE(platform::URLConnection::liveCount(), idle);
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(HVController::existingSharedController(), nullptr);
  EXPECT_FALSE(FileManager::fileExistsAtPath(documents + "/HV/late.html"));
  EXPECT_EQ(got(), "[[\"late\",0]]");
}

}  // namespace
}  // namespace halvern
