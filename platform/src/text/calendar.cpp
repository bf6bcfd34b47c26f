#include "platform/calendar.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include <unicode/basictz.h>
#include <unicode/timezone.h>
#include <unicode/ucal.h>
#include <unicode/unistr.h>

#include "platform/singleton.h"

namespace platform {

struct CalendarAccess {
  static const TimeZone& machine() {
    static const TimeZone zone(TimeZone::Kind::Machine, machineZoneName(), 0);
    return zone;
  }

  // TZ as the process started, read once (nothing here changes it).
  static const std::optional<std::string>& startupTZ() {
    static const std::optional<std::string> tz = [] {
      const char* v = std::getenv("TZ");
      return v ? std::optional<std::string>(v) : std::nullopt;
    }();
    return tz;
  }

  static std::string machineZoneName() {
    if (const auto& tz = startupTZ()) {
      if (tz->empty()) return "UTC";  // how the C library reads an empty TZ
      return tz->front() == ':' ? tz->substr(1) : *tz;
    }
    char target[512];
    ssize_t n = readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) {
      std::string path(target, static_cast<size_t>(n));
      auto at = path.find("zoneinfo/");
      if (at != std::string::npos) return path.substr(at + 9);
    }
    return "Local";
  }

  // The rules of a named zone, made once per name and shared: their const calls are safe
  // from any thread. Converting through them changes no process state (as setting TZ would,
  // under another thread's local-time call). Null for a name the rules do not know.
  static std::shared_ptr<const icu::BasicTimeZone> rules(const std::string& name) {
    static std::mutex mutex;
    static auto* known = new std::map<std::string, std::shared_ptr<const icu::BasicTimeZone>, std::less<>>;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = known->find(name);
    if (it != known->end()) return it->second;
    std::shared_ptr<const icu::BasicTimeZone> made;
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(name)));
    icu::UnicodeString id;
    if (zone && zone->getID(id) != icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID)) {
      if (auto* basic = dynamic_cast<icu::BasicTimeZone*>(zone.get())) {
        zone.release();
        made.reset(basic);
      }
    }
    // Names come from files that exist (bounded in number), so the table stays small.
    known->emplace(name, made);
    return made;
  }

  // Seconds east of UTC at `t` (UTC seconds) in a named zone, and whether that is summer time.
  static std::optional<std::pair<int, bool>> namedOffset(const TimeZone& zone, double t) {
    auto r = rules(zone.name_);
    if (!r) return std::nullopt;
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    r->getOffset(t * 1000.0, false, raw, dst, status);
    if (U_FAILURE(status)) return std::nullopt;
    return std::make_pair((raw + dst) / 1000, dst != 0);
  }

  static std::optional<std::tm> brokenDown(time_t t, const TimeZone& zone) {
    std::tm tm{};
    bool ok;
    if (zone.kind_ == TimeZone::Kind::Fixed) {
      time_t shifted = t + zone.offset_;
      ok = gmtime_r(&shifted, &tm) != nullptr;
    } else if (zone.kind_ == TimeZone::Kind::Named) {
      auto offset = namedOffset(zone, static_cast<double>(t));
      time_t shifted = t + (offset ? offset->first : 0);
      ok = offset && gmtime_r(&shifted, &tm) != nullptr;
      if (ok) {
        tm.tm_gmtoff = offset->first;
        tm.tm_isdst = offset->second ? 1 : 0;
      }
    } else {
      ok = localtime_r(&t, &tm) != nullptr;
    }
    if (!ok) return std::nullopt;
    return tm;
  }

  static int offsetAt(const TimeZone& zone, double date) {
    if (zone.kind_ == TimeZone::Kind::Fixed) return zone.offset_;
    if (!std::isfinite(date)) return 0;
    auto tm = brokenDown(static_cast<time_t>(std::floor(date)), zone);
    return tm ? static_cast<int>(tm->tm_gmtoff) : 0;
  }

  static double date(const DateComponents& c, const TimeZone& zone) {
    std::tm tm{};
    tm.tm_year = c.year - 1900;
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_isdst = -1;
    if (zone.kind_ == TimeZone::Kind::Fixed) return static_cast<double>(timegm(&tm) - zone.offset_);
    if (zone.kind_ != TimeZone::Kind::Named) return static_cast<double>(mktime(&tm));
    // The wall time as if it were UTC, then less the zone's offset at that wall time: a time
    // the clocks skip reads with the offset before the change (as the C library reads it), and
    // a time they show twice is its first showing.
    const double wall = static_cast<double>(timegm(&tm));
    auto r = rules(zone.name_);
    if (!r) return wall;
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    r->getOffsetFromLocal(wall * 1000.0, UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, raw, dst, status);
    return U_FAILURE(status) ? wall : wall - (raw + dst) / 1000;
  }
};

namespace {

struct LocalZone {
  std::optional<TimeZone> chosen;
};

ProcessState<LocalZone>& localZone() {
  static ProcessState<LocalZone> state;
  return state;
}

}  // namespace

TimeZone TimeZone::utc() { return forSecondsFromGMT(0); }

TimeZone TimeZone::forSecondsFromGMT(int seconds) {
  if (seconds == 0) return TimeZone(Kind::Fixed, "GMT", 0);
  int minutes = std::abs(seconds) / 60;
  char name[16];
  std::snprintf(name, sizeof name, "GMT%c%02d%02d", seconds < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
  return TimeZone(Kind::Fixed, name, seconds);
}

std::optional<TimeZone> TimeZone::named(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find("..") != std::string::npos) return std::nullopt;
  const char* dir = std::getenv("TZDIR");
  std::string path = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + name;
  // Only a compiled zone file starts with this magic; a directory or a stray file does not.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  char magic[4] = {};
  size_t n = std::fread(magic, 1, 4, f);
  std::fclose(f);
  if (n != 4 || std::string(magic, 4) != "TZif") return std::nullopt;
  // A zone file the conversion rules have no entry for could not be converted.
  if (!CalendarAccess::rules(name)) return std::nullopt;
  return TimeZone(Kind::Named, name, 0);
}

TimeZone TimeZone::local() {
  return localZone().with([](LocalZone& z) { return z.chosen.value_or(CalendarAccess::machine()); });
}

void TimeZone::setLocal(const TimeZone& zone) { localZone().write(&LocalZone::chosen, zone); }

int TimeZone::secondsFromGMT(double date) const { return CalendarAccess::offsetAt(*this, date); }

std::optional<DateComponents> Calendar::components(double date, const TimeZone& zone) {
  if (!std::isfinite(date) || std::fabs(date) > 6.7e15) return std::nullopt;
  auto tm = CalendarAccess::brokenDown(static_cast<time_t>(std::floor(date)), zone);
  if (!tm) return std::nullopt;
  DateComponents c;
  c.year = tm->tm_year + 1900;
  c.month = tm->tm_mon + 1;
  c.day = tm->tm_mday;
  c.hour = tm->tm_hour;
  c.minute = tm->tm_min;
  c.second = tm->tm_sec;
  c.weekday = tm->tm_wday + 1;
  char buf[32];
  if (std::strftime(buf, sizeof buf, "%G %V", &*tm) > 0) {
    std::sscanf(buf, "%d %d", &c.yearForWeekOfYear, &c.weekOfYear);
  }
  return c;
}

double Calendar::date(const DateComponents& fields, const TimeZone& zone) {
  return CalendarAccess::date(fields, zone);
}

}  // namespace platform
