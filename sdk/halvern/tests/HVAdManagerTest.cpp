#include "HVAdManager.h"

#include <algorithm>
#include <cmath>

#include "HVController.h"
#include "HVDatabase.h"
#include "HVTestSupport.h"
#include "platform/error.h"
#include "platform/file_manager.h"
#include "platform/format.h"

namespace halvern {
namespace {

using platform::FileManager;
using platform::Value;

class Listener final : public HVAdManagerListener {
 public:
  void adDownloadedForSlotNamed(const std::string& name) override { heard.push_back(name); }
  std::vector<std::string> heard;
};

class HVAdManagerTest : public testsupport::HalvernSandboxTest {
 protected:
  void SetUp() override {
    HalvernSandboxTest::SetUp();
    controller = HVController::sharedController();
    // The table as a driver script makes it; only four of its columns matter here.
    controller->database()->sqlExecute(
        "CREATE TABLE ads (slotName TEXT, dlTime INTEGER, expiration INTEGER, trackers TEXT, extra TEXT)");
  }
  void TearDown() override {
    manager.reset();
    controller->shutdown();
    HalvernSandboxTest::TearDown();
  }
  int64_t nowMs() { return static_cast<int64_t>(clock().now() * 1000.0); }
  // A stored ad: its row and its folder with one file.
  void storeAd(const Value& name, int64_t dlTime, int64_t expiration) {
    auto outcome = controller->database()->sqlExecuteWithParameters(
        "INSERT INTO ads (slotName, dlTime, expiration, trackers) VALUES (?, ?, ?, '')", {name, Value(dlTime), Value(expiration)});
    ASSERT_TRUE(outcome.succeeded) << outcome.errorMessage;
    if (name.isString()) makeFolder(name.stringValue() + "/" + std::to_string(dlTime));
  }
  void makeFolder(const std::string& relative) {
    const std::string folder = HVAdManager::adRootDir() + "/" + relative;
    ASSERT_TRUE(FileManager::createDirectoryAtPath(folder, true));
    ASSERT_TRUE(FileManager::writeAtomically(folder + "/ad.html", std::string_view("<html></html>")));
  }
  bool exists(const std::string& relative) { return FileManager::fileExistsAtPath(HVAdManager::adRootDir() + "/" + relative); }
  std::vector<std::string> storedRows() {
    std::vector<std::string> out;
    for (const auto& row : controller->database()->sqlExecute("SELECT slotName, dlTime FROM ads ORDER BY dlTime")) {
      out.push_back(row.array()[0].stringValue() + ":" + row.array()[1].stringValue());
    }
    return out;
  }
  void make() {
    manager = HVAdManager::create({HVAdSlotDescription(1, "hvBanner"), HVAdSlotDescription(2, "hvFullScreen")},
                                  controller->database(), controller->dbQueryManager());
    manager->setFetchRequest([this](const std::string& name) {
      asked.push_back(name);
      return driverAccepts;
    });
  }

