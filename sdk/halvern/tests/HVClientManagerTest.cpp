#include "HVClientManager.h"

#include "HVController.h"
#include "HVTestSupport.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "testing/halvern_server.h"

namespace halvern {
namespace {

using platform::FileManager;
using Fault = testkit::HalvernServer::Fault;

class HVClientManagerTest : public testsupport::HalvernSandboxTest {
 protected:
  void SetUp() override {
    HalvernSandboxTest::SetUp();
    // The controller's first use makes the database, and with it a fresh client folder.
    HVController::sharedController();
    root = HVClientManager::clientRootDir();
  }
  void TearDown() override {
    HVController::sharedController()->shutdown();
    HalvernSandboxTest::TearDown();
  }
  // Starts the controller against the sandbox server, counting driver starts.
  std::shared_ptr<HVClientManager> start() {
    auto controller = HVController::sharedController();
    auto manager = controller->clientManager();
    manager->setClientDriverHooks([this] { ++driverStarts; }, {});
    // What the files installed since the controller was made say: a launch over them.
    manager->synchronizeWithFileSystem();
    controller->startupWithAppIDServerURL("app 1", server.serverURL());
    return manager;
  }
  // Worker commands sent from other commands' answers wait out the queue's throttle on the
  // manual clock: every command sent so far has run and called back, the chain has ended.
  void drainChain() {
    auto sequencer = HVController::sharedController()->ioRequestManager()->sequencer();
    ASSERT_TRUE(advanceUntil([&] { return sequencer->isIdle(); }, 10));
  }
  // A client folder written in an earlier launch, optionally linked.
  void installFolder(const std::string& name, bool link) {
    ASSERT_TRUE(FileManager::createDirectoryAtPath(root + "/" + name, true));
    for (const char* component : {"display", "driver"}) {
      ASSERT_TRUE(FileManager::writeAtomically(root + "/" + name + "/" + component + ".js", std::string_view("old")));
      if (link) {
        FileManager::removeItemAtPath(root + "/" + component + ".js");
        ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/" + component + ".js", name + "/" + component + ".js"));
      }
    }
  }
  std::string read(const std::string& path) {
    auto bytes = FileManager::contentsAtPath(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
  }
  std::string linkOf(const std::string& component) {
    return FileManager::destinationOfSymbolicLinkAtPath(root + "/" + component + ".js").value_or("<none>");
  }

  testkit::HalvernServer server;
  std::string root;
  int driverStarts = 0;
};

TEST_F(HVClientManagerTest, FirstClientIsWrittenLinkedAndStartedInTheSameLaunch) {
  server.setClientResponse("2.1", {{"display", "var d = \"display\";"}, {"driver", "var v = 'driver';"}});
  auto manager = start();
  EXPECT_EQ(driverStarts, 0);
  ASSERT_TRUE(advanceUntil([&] { return manager->hasClient(); }, 10));
  const auto requests = server.updateRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].queryItem("clientversion"), "0.0");
  EXPECT_EQ(requests[0].queryItem("appguid"), "app 1");
  EXPECT_EQ(requests[0].queryItem("hostversion"), "3.1.2");
  EXPECT_EQ(requests[0].queryItem("userid"), HVController::deviceUID());
  EXPECT_EQ(requests[0].header("Accept-Encoding").value_or("").find("gzip"), 0u);

