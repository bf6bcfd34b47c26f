// Hostile input for the real driver page and the sandbox server over loopback: page paths
// that climb out of the client's folder or name its store, commands the bridge does not
// offer, texts built to break out of SQL or script, packages that slip out of their folder
// or lie, answers without end. Each attempt fails, is logged once, and the settings, the
// earlier ads and their folders stay as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "HVAdSlot.h"
#include "HVClientDriver.h"
#include "HVClientManager.h"
#include "HVClientTestSupport.h"
#include "HVDownloadConnection.h"
#include "HVJavascriptBridge.h"
#include "platform/base64.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "testing/json_quote.h"
#include "testing/runaway_scripts.h"
#include "testing/zip_builder.h"

namespace halvern {
namespace {

using platform::FileManager;
using testkit::ZipBuilder;

size_t count(const std::vector<std::string>& lines, const std::string& fragment) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(fragment) != std::string::npos; }));
}

// Every item under `root`, relative to it, sorted; folders end in '/'.
void listTree(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  auto names = FileManager::contentsOfDirectoryAtPath(relative.empty() ? root : root + "/" + relative);
  if (!names) return;
  for (const auto& name : *names) {
    const std::string item = relative.empty() ? name : relative + "/" + name;
    if (FileManager::isDirectory(root + "/" + item)) {
      out.push_back(item + "/");
      listTree(root, item, out);
    } else {
      out.push_back(item);
    }
  }
}

class HVHostileInputTest : public testsupport::HalvernClientTest {
 protected:
  void SetUp() override {
    HalvernClientTest::SetUp();
    // Before the driver page exists: its script world takes the budget it is made with.
    guardWorks = testkit::shortenScriptTimeLimit(0.25);
    server.setAd("hvBanner", "<b>banner</b>", 600, {});
    server.setAd("hvFullScreen", "<b>full</b>", 600, {});
    start();
    ASSERT_TRUE(advanceUntil([] {
      return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner") &&
             HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen");
    }, 10));
    // A failed fetch is not tried again while a case runs.
    HVController::sharedController()->adManager()->setFetchReenqueueDelay(0);
    send("var got = []; BridgeLib.setSettingString('kept', 'value');");
  }
  std::shared_ptr<HVClientDriver> driver() { return HVController::sharedController()->clientManager()->clientDriver(); }
  std::string eval(const std::string& script) { return driver()->webView()->stringByEvaluatingJavaScriptFromString(script); }
  // Runs page script in the driver and the commands it queued, until `done` holds, then the
  // workers' throttle longer for whatever else the commands started.
  void send(const std::string& script, const std::function<bool()>& done = [] { return true; }) {
    eval(script);
    while (driver()->bridge()->poll() > 0) {
    }
    EXPECT_TRUE(advanceUntil(done, 10));
    advance(HVAsyncCommandQueue::kFireInterval);
  }
  // What must survive every attempt: the rows and the ads' folders, and the store itself.
  std::string stored() {
    auto db = HVController::sharedController()->database();
    std::string text;
    for (const char* query : {"SELECT id, data FROM settings ORDER BY id", "SELECT * FROM ads ORDER BY dlTime"})
      text += platform::Value(db->sqlExecute(query)).description() + "\n";
    std::vector<std::string> content;
    listTree(HVController::hvContentDir(), "", content);
    for (const auto& item : content) text += item + "\n";
    return text + (FileManager::fileExistsAtPath(db->path()) ? "store" : "no store");
  }
  // Everything in the sandbox but the client's own folder and the package in transit, which
  // waits in Documents for the next one.
  std::vector<std::string> outsideTheClient() {
    std::vector<std::string> all;
    listTree(home(), "", all);
    std::erase_if(all, [](const std::string& item) {
      return item.rfind("Documents/HV/", 0) == 0 || item == "Documents/temp.zip";
    });
    return all;
  }
  // Starts an attempt and waits until it is `over`: it must be logged once, and leave the
  // stored data and everything outside the client's folder as they were. Large answers take
  // real time to cross the loopback: virtual time moves on only once they have been taken in.
  void expectRefusedOnce(const std::function<void()>& attempt, const std::string& logged,
                         const std::function<bool()>& over) {
    const std::string before = stored();
    const auto outside = outsideTheClient();
    platform::LogCapture log;
    attempt();
    ASSERT_TRUE(advanceUntil([&] { return count(log.lines(), logged) > 0 && over(); }, 10))
        << "looked for: " << logged << "\nlogged:\n" << ::testing::PrintToString(log.lines());
    // Whatever else the attempt started, the workers' throttled wake-ups included.
    advance(HVAsyncCommandQueue::kFireInterval);
    EXPECT_EQ(count(log.lines(), logged), 1u);
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(outsideTheClient(), outside);
  }
  // After all that, a sound ad is still fetched and taken.
  void expectTheNextAdTaken() {
    const int64_t earlier = slot("hvBanner")->nextAdDlTime();
    server.setAd("hvBanner", "<b>next</b>", 600, {});
    HVController::sharedController()->adManager()->queueFetchForSlotNamed("hvBanner");
    EXPECT_TRUE(advanceUntil([&] { return slot("hvBanner")->nextAdDlTime() != earlier; }, 10));
  }

