// The install ping over the wire and the profile form's rules for what it stores.
#include <gtest/gtest.h>

#include "PELODownloadTrack.h"
#include "PELOSessionInfo.h"
#include "PeloraTestSupport.h"
#include "pelora/PELOSettingController.h"
#include "platform/bars.h"
#include "platform/bundle.h"
#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"

namespace {

using pelora::PELOSettingController;

class PELOProfileAndPingTest : public pelora_test::PeloraTest {
 protected:
  void SetUp() override {
    PeloraTest::SetUp();
    platform::Bundle::mainBundle().setInfoValue("CFBundleIdentifier", platform::Value("com.example.game"));
  }
  // Waits for the `n`th ping and for its answer to have been read.
  testkit::RecordedRequest ping(size_t n) {
    EXPECT_TRUE(runUntil([&] { return server->installPings().size() >= n; }));
    runUntilIdle();
    return server->installPings().at(n - 1);
  }
  static bool started() { return platform::UserDefaults::standardUserDefaults().boolForKey("PELOStartResult"); }
};

TEST_F(PELOProfileAndPingTest, FirstStartIsReportedUntilAPingIsAnsweredWith200) {
  struct Step {
    int status;
    const char* firststart;
    bool startedAfter;
  };
  const Step steps[] = {{500, "true", false}, {404, "true", false}, {200, "true", true}, {500, "false", true},
                        {200, "false", true}};
  auto session = pelora::PELOSessionInfo::sessionInfo();  // the run's first session start
  size_t n = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.status);
    server->setInstallStatus(step.status);
    if (n > 0) session->sessionStart();
    const auto request = ping(++n);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.queryItem("app"), "com.example.game");
    EXPECT_EQ(request.queryItem("ownid"), "udid-1");
    EXPECT_EQ(request.queryItem("firststart"), step.firststart);
    EXPECT_EQ(started(), step.startedAfter);
  }
  EXPECT_EQ(server->installPings().size(), n);  // one per session start
}

TEST_F(PELOProfileAndPingTest, APingEndsByItsDeadlineAndARunSendsABoundedNumber) {
  server->setInstallStatus(500);
  auto session = pelora::PELOSessionInfo::sessionInfo();
  ping(1);
  ASSERT_TRUE(runUntil([] { return platform::URLConnection::liveCount() == 0; }));

  // A host that takes the ping and never answers: the ping ends at its deadline and leaves
  // the first start unreported.
  auto stalled = testkit::ScriptedAnswer::text("ok");
  stalled.stall = true;
  server->http().setAnswer(testkit::PeloraServer::kInstallPath, stalled);
  session->sessionStart();
  ping(2);
  EXPECT_EQ(platform::URLConnection::liveCount(), 1u);
  advance(pelora::PELODownloadTrack::kDeadline - 1);
  runUntilIdle();
  EXPECT_EQ(platform::URLConnection::liveCount(), 1u);
  advance(1);
  EXPECT_EQ(platform::URLConnection::liveCount(), 0u);
  EXPECT_FALSE(started());

  // Session starts past the run's budget send nothing more and say so once.
  server->http().setAnswer(testkit::PeloraServer::kInstallPath, testkit::ScriptedAnswer::text("ok", 500));
  platform::LogCapture log;
  auto budget = pelora::PELODownloadTrack::pingBudget();
  const size_t left = budget->limit() - budget->used();
  for (size_t i = 0; i < left + 5; ++i) session->sessionStart();
  EXPECT_TRUE(runUntil([&] { return server->installPings().size() == 2 + left; }));
  EXPECT_TRUE(runUntil([] { return platform::URLConnection::liveCount() == 0; }));
  EXPECT_EQ(server->installPings().size(), 2 + left);
  size_t said = 0;
  for (const auto& line : log.lines())
    said += line.find(pelora::PELODownloadTrack::kPingBudgetExceededLine) != std::string::npos;
  EXPECT_EQ(said, 1u);
}