  const std::string folder = std::to_string(HVController::sessionStart()) + "_2.1";
  EXPECT_EQ(manager->clientVersion(), "2.1");
  EXPECT_EQ(driverStarts, 1);
  EXPECT_EQ(linkOf("display"), folder + "/display.js");
  EXPECT_EQ(linkOf("driver"), folder + "/driver.js");
  EXPECT_EQ(read(*manager->pathForComponent("display")), "var d = \"display\";");
  EXPECT_EQ(read(*manager->pathForComponent("driver")), "var v = 'driver';");
  EXPECT_FALSE(manager->pathForComponent("other"));
  EXPECT_FALSE(HVController::sharedController()->database()->sqlExecute("SELECT data FROM settings WHERE id='disabled'").size());
}

TEST_F(HVClientManagerTest, ALaterVersionWaitsForTheNextLaunchAndOldFoldersGo) {
  installFolder("1000_2.1", true);
  installFolder("500_1.9", false);  // older: never adopted, removed with the next adoption
  auto manager = start();
  EXPECT_EQ(manager->clientVersion(), "2.1");
  EXPECT_EQ(driverStarts, 1);
  server.setClientResponse("2.2", {{"display", "new display"}, {"driver", "new driver"}});
  manager->synchronizeWithServer();
  const std::string written = root + "/" + std::to_string(HVController::sessionStart()) + "_2.2";
  ASSERT_TRUE(advanceUntil([&] { return read(written + "/driver.js") == "new driver"; }, 10));
  EXPECT_EQ(server.updateRequests().back().queryItem("clientversion"), "2.1");
  EXPECT_EQ(linkOf("display"), "1000_2.1/display.js");
  EXPECT_EQ(manager->clientVersion(), "2.1");
  EXPECT_EQ(driverStarts, 1);

  // The same launch never adopts its own folder; an earlier launch's newer folder is
  // adopted and every other folder removed.
  EXPECT_EQ(HVClientManager::create()->clientVersion(), "2.1");
  installFolder("2000_2.2", false);
  auto relaunched = HVClientManager::create();
  EXPECT_EQ(relaunched->clientVersion(), "2.2");
  EXPECT_EQ(linkOf("driver"), "2000_2.2/driver.js");
  auto entries = FileManager::contentsOfDirectoryAtPath(root).value_or(std::vector<std::string>{});
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"2000_2.2", "display.js", "driver.js"}));
}