  std::shared_ptr<HVController> controller;
  std::shared_ptr<HVAdManager> manager;
  std::vector<std::string> asked;
  bool driverAccepts = true;
};

TEST_F(HVAdManagerTest, StartKeepsTheNewestLiveAdPerSlotAndRemovesTheRest) {
  const int64_t now = nowMs();
  storeAd(Value("hvBanner"), 1000, now + 60'000);
  storeAd(Value("hvBanner"), 2000, now + 60'000);
  storeAd(Value("hvFullScreen"), 1500, now - 1);
  storeAd(Value("oldSlot"), 1200, now + 60'000);
  storeAd(Value("oldSlot"), 1300, now + 60'000);
  make();

  EXPECT_EQ(manager->slotForName("hvBanner")->nextAdDlTime(), 2000);
  EXPECT_EQ(manager->slotForName("hvFullScreen")->nextAdDlTime(), 0);
  EXPECT_EQ(storedRows(), (std::vector<std::string>{"hvBanner:2000"}));
  EXPECT_FALSE(exists("hvBanner/1000"));
  EXPECT_TRUE(exists("hvBanner/2000/ad.html"));
  EXPECT_FALSE(exists("hvFullScreen/1500"));
  EXPECT_FALSE(exists("oldSlot"));
  // Only the slot without an ad waits for a fetch, and nothing is fetched before the
  // driver says it is ready.
  EXPECT_EQ(manager->fetchQueueForTesting(), (std::vector<std::string>{"hvFullScreen"}));
  EXPECT_TRUE(asked.empty());
  manager->clientDriverDidInitialize();
  EXPECT_EQ(asked, (std::vector<std::string>{"hvFullScreen"}));
  EXPECT_TRUE(manager->fetchQueueForTesting().empty());
}

TEST_F(HVAdManagerTest, RowsNamingNoPossibleSlotRemoveNothingOutsideTheirOwnFolder) {
  const int64_t later = nowMs() + 60'000;
  // Folders and files that a careless purge would reach.
  ASSERT_TRUE(FileManager::writeAtomically(HVController::hvBaseDir() + "/keep.txt", std::string_view("x")));
  makeFolder("hvBanner/500");
  makeFolder("other");
  const Value names[] = {Value(".."), Value(""), Value("."), Value("x' OR '1'='1"), Value("a/../.."),
                         Value("hvBanner/500"), Value("../Content"), Value(), Value(int64_t(7))};
  int64_t t = 10;
  for (const auto& name : names) storeAd(name, t++, later);
  storeAd(Value("hvBanner"), 500, later);
  make();

  EXPECT_TRUE(FileManager::fileExistsAtPath(HVController::hvBaseDir() + "/keep.txt"));
  EXPECT_TRUE(exists("other/ad.html"));
  EXPECT_TRUE(exists("hvBanner/500/ad.html"));
  EXPECT_EQ(manager->slotForName("hvBanner")->nextAdDlTime(), 500);
  // The quote in a name is data: no other slot's rows went with it. The number 7 names a
  // slot that could exist ("7"), so its rows go.
  auto rows = storedRows();
  EXPECT_EQ(std::count(rows.begin(), rows.end(), "hvBanner:500"), 1);
  EXPECT_EQ(rows.size(), 9u);

  struct Case {
    std::string name;
    bool acted;
  };
  for (const Case& c : {Case{"..", false}, Case{"", false}, Case{"a b", false}, Case{"x'y", false},
                        Case{"other", true}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(manager->nukeSlotNamed(c.name), c.acted);
  }
  EXPECT_FALSE(exists("other"));
  EXPECT_TRUE(FileManager::fileExistsAtPath(HVAdManager::adRootDir()));
}

TEST_F(HVAdManagerTest, DuplicateSlotNamesAreRefused) {
  try {
    HVAdManager::create({HVAdSlotDescription(1, "s"), HVAdSlotDescription(3, "s")}, controller->database(), {});
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.name, "Halvern Initialization Failure");
    EXPECT_EQ(e.reason, "All given slot names must be unique.");
  }
}

TEST_F(HVAdManagerTest, RefusedFetchesWaitAndFailedOnesComeBackAfterTheDelay) {
  make();
  driverAccepts = false;
  manager->clientDriverDidInitialize();
  EXPECT_EQ(asked, (std::vector<std::string>{"hvBanner"}));
  EXPECT_EQ(manager->fetchQueueForTesting(), (std::vector<std::string>{"hvBanner", "hvFullScreen"}));

  driverAccepts = true;
  manager->adDownloadFailedForSlotNamed("hvBanner");  // as if a fetch had been in flight
  EXPECT_EQ(manager->fetchQueueForTesting(), (std::vector<std::string>{"hvFullScreen"}));
  manager->adDownloadFailedForSlotNamed("hvFullScreen");
  EXPECT_TRUE(manager->fetchQueueForTesting().empty());
  asked.clear();
  advance(59.9);
  EXPECT_TRUE(asked.empty());
  advance(0.2);
  EXPECT_EQ(asked, (std::vector<std::string>{"hvBanner", "hvFullScreen"}));

  asked.clear();
  manager->setFetchReenqueueDelay(0);
  manager->adDownloadFailedForSlotNamed("hvBanner");
  advance(120);
  EXPECT_TRUE(asked.empty());

  // A tiny delay is raised to the floor, so a failing slot is retried seconds later, not at once.
  manager->setFetchReenqueueDelay(1e-6);
  manager->setFetchReenqueueDelay(std::nan(""));
  manager->adDownloadFailedForSlotNamed("hvBanner");
  advance(HVAdManager::kMinFetchReenqueueDelay - 0.1);
  EXPECT_TRUE(asked.empty());
  advance(0.2);
  EXPECT_EQ(asked, (std::vector<std::string>{"hvBanner"}));
}

TEST_F(HVAdManagerTest, DownloadedAdsAreAnnouncedAndExpireUnlessShown) {
  make();
  manager->clientDriverDidInitialize();
  manager->clientDriverDidInitialize();
  ASSERT_TRUE(manager->fetchQueueForTesting().empty());
  auto listener = std::make_shared<Listener>();
  EXPECT_FALSE(manager->registerListenerForSlotNamed(listener, "nosuchslot"));
  EXPECT_TRUE(manager->registerListenerForSlotNamed(listener, "hvBanner"));
  EXPECT_TRUE(listener->heard.empty());

  const int64_t now = nowMs();
  storeAd(Value("hvBanner"), now, now + 10'000);
  manager->adDownloadedForSlotNamedDlTimeExpiration("hvBanner", now, now + 10'000);
  manager->adDownloadedForSlotNamedDlTimeExpiration("nosuchslot", now, now + 10'000);
  EXPECT_EQ(listener->heard, (std::vector<std::string>{"hvBanner"}));
  EXPECT_TRUE(manager->isAdFetchedForSlotNamed("hvBanner"));
  // A listener joining while an ad waits hears of it at once.
  auto late = std::make_shared<Listener>();
  EXPECT_TRUE(manager->registerListenerForSlotNamed(late, "hvBanner"));
  EXPECT_EQ(late->heard, (std::vector<std::string>{"hvBanner"}));

  asked.clear();
  advance(10.5);
  EXPECT_FALSE(manager->isAdFetchedForSlotNamed("hvBanner"));
  EXPECT_FALSE(exists("hvBanner/" + std::to_string(now)));
  // The fetch follows the deletion the database worker runs.
  ASSERT_TRUE(advanceUntil([&] { return !asked.empty(); }, 1));
  EXPECT_EQ(asked, (std::vector<std::string>{"hvBanner"}));
  EXPECT_TRUE(storedRows().empty());

  // Shown before its time: the timer finds it moved and leaves it.
  const int64_t second = nowMs();
  storeAd(Value("hvBanner"), second, second + 5'000);
  manager->adDownloadedForSlotNamedDlTimeExpiration("hvBanner", second, second + 5'000);
  auto slot = manager->slotForName("hvBanner");
  slot->setDlTime(slot->nextAdDlTime());
  slot->setNextAdDlTime(0);
  // Past the timer, with time for whatever it would have sent the workers.
  advance(6);
  EXPECT_EQ(slot->dlTime(), second);
  EXPECT_TRUE(exists("hvBanner/" + std::to_string(second) + "/ad.html"));
  EXPECT_EQ(storedRows().size(), 1u);
}

TEST_F(HVAdManagerTest, DeletingClearsTheMatchingTimeOnly) {
  make();
  auto slot = manager->slotForName("hvBanner");
  slot->setDlTime(100);
  slot->setNextAdDlTime(200);
  EXPECT_FALSE(manager->deleteAdForSlotNamedFetchReplacementAsync(100, "nosuchslot", false, false));
  EXPECT_TRUE(manager->deleteAdForSlotNamedFetchReplacementAsync(300, "hvBanner", false, false));
  EXPECT_EQ(slot->dlTime(), 100);
  EXPECT_EQ(slot->nextAdDlTime(), 200);
  EXPECT_TRUE(manager->deleteAdForSlotNamedFetchReplacementAsync(100, "hvBanner", false, false));
  EXPECT_EQ(slot->dlTime(), 0);
  EXPECT_EQ(slot->nextAdDlTime(), 200);
  asked.clear();
  EXPECT_TRUE(manager->deleteAdForSlotNamedFetchReplacementAsync(200, "hvBanner", true, false));
  EXPECT_EQ(slot->nextAdDlTime(), 0);
  EXPECT_EQ(asked, (std::vector<std::string>{"hvBanner"}));
}

TEST_F(HVAdManagerTest, BaseURLDoublesSlashesAndEscapesBlanks) {
  struct Case {
    const char* root;
    const char* url;
  };
  for (const Case& c : {Case{"/a b/HV/Content", "file:///a%20b//HV//Content//"}, Case{"/x", "file:///x//"}}) {
    EXPECT_EQ(HVAdManager::adBaseURLForRootDir(c.root), c.url);
  }
  EXPECT_EQ(HVAdManager::adRootDir(), HVController::hvContentDir());
}

}  // namespace
}  // namespace halvern