struct Dismissals : pelora::PELOSettingControllerDelegate {
  void settingViewControllerDismiss(PELOSettingController&) override { ++count; }
  int count = 0;
};

class PELOProfileFormTest : public PELOProfileAndPingTest {
 protected:
  void SetUp() override {
    PELOProfileAndPingTest::SetUp();
    platform::TimeZone::setLocal(platform::TimeZone::utc());
    savedClock = platform::Clock::currentShared();
  }
  void TearDown() override {
    platform::Clock::setCurrent(savedClock);
    PELOProfileAndPingTest::TearDown();
  }
  // A fresh form filled in and left with "Done" on `date` (seconds since 1970, UTC).
  void save(double date, const std::string& gender, const std::string& year, const std::string& i1 = "",
            const std::string& i3 = "") {
    platform::Clock::setCurrent(std::make_shared<platform::ManualClock>(date));
    platform::UserDefaults::standardUserDefaults().removeObjectForKey(PELOSettingController::kGenderKey);
    platform::UserDefaults::standardUserDefaults().removeObjectForKey(PELOSettingController::kAgeKey);
    auto form = PELOSettingController::create();
    form->setDelegate(dismissals);
    form->view();
    form->gender()->setText(gender);
    form->yearofbirth()->setText(year);
    form->interest1()->setText(i1);
    form->interest3()->setText(i3);
    ASSERT_TRUE(form->navigationItem()->leftBarButtonItem()->tap());
  }
  static std::optional<std::string> stored(const char* key) {
    return platform::UserDefaults::standardUserDefaults().stringForKey(key);
  }
  std::shared_ptr<platform::Clock> savedClock;
  std::shared_ptr<Dismissals> dismissals = std::make_shared<Dismissals>();
};

// 2012-06-15 12:00 UTC, and 2027-01-01 12:00 UTC: a Friday whose week belongs to 2026.
constexpr double kMid2012 = 1339761600;
constexpr double kNewYear2027 = 1798804800;

TEST_F(PELOProfileFormTest, WhatTheFormKeeps) {
  struct Case {
    double date;
    const char* gender;
    const char* year;
    std::optional<std::string> genderStored;
    std::optional<std::string> yearStored;
  };
  const Case cases[] = {
      {kMid2012, "Male", "1913", "m", "1913"},
      {kMid2012, "female", "1912", "f", std::nullopt},  // 99 years ago
      {kMid2012, "x", "2011", std::nullopt, "2011"},
      {kMid2012, "", "2012", std::nullopt, std::nullopt},  // this year
      {kMid2012, "M", "198", "m", std::nullopt},           // three characters
      {kMid2012, "F", "19800", "f", std::nullopt},
      {kMid2012, "m", "abcd", "m", std::nullopt},
      {kNewYear2027, "m", "2026", "m", "2026"},  // last calendar year, whatever the week says
      {kNewYear2027, "m", "1928", "m", "1928"},
      {kNewYear2027, "m", "1927", "m", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.gender) + " " + c.year);
    save(c.date, c.gender, c.year);
    EXPECT_EQ(stored(PELOSettingController::kGenderKey), c.genderStored);
    EXPECT_EQ(stored(PELOSettingController::kAgeKey), c.yearStored);
  }
  EXPECT_EQ(dismissals->count, static_cast<int>(std::size(cases)));
}

TEST_F(PELOProfileFormTest, InterestsAreStoredAsEnteredAndEmptyOnesSkipped) {
  save(kMid2012, "", "", "sailing & chess", "");
  save(kMid2012, "", "", "", "jazz");
  EXPECT_EQ(stored("interest1_preference"), "sailing & chess");
  EXPECT_EQ(stored("interest2_preference"), std::nullopt);
  EXPECT_EQ(stored("interest3_preference"), "jazz");
}

}  // namespace