TEST_F(HVClientManagerTest, RepliesThatChangeNothingOrOnlyTheSwitch) {
  installFolder("1000_2.1", true);
  struct Case {
    const char* name;
    std::function<void()> script;
  };
  const std::vector<Case> cases = {
      {"same version, disabled", [&] { server.setClientResponse("2.1", {{"display", "x"}, {"driver", "y"}}, true); }},
      {"not okay", [&] { server.setClientResponse("3.0", {{"display", "x"}, {"driver", "y"}}, false, "Busy"); }},
      {"missing component", [&] { server.setClientResponse("3.0", {{"display", "x"}}); }},
      {"version climbing out", [&] { server.setClientResponse("../../x", {{"display", "x"}, {"driver", "y"}}); }},
      {"version with separator", [&] { server.setClientResponse("3_0", {{"display", "x"}, {"driver", "y"}}); }},
      {"no JSON", [&] { server.setRawUpdateBody("<html>"); }},
      {"status nested deep", [&] {
         std::string items;
         for (int i = 0; i < 2000; ++i) items += "1,";
         server.setRawUpdateBody("{\"status\": " + std::string(127, '[') + items + "1" + std::string(127, ']') + "}");
       }},
  };
  // What a log line takes from an answer (each under 5 KB here) stays within a small
  // multiple of the answer.
  platform::LogCapture log;
  auto manager = start();
  ASSERT_TRUE(advanceUntil([&] { return !manager->isSynchronizingForTesting(); }, 10));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.script();
    const size_t before = server.updateRequests().size();
    manager->synchronizeWithServer();
    ASSERT_TRUE(advanceUntil([&] { return !manager->isSynchronizingForTesting(); }, 10));
    EXPECT_EQ(server.updateRequests().size(), before + 1);
    drainChain();
    auto entries = FileManager::contentsOfDirectoryAtPath(root).value_or(std::vector<std::string>{});
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(manager->clientVersion(), "2.1");
    for (const auto& line : log.lines()) EXPECT_LT(line.size(), 10'000u);
    log.clear();
  }
  // The switch is stored for the next launch, not applied now.
  auto rows = HVController::sharedController()->database()->sqlExecute("SELECT data FROM settings WHERE id='disabled'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[size_t(0)][size_t(0)].integerValue(), 1);
  EXPECT_FALSE(HVController::sharedController()->disabled());
}

TEST_F(HVClientManagerTest, FailuresRetryThenLeaveEverythingAsItWas) {
  for (Fault fault : {Fault::kFail, Fault::kCut}) {
    server.setFault("", fault);
    server.setClientResponse("2.1", {{"display", "x"}, {"driver", "y"}});
    auto manager = HVController::sharedController()->clientManager();
    if (!HVController::sharedController()->hasStartedUp()) start();
    else manager->synchronizeWithServer();
    ASSERT_TRUE(advanceUntil([&] { return !manager->isSynchronizingForTesting(); }, 10));
    EXPECT_EQ(server.updateRequests().size() % 3, 0u);
    drainChain();
    EXPECT_FALSE(manager->hasClient());
    EXPECT_FALSE(FileManager::fileExistsAtPath(root));
  }
  // A stalled first request is given 80 seconds an attempt.
  server.setFault("", Fault::kStall);
  const size_t before = server.updateRequests().size();
  HVController::sharedController()->clientManager()->synchronizeWithServer();
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(server.updateRequests().size(), before + 1);
  advance(79.0);
  EXPECT_EQ(server.updateRequests().size(), before + 1);
  advance(1.0);
  EXPECT_EQ(server.updateRequests().size(), before + 2);
  server.loopback().stop();
}

TEST_F(HVClientManagerTest, AHalfLinkedClientIsNoClientAndAnUpdateRelinksIt) {
  installFolder("1000_2.1", true);
  FileManager::removeItemAtPath(root + "/driver.js");
  server.setClientResponse("3.0", {{"display", "d3"}, {"driver", "v3"}});
  auto manager = start();
  EXPECT_EQ(driverStarts, 0);
  ASSERT_TRUE(advanceUntil([&] { return manager->hasClient(); }, 10));
  const std::string folder = std::to_string(HVController::sessionStart()) + "_3.0";
  EXPECT_EQ(manager->clientVersion(), "3.0");
  EXPECT_EQ(linkOf("display"), folder + "/display.js");
  EXPECT_EQ(read(root + "/driver.js"), "v3");
}

TEST_F(HVClientManagerTest, AnInstallCutShortLinksNothing) {
  // The driver's file cannot be written: a folder stands in its place.
  const std::string folder = root + "/" + std::to_string(HVController::sessionStart()) + "_4.0";
  ASSERT_TRUE(FileManager::createDirectoryAtPath(folder + "/driver.js", true));
  server.setClientResponse("4.0", {{"display", "d4"}, {"driver", "v4"}});
  auto manager = start();
  ASSERT_TRUE(advanceUntil([&] { return !manager->isSynchronizingForTesting(); }, 10));
  drainChain();
  EXPECT_EQ(read(folder + "/display.js"), "d4");
  EXPECT_FALSE(manager->hasClient());
  EXPECT_EQ(driverStarts, 0);
  EXPECT_FALSE(FileManager::itemExistsAtPath(root + "/display.js"));
  EXPECT_FALSE(FileManager::itemExistsAtPath(root + "/driver.js"));
}

TEST_F(HVClientManagerTest, FolderNamesGiveTimestampsAndVersions) {
  struct Case {
    std::string name;
    int64_t timestamp;
    std::optional<std::string> version;
  };
  const std::vector<Case> cases = {
      {"1700000000000_2.1", 1700000000000, "2.1"}, {"0_2.1", -1, "2.1"},   {"-5_2.1", -1, "2.1"},
      {"abc_2.1", -1, "2.1"},                      {"12_a_b", -1, "a_b"},   {"12", -1, std::nullopt},
      {"99999999999999999999_1", -1, "1"},         {"_1", -1, "1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HVClientManager::timestampFromClientDirName(c.name), c.timestamp) << c.name;
    EXPECT_EQ(HVClientManager::clientVersionFromClientDirName(c.name), c.version) << c.name;
  }
  // Folders whose names give no timestamp are never adopted.
  installFolder("1000_2.1", true);
  installFolder("x_9.9", false);
  installFolder("0_9.9", false);
  EXPECT_EQ(HVClientManager::create()->clientVersion(), "2.1");
}

}  // namespace
}  // namespace halvern
