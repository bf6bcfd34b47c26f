#include "platform/date_formatter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <limits>
#include <tuple>

#include "platform/calendar.h"
#include "platform/singleton.h"
#include "testing/sandbox_test.h"

namespace platform {
namespace {

// Moments checked against the calendar by hand (and RFC 7231's own example).
constexpr double kRfcExample = 784111777;   // Sun, 06 Nov 1994 08:49:37 UTC
constexpr double kLeapDay2024 = 1709164800;  // Thu, 29 Feb 2024 00:00:00 UTC
constexpr double kDec30_2024 = 1735516800;   // Mon, 30 Dec 2024: ISO week 1 of 2025
constexpr double kJan1_2021 = 1609459200;    // Fri, 01 Jan 2021: ISO week 53 of 2020
constexpr double kBerlinSpring = 1711846800; // 2024-03-31 01:00 UTC, when Berlin moves to CEST
constexpr double kBerlinAutumn = 1729990800; // 2024-10-27 01:00 UTC, when it moves back

TimeZone berlin() { return TimeZone::named("Europe/Berlin").value(); }

class DatesTest : public testkit::SandboxTest {};

TEST_F(DatesTest, CalendarFieldsAroundYearEndsAndLeapDays) {
  struct Case {
    double date;
    int year, month, day, weekday, weekYear, week;
  } cases[] = {
      {kDec30_2024, 2024, 12, 30, 2, 2025, 1},
      {kJan1_2021, 2021, 1, 1, 6, 2020, 53},
      {kLeapDay2024, 2024, 2, 29, 5, 2024, 9},
      {kRfcExample, 1994, 11, 6, 1, 1994, 44},
      {-1, 1969, 12, 31, 4, 1970, 1},
  };
  for (const auto& c : cases) {
    auto f = Calendar::components(c.date, TimeZone::utc());
    ASSERT_TRUE(f) << c.date;
    EXPECT_EQ(std::make_tuple(f->year, f->month, f->day, f->weekday, f->yearForWeekOfYear, f->weekOfYear),
              std::make_tuple(c.year, c.month, c.day, c.weekday, c.weekYear, c.week))
        << c.date;
  }
  EXPECT_EQ(Calendar::date({2024, 2, 29}, TimeZone::utc()), kLeapDay2024);
  // 29 February of a common year is 1 March, and month 13 the next January.
  EXPECT_EQ(Calendar::date({2023, 2, 29}, TimeZone::utc()), Calendar::date({2023, 3, 1}, TimeZone::utc()));
  EXPECT_EQ(Calendar::date({2020, 13, 1}, TimeZone::utc()), kJan1_2021);
  EXPECT_EQ(Calendar::date({1994, 11, 6, 3, 49, 37}, TimeZone::forSecondsFromGMT(-5 * 3600)), kRfcExample);
  EXPECT_FALSE(Calendar::components(std::nan(""), TimeZone::utc()));
}

TEST_F(DatesTest, ZonesFollowDaylightSavingAndTheLocalChoiceIsReset) {
  const TimeZone zone = berlin();
  const struct {
    double date;
    int offset, hour;
  } cases[] = {
      {kBerlinSpring - 1, 3600, 1}, {kBerlinSpring, 7200, 3}, {kBerlinAutumn - 1, 7200, 2}, {kBerlinAutumn, 3600, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(zone.secondsFromGMT(c.date), c.offset) << c.date;
    EXPECT_EQ(Calendar::components(c.date, zone)->hour, c.hour) << c.date;
  }
  // Noon in summer is 10:00 UTC; in winter 11:00.
  EXPECT_EQ(Calendar::date({2024, 7, 1, 12}, zone), 1719828000);
  EXPECT_EQ(Calendar::date({2024, 1, 1, 12}, zone), 1704106800);

  const TimeZone machine = TimeZone::local();
  TimeZone::setLocal(zone);
  EXPECT_EQ(TimeZone::local().name(), "Europe/Berlin");
  EXPECT_EQ(DateFormatter("yyyy-MM-dd HH:mm:ss").stringFromDate(kBerlinSpring), "2024-03-31 03:00:00");
  platform::resetForTesting();
  EXPECT_EQ(TimeZone::local(), machine);

  EXPECT_EQ(TimeZone::forSecondsFromGMT(-19800).name(), "GMT-0530");
  EXPECT_EQ(TimeZone::forSecondsFromGMT(3600).name(), "GMT+0100");
  for (const char* bad : {"No/Such_Zone", "Europe", "../zoneinfo/UTC", "/usr/share/zoneinfo/UTC", ""}) {
    EXPECT_FALSE(TimeZone::named(bad)) << bad;
  }
}

TEST_F(DatesTest, ConversionsInDifferentZonesOnSeveralThreadsDoNotMix) {
  // 2024-07-01 12:00 UTC is 14:00 in Berlin (CEST) and 08:00 in New York (EDT).
  const double noonUtc = 1719835200;
  const TimeZone zones[] = {berlin(), TimeZone::named("America/New_York").value()};
  const int hours[] = {14, 8};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const TimeZone& zone = zones[t % 2];
      const DateFormatter formatter("HH", zone);
      for (int i = 0; i < 300; ++i) {
        if (Calendar::components(noonUtc, zone)->hour != hours[t % 2]) ++wrong;
        if (formatter.stringFromDate(noonUtc) != (t % 2 ? "08" : "14")) ++wrong;
        if (Calendar::date({2024, 7, 1, hours[t % 2]}, zone) != noonUtc) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(DatesTest, NamedZoneConversionsLeaveTheProcessLocalTimeAlone) {
  // Another thread's local time (the log's time stamps) must never see a borrowed zone while
  // named zones are converted, and the environment stays as the process started.
  const char* tz = std::getenv("TZ");
  const std::optional<std::string> tzBefore = tz ? std::optional<std::string>(tz) : std::nullopt;
  const time_t winterNoon = 1704110400, summerNoon = 1719835200;  // 2024-01-01 and 2024-07-01 12:00 UTC
  auto localOffsets = [&] {
    std::tm winter{}, summer{};
    localtime_r(&winterNoon, &winter);
    localtime_r(&summerNoon, &summer);
    return std::make_pair(winter.tm_gmtoff, summer.tm_gmtoff);
  };
  const auto machine = localOffsets();
  const TimeZone zones[] = {berlin(), TimeZone::named("America/New_York").value(), TimeZone::named("Asia/Tokyo").value()};
  std::atomic<bool> done{false};
  std::atomic<int> borrowed{0}, looks{0};
  std::thread reader([&] {
    while (!done.load() || looks.load() < 1000) {
      if (localOffsets() != machine) ++borrowed;
      ++looks;
    }
  });
  for (int i = 0; i < 3000; ++i) {
    const TimeZone& zone = zones[i % 3];
    Calendar::components(summerNoon, zone);
    Calendar::date({2024, 7, 1, 12}, zone);
    zone.secondsFromGMT(static_cast<double>(winterNoon));
  }
  done = true;
  reader.join();
  EXPECT_EQ(borrowed.load(), 0);
  tz = std::getenv("TZ");
  EXPECT_EQ(tz ? std::optional<std::string>(tz) : std::nullopt, tzBefore);

  // Wall times the clocks skip read with the offset before the change; times shown twice are
  // their first showing.
  const struct {
    TimeZone zone;
    DateComponents wall;
    double date;
  } cases[] = {
      {berlin(), {2024, 3, 31, 2, 30}, kBerlinSpring + 1800},          // skipped: 01:30 UTC
      {berlin(), {2024, 10, 27, 2, 30}, kBerlinAutumn - 1800},         // twice: first in CEST
      {berlin(), {2024, 10, 27, 3, 30}, kBerlinAutumn + 5400},
      {zones[1], {2024, 11, 3, 1, 30}, 1730611800},                    // twice: first in EDT
      {zones[2], {2024, 7, 1, 21}, summerNoon},
  };
  for (const auto& c : cases) EXPECT_EQ(Calendar::date(c.wall, c.zone), c.date) << c.zone.name() << " " << c.wall.hour;
}

TEST_F(DatesTest, FormatsThePatternsInEnglishWhateverTheZone) {
  const TimeZone utc = TimeZone::utc();
  const struct {
    const char* pattern;
    double date;
    TimeZone zone;
    const char* expected;
  } cases[] = {
      {"EEE, dd MMM yyyy HH:mm:ss", kRfcExample, utc, "Sun, 06 Nov 1994 08:49:37"},
      {"yyyyMMdd", kLeapDay2024, utc, "20240229"},
      {"yyyy-MM-dd HH:mm:ss", 946684800, TimeZone::forSecondsFromGMT(-5 * 3600), "1999-12-31 19:00:00"},
      {"YYYY yyyy", kDec30_2024, utc, "2025 2024"},
      {"YYYY yyyy", kJan1_2021, utc, "2020 2021"},
      {"EEEE d MMMM yy 'at' H'h'''", kRfcExample, utc, "Sunday 6 November 94 at 8h'"},
      {"'yyyy' M/d", kLeapDay2024, utc, "yyyy 2/29"},
      {"dd.MM. HH:mm", kBerlinSpring, berlin(), "31.03. 03:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateFormatter(c.pattern, c.zone).stringFromDate(c.date), c.expected) << c.pattern;
  }
  EXPECT_EQ(DateFormatter("yyyy").stringFromDate(std::numeric_limits<double>::infinity()), "");
}

TEST_F(DatesTest, ReadsTextInThePattern) {
  const DateFormatter http("EEE, dd MMM yyyy HH:mm:ss", TimeZone::utc());
  const DateFormatter compact("yyyyMMdd", TimeZone::utc());
  const struct {
    const DateFormatter* formatter;
    const char* text;
    std::optional<double> expected;
  } cases[] = {
      // A Last-Modified value cut before "GMT" keeps its blank.
      {&http, "Sun, 06 Nov 1994 08:49:37 ", kRfcExample},
      {&http, "sun, 6 NOV 1994 8:49:37", kRfcExample},
      {&http, "Sun, 06 Nov 1994 08:49:37 GMT", std::nullopt},
      {&http, "Sun, 31 Nov 1994 08:49:37", std::nullopt},
      {&http, "Sun, 06 Nov 1994 24:00:00", std::nullopt},
      {&http, "Sun 06 Nov 1994 08:49:37", std::nullopt},
      {&compact, "20240229", kLeapDay2024},
      {&compact, "20230229", std::nullopt},
      {&compact, "2024022", 1706832000},  // only the last number may be short: 2 February
      {&compact, "202402", std::nullopt},
      {&compact, "2024-02-29", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.formatter->dateFromString(c.text), c.expected) << c.text;
  }
  EXPECT_EQ(DateFormatter("yyyy-MM-dd HH:mm:ss", berlin()).dateFromString("2024-07-01 12:00:00"), 1719828000);
  EXPECT_FALSE(DateFormatter("YYYY").dateFromString("2024"));
}

TEST_F(DatesTest, HttpDatesInEveryFormAServerSends) {
  EXPECT_EQ(httpDateString(kRfcExample + 0.9), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(httpDateString(-0.5), "Wed, 31 Dec 1969 23:59:59 GMT");
  for (double d : {0.0, kLeapDay2024, kDec30_2024, 4102444799.0}) EXPECT_EQ(parseHTTPDate(httpDateString(d)), d);

  // The fixture's clock stands in January 2027, so two-digit years up to 77 are this century.
  const struct {
    const char* text;
    std::optional<double> expected;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kRfcExample},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kRfcExample},
      {"Sun Nov  6 08:49:37 1994", kRfcExample},
      {"  sun, 6 nov 1994 8:49:37 gmt ", kRfcExample},
      {"06 Nov 1994 08:49:37 UTC", kRfcExample},
      {"Friday, 01-Jan-77 00:00:00 GMT", 3376684800},
      {"Sunday, 01-Jan-78 00:00:00 GMT", 252460800},
      {"Thu, 29 Feb 2024 00:00:00 GMT", kLeapDay2024},
      {"Fri, 29 Feb 2023 00:00:00 GMT", std::nullopt},
      {"Sun, 31 Apr 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:60:00 GMT", std::nullopt},
      {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 PST", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 GMT later", std::nullopt},
      {"Sun, 06 Nov 994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseHTTPDate(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace platform
