#include "HVController.h"

#include "HVTestSupport.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/reachability.h"
#include "platform/sandbox.h"
#include "testing/zip_builder.h"

namespace halvern {
namespace {

using platform::FileManager;
using platform::Value;
using testsupport::Recorder;

// Answers where it ran: the name of the worker's thread and whether that thread has a loop
// of its own.
class WhereCommand final : public HVAsyncCommand {
 public:
  explicit WhereCommand(std::shared_ptr<HVCallbackContext> context) : HVAsyncCommand(kCallback, std::move(context)) {}
  std::optional<HVCommandResult> execute() override {
    const bool ownLoop = &platform::RunLoop::current() != &platform::RunLoop::main();
    return HVCommandResult{true, Value(platform::Thread::currentName() + (ownLoop ? "" : " on main")), {}};
  }
};

class Listener final : public platform::AccelerometerDelegate {
 public:
  void accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration&) override {}
};

class HVControllerTest : public testsupport::HalvernSandboxTest {};

TEST_F(HVControllerTest, FirstControllerMakesTheStoreAndTwoNamedWorkers) {
  auto controller = HVController::sharedController();
  EXPECT_EQ(HVController::sharedController(), controller);
  const std::string file = platform::Sandbox::documents() + "/HV/halverndb.sql";
  auto header = FileManager::contentsAtPath(file);
  ASSERT_TRUE(header && header->size() > 16);
  EXPECT_EQ(std::string(header->begin(), header->begin() + 16), std::string("SQLite format 3\0", 16));
  EXPECT_EQ(controller->database()->sqlExecute("SELECT data FROM settings WHERE id='version'")[size_t(0)][size_t(0)],
            Value("3.1.2"));

  Recorder recorder;
  controller->ioRequestManager()->sendAsyncCommand(std::make_shared<WhereCommand>(recorder.context("io")));
  controller->dbQueryManager()->sendAsyncCommand(std::make_shared<WhereCommand>(recorder.context("db")));
  // Each worker's first wake-up comes at once.
  ASSERT_TRUE(settleTraffic());
  ASSERT_EQ(recorder.deliveries.size(), 2u);
  EXPECT_EQ(recorder.deliveries[0].result.value, Value("HVIORequestManager thread"));
  EXPECT_EQ(recorder.deliveries[1].result.value, Value("HVDBQueryManager thread"));
  EXPECT_FALSE(controller->disabled());
  EXPECT_FALSE(controller->sbwPropName());
}

TEST_F(HVControllerTest, ResultsComeBackInSendingOrderAcrossBothWorkers) {
  auto controller = HVController::sharedController();
  const std::string docs = platform::Sandbox::documents();
  testkit::ZipBuilder().addFile("ad/index.html", "<p>ad</p>").writeTo(docs + "/temp.zip");
  Recorder recorder;
  auto& io = *controller->ioRequestManager();
  const std::string text = "{\"slots\":[1,2]}";
  io.sendAsyncCommand(HVIOWriteRequest::requestWithPathDataAppendCallbackContext(
      docs + "/reply.json", platform::Bytes(text.begin(), text.end()), false, recorder.context("write")));
  io.sendAsyncCommand(HVIOReadRequest::requestWithPathToReadCallbackContext(docs + "/reply.json", recorder.context("read")));
  io.sendAsyncCommand(HVJSONCommand::jsonCommandWithTypeInputCallbackContext(0, Value(text), recorder.context("decode")));
  io.sendAsyncCommand(HVIOUnzipRequest::requestWithSourceZipFilePathDestinationFolderPathCallbackContext(
      docs + "/temp.zip", docs + "/HV/Content/slot", recorder.context("unzip")));
  // The database worker is idle and would answer first if nothing kept the order.
  controller->dbQueryManager()->sendAsyncCommand(HVDBQuery::queryWithQueryCallbackContext(
      controller->database(), "SELECT id FROM settings", {}, recorder.context("query")));
  // The first send wakes the file worker at once; the rest may wait out the throttle.
  advance(HVAsyncCommandQueue::kFireInterval);
  EXPECT_EQ(recorder.labels(), (std::vector<std::string>{"write", "read", "decode", "unzip", "query"}));
  for (const auto& d : recorder.deliveries) {
    EXPECT_TRUE(d.onMainThread) << d.label;
    EXPECT_TRUE(d.result.succeeded) << d.label;
  }
  EXPECT_EQ(recorder.deliveries[1].result.value, Value(platform::Bytes(text.begin(), text.end())));
  EXPECT_EQ(recorder.deliveries[2].result.value->operator[]("slots").size(), 2u);
  EXPECT_EQ(FileManager::stringContentsAtPath(docs + "/HV/Content/slot/ad/index.html"), "<p>ad</p>");
  EXPECT_FALSE(FileManager::itemExistsAtPath(docs + "/temp.zip"));
}

TEST_F(HVControllerTest, SettingsSurviveShutdownAndANewController) {
  auto first = HVController::sharedController();
  first->setSbwPropName("statusBarWindow");
  first->setSbwPropName("otherWindow");  // stored, while the first stays in memory
  EXPECT_EQ(first->sbwPropName(), "statusBarWindow");
  first->database()->setRecordIDTableNumberCallbackContext("disabled", "settings", 1, nullptr);
  auto io = first->ioRequestManager();
  first->shutdown();
  EXPECT_EQ(first->execMode(), 1);
  EXPECT_FALSE(io->isRunning());
  EXPECT_FALSE(first->dbQueryManager()->isRunning());

  auto second = HVController::sharedController();
  EXPECT_NE(second, first);
  EXPECT_NE(second->ioRequestManager(), io);
  EXPECT_TRUE(second->ioRequestManager()->isRunning());
  EXPECT_TRUE(second->disabled());
  EXPECT_EQ(second->sbwPropName(), "otherWindow");

  second->setSbwPropName("");
  second->shutdown();
  EXPECT_FALSE(HVController::sharedController()->sbwPropName());
}

TEST_F(HVControllerTest, AccelerometerIsGivenBackOnlyAfterACapture) {
  auto controller = HVController::sharedController();
  auto& accelerometer = platform::Accelerometer::sharedAccelerometer();
  auto game = std::make_shared<Listener>();
  auto ad = std::make_shared<Listener>();
  accelerometer.setDelegate(game);
  accelerometer.setUpdateInterval(0.05);

  controller->releaseAccelerometer();
  EXPECT_EQ(accelerometer.delegate(), game);

  controller->setSdkAccelerometerUpdateInterval(0.5);
  controller->captureAccelerometer(ad);
  controller->captureAccelerometer(ad);
  EXPECT_EQ(accelerometer.delegate(), ad);
  EXPECT_EQ(accelerometer.updateInterval(), 0.5);
  controller->releaseAccelerometer();
  EXPECT_EQ(accelerometer.delegate(), game);
  EXPECT_EQ(accelerometer.updateInterval(), 0.05);
  controller->releaseAccelerometer();
  EXPECT_EQ(accelerometer.delegate(), game);
}

TEST_F(HVControllerTest, StartupPathsAndFacts) {
  auto controller = HVController::sharedController();
  controller->startupWithAppIDServerURL("app-1", "");
  EXPECT_TRUE(controller->hasStartedUp());
  EXPECT_EQ(controller->applicationID(), "app-1");
  EXPECT_NE(controller->serverURL().find("/hvbridge"), std::string::npos);
  EXPECT_EQ(HVController::hvContentDir(), platform::Sandbox::documents() + "/HV/Content");
  EXPECT_EQ(HVController::sessionStart(), static_cast<int64_t>(clock().now()) * 1000);
  EXPECT_EQ(controller->menuDisplayTime(), 10.0);
  EXPECT_EQ(controller->exitItemDisplayTime(), 4.0);

  platform::Device::currentDevice().setModel("iPod touch");
  platform::Device::currentDevice().setSystemVersion("6.1 beta");
  EXPECT_EQ(HVController::deviceName(), "iPodtouch-6.1beta");

  EXPECT_EQ(controller->serverReachability(), 2);
  platform::Reachability::setNetwork(platform::Reachability::Network::None);
  EXPECT_EQ(controller->serverReachability(), 0);
}

}  // namespace
}  // namespace halvern
