#include "halvern/HVAdEngine.h"

#include <functional>

#include "HVAdManager.h"
#include "HVController.h"
#include "platform/device.h"
#include "platform/error.h"
#include "testing/halvern_server.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::UserInterfaceIdiom;

// The exception a call raises, or a name of "none".
platform::Exception raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::Exception& e) {
    return e;
  }
  return platform::Exception("none", "");
}

class HVAdEngineTest : public testkit::SandboxTest {
 protected:
  void TearDown() override {
    HVController::sharedController()->shutdown();
    SandboxTest::TearDown();
  }
  std::vector<HVAdSlotDescription> phoneSlots() {
    return {HVAdSlotDescription(HVAdSizeBanner, "hvBanner"), HVAdSlotDescription(HVAdSizeFullScreen, "hvFullScreen")};
  }
  testkit::HalvernServer server;
};

TEST_F(HVAdEngineTest, SlotNamesHoldOnlyLettersMarksAndDigitsOfAnyScript) {
  const char* kNonAlphanumeric = "Unable to create HVAdSlotDescription because name contains at least one non-alphanumeric character";
  struct Case {
    std::string name;
    bool accepted;
  };
  const Case cases[] = {
      {"hvBanner", true},
      {"", true},
      {"slot42", true},
      {"\xC3\xA9t\xC3\xA9", true},             // precomposed letters
      {"e\xCC\x81", true},                     // a letter and a combining mark
      {"\xE6\x97\xA5\xE6\x9C\xAC", true},      // CJK ideographs
      {"\xD9\xA3\xD9\xA4", true},              // Arabic-Indic digits
      {"hv Banner", false},
      {"..", false},
      {".", false},
      {"a/b", false},
      {"a'b", false},
      {"a\"b", false},
      {"a\\b", false},
      {"tab\t", false},
      {"a-b", false},
      {"a_b", false},
      {"\xE2\x80\xA8", false},                 // line separator
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isValidSlotName(c.name), c.accepted);
    auto e = raised([&] { HVAdSlotDescription(HVAdSizeBanner, c.name); });
    if (c.accepted) {
      EXPECT_EQ(e.name, "none");
    } else {
      EXPECT_EQ(e.name, "NSInvalidArgumentException");
      EXPECT_EQ(e.reason, kNonAlphanumeric);
    }
  }
}

