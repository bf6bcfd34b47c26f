#pragma once
// The Gregorian calendar and time zones. Dates are seconds since 1970-01-01 UTC (a double, as
// Clock and Value's date kind); the calendar is the proleptic Gregorian one of the C library,
// and zones come from the system's zone database (tzdata), never from rules of our own.
//
// Thread safety: everything here may be used from any thread; a TimeZone is an immutable value.
// Conversions in a named or the machine's zone switch the process's TZ variable under one lock
// and put it back before the lock is released, so only code that reads TZ or calls localtime
// without that lock could notice (the platform has none). From the first such conversion on, TZ
// stays set (to ":/etc/localtime", the same zone, when the process started without it).
#include <optional>
#include <string>

namespace platform {

class TimeZone {
 public:
  static TimeZone utc();
  // A fixed offset east of Greenwich (-18000 is five hours west), never daylight saving.
  static TimeZone forSecondsFromGMT(int seconds);
  // A zone of the system's database ("Europe/Berlin"); nullopt when the database has no such
  // name (relative names only: no "..", no leading '/').
  static std::optional<TimeZone> named(const std::string& name);
  // The process's local zone: the last one setLocal chose, else the machine's own (TZ as the
  // process started, or /etc/localtime). Read at each call.
  static TimeZone local();
  // Chooses the local zone for the whole process; platform::resetForTesting() restores the
  // machine's own.
  static void setLocal(const TimeZone& zone);

  // "GMT" for UTC, "GMT+0100" / "GMT-0530" for fixed offsets, the database name otherwise.
  const std::string& name() const { return name_; }
  // Offset from UTC in force at `date`, daylight saving included.
  int secondsFromGMT(double date) const;
  bool operator==(const TimeZone& other) const = default;

 private:
  enum class Kind { Fixed, Named, Machine };
  TimeZone(Kind kind, std::string name, int offset) : kind_(kind), name_(std::move(name)), offset_(offset) {}
  friend struct CalendarAccess;

  Kind kind_;
  std::string name_;
  int offset_ = 0;
};

// The fields of a moment in one zone. The first six are read by Calendar::date; the last
// three are only filled by Calendar::components.
struct DateComponents {
  int year = 1970;
  int month = 1;   // 1 January … 12 December
  int day = 1;     // of the month
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 0;            // 1 Sunday … 7 Saturday
  int weekOfYear = 0;         // ISO 8601 week number, 1 … 53
  int yearForWeekOfYear = 0;  // ISO 8601 week-based year (weeks start on Monday; week 1 holds
                              // the year's first Thursday)
};

class Calendar {
 public:
  // The fields of `date` (its fraction of a second dropped toward the past) in `zone`;
  // std::nullopt for a date that is not a number or lies beyond the C library's years.
  static std::optional<DateComponents> components(double date, const TimeZone& zone);
  // The moment those fields name in `zone`. Fields out of range carry over as the C library
  // does (month 13 is January of the next year, day 0 the month's eve, 30 February 1 or 2
  // March); a local time that a daylight-saving change skips or repeats resolves as mktime
  // resolves it. weekday and the week fields are ignored.
  static double date(const DateComponents& fields, const TimeZone& zone);
};

}  // namespace platform
