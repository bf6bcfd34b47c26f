// The host's way to stop the client: the worker threads end, a second stop makes nothing, and
// the engine can be started again afterwards, with threads of its own.
#include "HVClientTestSupport.h"
#include "platform/file_manager.h"

namespace halvern {
namespace {

class HVEngineShutdownTest : public testsupport::HalvernClientTest {
 protected:
  bool adDownloaded() {
    return advanceUntil([] { return HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); }, 120);
  }
};

TEST_F(HVEngineShutdownTest, StopsTheWorkersOnceAndALaterStartBeginsAfresh) {
  // Before any use there is nothing to stop, and stopping makes nothing either: a controller
  // made only to be stopped would leave the client's folder and database behind.
  HVAdEngine::shutdown();
  EXPECT_FALSE(HVController::existingSharedController());
  EXPECT_FALSE(platform::FileManager::itemExistsAtPath(HVController::hvBaseDir()));

  server.setAd("hvBanner", "<b>first</b>", 3600, {});
  start();
  ASSERT_TRUE(adDownloaded());
  auto first = HVController::sharedController();
  auto io = first->ioRequestManager();
  auto db = first->dbQueryManager();
  ASSERT_TRUE(io->isRunning());
  ASSERT_TRUE(db->isRunning());

  HVAdEngine::shutdown();
  EXPECT_FALSE(io->isRunning());
  EXPECT_FALSE(db->isRunning());
  EXPECT_EQ(first->execMode(), 1);
  EXPECT_FALSE(HVController::existingSharedController());

  // A second stop finds no client: it neither makes a controller (which would make the
  // folder again) nor starts threads.
  ASSERT_TRUE(platform::FileManager::removeItemAtPath(HVController::hvBaseDir()));
  HVAdEngine::shutdown();
  EXPECT_FALSE(HVController::existingSharedController());
  EXPECT_FALSE(platform::FileManager::itemExistsAtPath(HVController::hvBaseDir()));

  // The stopped controller no longer counts as started: a new start is accepted, and the new
  // controller's own database worker carries out a write.
  start();
  auto second = HVController::sharedController();
  EXPECT_NE(second, first);
  ASSERT_TRUE(second->dbQueryManager()->isRunning());
  second->database()->setRecordIDTableStringCallbackContext("probe", "settings", "written", nullptr);
  EXPECT_TRUE(advanceUntil([&] { return second->database()->sqlExecute("SELECT data FROM settings WHERE id='probe'").size() == 1; }, 120));
  EXPECT_TRUE(adDownloaded());
}

}  // namespace
}  // namespace halvern