TEST_F(HVAdEngineTest, FullScreenSizeIsRefusedOnlyOnAPad) {
  struct Case {
    std::optional<UserInterfaceIdiom> idiom;
    HVAdSize size;
    bool accepted;
  };
  const Case cases[] = {
      {UserInterfaceIdiom::Pad, HVAdSizeFullScreen, false}, {UserInterfaceIdiom::Phone, HVAdSizeFullScreen, true},
      {std::nullopt, HVAdSizeFullScreen, true},             {UserInterfaceIdiom::Pad, HVAdSizeBanner, true},
      {UserInterfaceIdiom::Pad, HVAdSizeMediumRectangle, true}, {UserInterfaceIdiom::Pad, HVAdSizeLeaderboard, true},
      {UserInterfaceIdiom::Pad, HVAdSizeWideSkyscraper, true},  {UserInterfaceIdiom::Pad, 7, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    platform::Device::currentDevice().setUserInterfaceIdiom(c.idiom);
    auto e = raised([&] { HVAdSlotDescription(c.size, "s"); });
    EXPECT_EQ(e.name, c.accepted ? "none" : "NSInvalidArgumentException");
    if (!c.accepted) {
      EXPECT_EQ(e.reason, "Unable to create iPhone Full Screen HVAdSlotDescription on an iPad");
    }
  }
}

TEST_F(HVAdEngineTest, DescriptionsCompareByNameAndSize) {
  HVAdSlotDescription a(1, "hvBanner"), same(1, "hvBanner"), bigger(4, "hvBanner"), other(1, "hvBanner2");
  EXPECT_TRUE(a.isEqual(same));
  EXPECT_EQ(a.hash(), same.hash());
  EXPECT_FALSE(a.isEqual(bigger));
  EXPECT_FALSE(a.isEqual(other));
  // Only the size differs, so the hashes differ by the size difference alone.
  EXPECT_EQ(bigger.hash() - a.hash(), 3u);
  // The arithmetic wraps around instead of overflowing.
  EXPECT_EQ(HVAdSlotDescription(-1, "x").hash() + 1u, HVAdSlotDescription(0, "x").hash());
}

TEST_F(HVAdEngineTest, SlotDownloadTimesDecideWhetherAnAdWaits) {
  auto slot = HVAdSlot::slotWithDescription(HVAdSlotDescription(1, "hvBanner"));
  EXPECT_FALSE(slot->isFetched());
  EXPECT_FALSE(slot->isDisplayed());
  EXPECT_EQ(slot->dlTime(), 0);
  slot->setDlTime(1'700'000'000'000);
  EXPECT_FALSE(slot->hasNextAdDownloaded());
  slot->setNextAdDlTime(1'700'000'000'001);
  EXPECT_TRUE(slot->isFetched());
  EXPECT_TRUE(slot->hasNextAdDownloaded());
}

TEST_F(HVAdEngineTest, StartChecksItsArgumentsAndHappensOnce) {
  const char* kNotStarted = "HVAdEngine must be started up before invoking any nontrivial methods.";
  auto before = raised([] { HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"); });
  EXPECT_EQ(before.name, "NSInternalInconsistencyException");
  EXPECT_EQ(before.reason, kNotStarted);

  auto empty = raised([] { HVAdEngine::startupWithAppIDAdSlotDescriptions("app1", {}); });
  EXPECT_EQ(empty.name, "NSInvalidArgumentException");
  EXPECT_EQ(empty.reason, "HVAdEngine must be started with a positive number of slots.");

  for (const char* badID : {"app 1", "app<1>", "app\n1", "app\"1"}) {
    SCOPED_TRACE(badID);
    auto e = raised([&] { HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions(badID, server.serverURL(), phoneSlots()); });
    EXPECT_EQ(e.name, "NSInvalidArgumentException");
    EXPECT_EQ(e.reason, "Invalid appID provided to [HVAdEngine startupWithAppID:]");
    EXPECT_FALSE(HVController::sharedController()->hasStartedUp());
  }

  HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions("app1", server.serverURL(), phoneSlots());
  auto controller = HVController::sharedController();
  EXPECT_TRUE(controller->hasStartedUp());
  EXPECT_EQ(controller->applicationID(), "app1");
  ASSERT_NE(controller->adManager(), nullptr);
  EXPECT_EQ(controller->adManager()->slotDict().size(), 2u);

  auto again = raised([&] { HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions("app1", server.serverURL(), phoneSlots()); });
  EXPECT_EQ(again.name, "NSInternalInconsistencyException");
  EXPECT_EQ(again.reason, "Attempt to start up HVAdEngine after it has already been started.");
  // The empty array is refused before the started test.
  EXPECT_EQ(raised([] { HVAdEngine::startupWithAppIDAdSlotDescriptions("app1", {}); }).reason,
            "HVAdEngine must be started with a positive number of slots.");
  EXPECT_EQ(controller->adManager()->slotDict().size(), 2u);
}

TEST_F(HVAdEngineTest, NextAdDownloadedFollowsTheSlotsWaitingAd) {
  HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions("app1", server.serverURL(), phoneSlots());
  auto manager = HVController::sharedController()->adManager();
  EXPECT_FALSE(HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"));
  EXPECT_FALSE(HVAdEngine::isNextAdDownloadedForSlotNamed("nosuchslot"));
  manager->slotForName("hvBanner")->setNextAdDlTime(1'700'000'000'000);
  EXPECT_TRUE(HVAdEngine::isNextAdDownloadedForSlotNamed("hvBanner"));
  EXPECT_FALSE(HVAdEngine::isNextAdDownloadedForSlotNamed("hvFullScreen"));
  EXPECT_EQ(manager->slotForName("hvFullScreen")->slotDescription().size(), HVAdSizeFullScreen);
}

TEST_F(HVAdEngineTest, TwoSlotsOfOneNameStopTheStart) {
  auto e = raised([&] {
    HVAdEngine::startupWithAppIDServerURLAdSlotDescriptions(
        "app1", server.serverURL(), {HVAdSlotDescription(1, "hvBanner"), HVAdSlotDescription(4, "hvBanner")});
  });
  EXPECT_EQ(e.name, "Halvern Initialization Failure");
  EXPECT_EQ(e.reason, "All given slot names must be unique.");
  EXPECT_FALSE(HVController::sharedController()->hasStartedUp());
}

TEST_F(HVAdEngineTest, VersionNamesTheBuild) { EXPECT_EQ(HVAdEngine::version(), "HVSDK 3.1.2 universal build"); }

}  // namespace
}  // namespace halvern