  bool guardWorks = false;
};

TEST_F(HVHostileInputTest, PageCommandsReachNothingBeyondTheClientsFolderAndCommands) {
  const std::string package = server.fileURL("hvBanner-1.zip");
  const std::string endless = server.loopback().url("/endless");
  server.loopback().setAnswer("/endless", testkit::ScriptedAnswer::redirect(endless));
  const std::string slip = platform::base64Encode(
      ZipBuilder().addFile("ok.html", "fine").addFile("../../../escape.html", "out").bytes());
  struct Case {
    const char* name;
    std::string script;
    std::string logged;
    std::string answered = "[]";  // what the page's callbacks pushed
  };
  const Case cases[] = {
      {"a file written above Documents", "BridgeLib.fileWriteString('../escape.txt', 'x')",
       "refusing the page's path \"../escape.txt\""},
      {"a file climbing out through the client's folder", "BridgeLib.fileWriteString('HV/../../escape.txt', 'x')",
       "\"HV/../../escape.txt\""},
      {"an absolute name", "BridgeLib.fileWriteBase64String('/tmp/escape.txt', 'eA==')", "\"/tmp/escape.txt\""},
      {"no name", "BridgeLib.fileWriteString('', 'x')", "refusing the page's path \"\""},
      {"the client's folder itself", "BridgeLib.fileWriteString('HV', 'x')", "\"HV\""},
      {"the store overwritten", "BridgeLib.fileWriteString('HV/halverndb.sql', 'junk')", "\"HV/halverndb.sql\""},
      {"the store deleted", "BridgeLib.deleteFile('HV/halverndb.sql')", "\"HV/halverndb.sql\""},
      {"the store's journal", "BridgeLib.fileWriteString('HV/halverndb.sql-journal', 'junk')", "-journal\""},
      {"Documents deleted", "BridgeLib.deleteFile('HV/Content/../..')", "\"HV/Content/../..\""},
      {"format directives in a path", "BridgeLib.fileWriteString('%n%s%@%x/../../../x', 'y')",
       "\"%n%s%@%x/../../../x\""},
      {"a download written outside",
       "BridgeLib.writeFileWithContentsOfURLWithCallback('HV/../../x', '" + package + "', 'got.push(%d)')",
       "\"HV/../../x\"", "[0]"},
      {"a package unpacked outside",
       "BridgeLib.unzipContentsOfURLToFolderWithCallback('" + package + "', '..', 'got.push(%d)')", "\"..\"", "[0]"},
      {"a file read from the preferences",
       "BridgeLib.loadStringFromFileWithCallback('../Library/Preferences/x.plist', 'got.push(%@)')",
       "\"../Library/Preferences/x.plist\"", "[\"(null)\"]"},
      {"a package the page wrote that slips out",
       "BridgeLib.fileWriteBase64String('HV/slip.zip', '" + slip +
           "'); BridgeLib.unzipFileToFolderWithCallback('HV/slip.zip', 'HV/Content/slip', 'got.push(1)')",
       "entry outside the folder: ../../../escape.html"},
      {"a tracker redirected for ever", "BridgeDriver.pingURL('" + endless + "')",
       "HVDownloadConnection: the download of " + endless + " failed."},
      {"a statement that breaks, with format directives", "BridgeLib.sqlExecute(\"SELECT '%n%s%@%x' FROM nowhere\")",
       "HVDatabase: the statement SELECT '%n%s%@%x' FROM nowhere failed: no such table: nowhere"},
      {"a command no handler offers", "sendCommand('deleteAllFiles:\"HV\";')",
       "ignoring the command deleteAllFiles:\"HV\""},
      {"a bridge method the page may not reach", "sendCommand('loadJavascriptString:\"x\" execute:\"y\";')",
       "ignoring the command loadJavascriptString:"},
      {"a quote that would add a value", "BridgeLib.setSettingString('kept\" string:\"lost', 'v')",
       "ignoring the command setSetting:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expectRefusedOnce([&] { send("got = []; " + c.script); }, c.logged, [] { return true; });
    EXPECT_EQ(eval("JSON.stringify(got)"), c.answered);
  }
  // The page still works: a setting it stores with every quoting character reads back whole.
  send("got = []; BridgeLib.setSettingString('k\\'); DROP TABLE settings;--', 'v\\' OR \\'1\\'=\\'1 </script>\\u2028\\\\');"
       "BridgeLib.getSettingWithCallback('k\\'); DROP TABLE settings;--', 'got.push(%@)')",
       [&] { return eval("got.length") == "1"; });
  EXPECT_EQ(eval("got[0] === 'v\\' OR \\'1\\'=\\'1 </script>\\u2028\\\\'"), "true") << eval("JSON.stringify(got)");
  EXPECT_EQ(HVController::sharedController()->database()->sqlExecute("SELECT data FROM settings WHERE id='kept'"),
            platform::Array{platform::Value(platform::Array{platform::Value("value")})});

  // A script that never ends: the web view stops it and, with it, the page for good; the next
  // fetch brings a fresh driver page, which takes it.
  if (!guardWorks) return;
  expectRefusedOnce([&] { send("BridgeLib.callback('for (;;) {}')"); },
                    "web view: a page script ran past its time limit", [] { return true; });
  platform::LogCapture log;
  expectTheNextAdTaken();
  EXPECT_EQ(count(log.lines(), "HVClientDriver: the driver page stopped answering"), 1u);
}

TEST_F(HVHostileInputTest, HostilePackagesAndAnswersFailOnceAndKeepTheEarlierAd) {
  const int64_t earlier = slot("hvBanner")->nextAdDlTime();
  const std::string endless = server.loopback().url("/endless");
  server.loopback().setAnswer("/endless", testkit::ScriptedAnswer::redirect(endless));
  const std::string oversized(HVDownloadConnection::kDownloadMaximumContentLength + 1, 'x');
  auto package = [&](const std::string& name, std::string bytes) {
    return [&, name, bytes] { server.setAdPackage("hvBanner", name, bytes, 600); };
  };
  auto description = [&](std::string text) { return [&, text] { server.setAdDescription("hvBanner", text); }; };
  struct Case {
    const char* name;
    std::function<void()> serve;
    std::string logged;
  };
  const Case cases[] = {
      {"an entry climbing out", package("a.zip", ZipBuilder().addFile("ad.html", "x").addFile("../../../x.html", "o").bytes()),
       "entry outside the folder: ../../../x.html"},
      {"an entry climbing out from a folder",
       package("b.zip", ZipBuilder().addFile("ad.html", "x").addFile("a/../../../../b.html", "o").bytes()),
       "entry outside the folder: a/../../../../b.html"},
      {"an absolute entry after a sound one",
       package("c.zip", ZipBuilder().addFile("ad.html", "x").addFile("/tmp/abs.html", "o").bytes()),
       "entry outside the folder: /tmp/abs.html"},
      {"an entry whose checksum lies", package("d.zip", ZipBuilder().addFile("ad.html", "x").corruptCrc("ad.html").bytes()),
       "ad.html: entry does not match its checksum or size"},
      {"an entry declaring a size it has not",
       package("e.zip", ZipBuilder().addFile("ad.html", "x").declareUncompressedSize("ad.html", 1u << 30).bytes()),
       "HVZip: cannot unpack"},
      {"no archive at all", package("f.zip", "PK\x03\x04 nothing follows"), "not a zip archive"},
      {"a package larger than the client takes", package("g.zip", oversized), "HVDownloadConnection: the answer from"},
      {"a package redirected for ever",
       description("{\"package\":" + testkit::jsonQuoted(endless) + ",\"ttl\":600,\"trackers\":[]}"),
       "HVDownloadConnection: the download of " + endless + " failed."},
      {"an ad description larger than the client takes", description(oversized),
       "HVDownloadConnection: the answer from"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.serve();
    expectRefusedOnce([&] { ASSERT_TRUE(driver()->fetchAdForSlotNamed("hvBanner")); }, c.logged,
                      [&] { return driver()->state() == HVClientDriver::kIdle; });
    EXPECT_EQ(slot("hvBanner")->nextAdDlTime(), earlier);
  }
  expectTheNextAdTaken();
}

TEST_F(HVHostileInputTest, HostileUpdateAnswersLeaveTheInstalledClient) {
  auto manager = HVController::sharedController()->clientManager();
  const std::string version = manager->clientVersion();
  const std::string self = server.serverURL() + "/v2/req_js.json";
  std::vector<std::string> installed;
  listTree(HVClientManager::clientRootDir(), "", installed);
  struct Case {
    const char* name;
    std::function<void()> serve;
    std::string logged;
  };
  const Case cases[] = {
      {"an answer that is no JSON", [&] { server.setRawUpdateBody("<html>%n%s%@%x</html>"); },
       "HVClientManager: ignoring the update answer: it is no JSON"},
      {"an answer nested past any depth", [&] { server.setRawUpdateBody(std::string(200000, '[') + std::string(200000, ']')); },
       "HVClientManager: ignoring the update answer: it is no JSON"},
      {"a status that is not all right", [&] { server.setClientResponse("2.0", {}, false, "Broken"); },
       "ignoring the update answer: its status is Broken."},
      {"a version naming a folder elsewhere",
       [&] { server.setClientResponse("../../../escape", {{"display", "x"}, {"driver", "y"}}); },
       "the version ../../../escape names no folder."},
      {"a version without its driver", [&] { server.setClientResponse("2.0", {{"display", "x"}}); },
       "the component driver is missing."},
      {"an answer unpacking past what the client takes",
       [&] { server.setRawUpdateBody(std::string(HVDownloadConnection::kDownloadMaximumContentLength + 1, ' ')); },
       "HVDownloadConnection: the answer from " + self + "?"},
      {"an answer redirected for ever",
       [&] {
         server.loopback().setHandler(testkit::HalvernServer::kUpdatePath,
                                      [&](const testkit::RecordedRequest&) { return testkit::ScriptedAnswer::redirect(self); });
       },
       "HVDownloadConnection: the download of " + self + "?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.serve();
    expectRefusedOnce([&] { manager->synchronizeWithServer(); }, c.logged,
                      [&] { return !manager->isSynchronizingForTesting(); });
    EXPECT_EQ(manager->clientVersion(), version);
    std::vector<std::string> now;
    listTree(HVClientManager::clientRootDir(), "", now);
    EXPECT_EQ(now, installed);
  }
  // The installed driver still fetches.
  expectTheNextAdTaken();
}

TEST_F(HVHostileInputTest, APageThatReplacedTheDriversIsNotObeyed) {
  // A page of the server's, which the driver lets in, queuing what a driver page would.
  const std::string landing = server.serverURL() + "/landing";
  auto page = testkit::ScriptedAnswer::text(
      "<html><head><script>var polls = 0;"
      "function commandList(mode) { polls++; return 'deleteFile:\"HV/Content/hvBanner\";'; }"
      "</script></head><body>elsewhere</body></html>");
  page.headers = {{"Content-Type", "text/html"}};
  server.loopback().setAnswer("/hvbridge/landing", page);
  expectRefusedOnce([&] { eval("window.location = '" + landing + "'"); },
                    "HVJavascriptBridge: the page " + landing + " is not the bridge's own", [] { return true; });
  EXPECT_EQ(eval("polls"), "0");
}

}  // namespace
}  // namespace halvern
