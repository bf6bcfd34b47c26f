#pragma once
// Dates as text: fixed patterns in the en_US_POSIX locale (English names, ASCII digits, the
// Gregorian calendar) whatever the user's locale, and HTTP dates.
//
// Pattern letters; a run of one letter is one field and its length the count:
//   y  year: "yy" its last two digits, any other count the year padded with zeros to the count
//   Y  ISO 8601 week-based year (see DateComponents), the same way
//   M  month: count 1-2 the number padded to the count, 3 "Jan", 4 or more "January"
//   d  day of the month; H hour 0-23; m minute; s second: each padded to the count
//   E  weekday: count 1-3 "Sun", 4 or more "Sunday"
// Text between single quotes is literal and "''" is one quote, inside quotes or not. Every
// other character, other letters included, stands for itself.
//
// Thread safety: a DateFormatter is immutable; its const members may run on any thread.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/calendar.h"

namespace platform {

class DateFormatter {
 public:
  // The zone is read once, here: a later TimeZone::setLocal does not move this formatter.
  explicit DateFormatter(std::string pattern, TimeZone zone = TimeZone::local());

  // "" for a date the calendar cannot show (not a number, beyond the C library's years).
  std::string stringFromDate(double date) const;

  // Reads text written in the pattern. The whole text must match, except white space at its
  // end; numbers may have fewer digits than their count, except a number followed directly by
  // another ("yyyyMMdd"), which takes exactly its count; names match in any case; a weekday is
  // read but not checked against the date. Fields the pattern lacks default to 1970-01-01
  // 00:00:00. std::nullopt when the text does not match, when a field is out of range (month
  // 13, 30 February, hour 24, second 61), and for patterns with "yy" or Y, which are only
  // written.
  std::optional<double> dateFromString(std::string_view text) const;

  const std::string& dateFormat() const { return pattern_; }
  const TimeZone& timeZone() const { return zone_; }

 private:
  struct Field {
    char letter;  // 0 for literal text
    int count;
    std::string literal;
  };
  std::string pattern_;
  TimeZone zone_;
  std::vector<Field> fields_;
};

// "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 1123), the fraction of a second dropped toward the past;
// "" when the calendar cannot show the date.
std::string httpDateString(double date);

// Reads an HTTP date in any of the three forms a server may send: RFC 1123
// ("Sun, 06 Nov 1994 08:49:37 GMT"), RFC 850 ("Sunday, 06-Nov-94 08:49:37 GMT") and asctime
// ("Sun Nov  6 08:49:37 1994"). Leniently: names in any case, the weekday optional and not
// checked against the date, runs of blanks for one, one-digit days and hours, "GMT", "UTC" or
// "UT" as the zone or none, and blanks around. A two-digit year is the one of this century,
// unless that lies more than 50 years after Clock::current().now(), then the century before
// (RFC 7231). Second 60 is read as the next minute's first. std::nullopt for anything else,
// and for dates that do not exist (31 April, hour 24).
std::optional<double> parseHTTPDate(std::string_view text);

}  // namespace platform
