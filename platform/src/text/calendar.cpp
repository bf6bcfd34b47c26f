#include "platform/calendar.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/singleton.h"

namespace platform {

struct CalendarAccess {
  static const TimeZone& machine() {
    static const TimeZone zone(TimeZone::Kind::Machine, machineZoneName(), 0);
    return zone;
  }

  // TZ as the process started; read once, before anything here changed it.
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

  // One lock and one saved TZ for every instantiation of inZone, so outside the template.
  static std::mutex& zoneMutex() {
    static std::mutex mutex;
    return mutex;
  }
  // Called under zoneMutex(). ":/etc/localtime" is what the C library reads when TZ is unset.
  static const std::string& machineTZ() {
    static const std::string tz = [] {
      std::string v = startupTZ().value_or(":/etc/localtime");
      setenv("TZ", v.c_str(), 1);
      return v;
    }();
    return tz;
  }

  // Runs `f` with the C library's local time set to `zone`. Changing TZ is process-wide, so the
  // lock covers the change, the call and the restore. TZ is made to exist once and for all:
  // adding or removing a variable may move the environment array under another thread's
  // getenv, while replacing an existing value only swaps one pointer.
  template <class F>
  static auto inZone(const TimeZone& zone, F f) {
    std::lock_guard<std::mutex> lock(zoneMutex());
    const std::string& machine = machineTZ();
    if (zone.kind_ == TimeZone::Kind::Named) setenv("TZ", zone.name_.c_str(), 1);
    tzset();
    auto result = f();
    if (zone.kind_ == TimeZone::Kind::Named) {
      setenv("TZ", machine.c_str(), 1);
      tzset();
    }
    return result;
  }

  static std::optional<std::tm> brokenDown(time_t t, const TimeZone& zone) {
    std::tm tm{};
    bool ok;
    if (zone.kind_ == TimeZone::Kind::Fixed) {
      time_t shifted = t + zone.offset_;
      ok = gmtime_r(&shifted, &tm) != nullptr;
    } else {
      ok = inZone(zone, [&] { return localtime_r(&t, &tm) != nullptr; });
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
    return static_cast<double>(inZone(zone, [&] { return mktime(&tm); }));
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
