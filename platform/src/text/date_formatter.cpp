#include "platform/date_formatter.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/clock.h"

namespace platform {
namespace {

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// 1-based index of a month or weekday named by its English name or its three-letter form.
int nameIndex(std::string_view word, const char* const* names, int n) {
  for (int i = 0; i < n; ++i) {
    std::string_view full(names[i]);
    if (equalsIgnoringCase(word, full) || equalsIgnoringCase(word, full.substr(0, 3))) return i + 1;
  }
  return 0;
}

std::string padded(long long value, int count) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", count, value);
  return buf;
}

// Whether the fields name a day that exists and a time of day on it (second 60 allowed).
bool inRange(const DateComponents& c) {
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.hour < 0 || c.hour > 23 || c.minute < 0 ||
      c.minute > 59 || c.second < 0 || c.second > 60) {
    return false;
  }
  // The calendar carries an impossible day into the next month, which is how we tell.
  DateComponents noon{c.year, c.month, c.day, 12, 0, 0};
  auto back = Calendar::components(Calendar::date(noon, TimeZone::utc()), TimeZone::utc());
  return back && back->month == c.month && back->day == c.day;
}

bool isNumeric(char letter) { return letter == 'y' || letter == 'd' || letter == 'H' || letter == 'm' || letter == 's'; }

}  // namespace

DateFormatter::DateFormatter(std::string pattern, TimeZone zone) : pattern_(std::move(pattern)), zone_(std::move(zone)) {
  const std::string& p = pattern_;
  auto addLiteral = [&](char c) {
    if (fields_.empty() || fields_.back().letter != 0) fields_.push_back({0, 0, ""});
    fields_.back().literal.push_back(c);
  };
  for (size_t i = 0; i < p.size();) {
    char c = p[i];
    if (c == '\'') {
      if (i + 1 < p.size() && p[i + 1] == '\'') {
        addLiteral('\'');
        i += 2;
        continue;
      }
      // Quoted text runs to the next lone quote (or the end).
      for (++i; i < p.size(); ++i) {
        if (p[i] == '\'') {
          if (i + 1 < p.size() && p[i + 1] == '\'') {
            addLiteral('\'');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        addLiteral(p[i]);
      }
      continue;
    }
    if (c == 'y' || c == 'Y' || c == 'M' || c == 'd' || c == 'E' || c == 'H' || c == 'm' || c == 's') {
      size_t j = i;
      while (j < p.size() && p[j] == c) ++j;
      fields_.push_back({c, static_cast<int>(j - i), ""});
      i = j;
      continue;
    }
    addLiteral(c);
    ++i;
  }
}

std::string DateFormatter::stringFromDate(double date) const {
  auto c = Calendar::components(date, zone_);
  if (!c) return "";
  std::string out;
  for (const Field& f : fields_) {
    switch (f.letter) {
      case 0: out += f.literal; break;
      case 'y':
      case 'Y': {
        int year = f.letter == 'y' ? c->year : c->yearForWeekOfYear;
        out += f.count == 2 ? padded(((year % 100) + 100) % 100, 2) : padded(year, f.count);
        break;
      }
      case 'M':
        if (f.count >= 4) out += kMonths[c->month - 1];
        else if (f.count == 3) out += std::string(kMonths[c->month - 1], 3);
        else out += padded(c->month, f.count);
        break;
      case 'E': out += f.count >= 4 ? std::string(kWeekdays[c->weekday - 1]) : std::string(kWeekdays[c->weekday - 1], 3); break;
      case 'd': out += padded(c->day, f.count); break;
      case 'H': out += padded(c->hour, f.count); break;
      case 'm': out += padded(c->minute, f.count); break;
      case 's': out += padded(c->second, f.count); break;
    }
  }
  return out;
}

std::optional<double> DateFormatter::dateFromString(std::string_view text) const {
  DateComponents c;
  size_t pos = 0;
  for (size_t k = 0; k < fields_.size(); ++k) {
    const Field& f = fields_[k];
    if (f.letter == 0) {
      if (text.compare(pos, f.literal.size(), f.literal) != 0) return std::nullopt;
      pos += f.literal.size();
      continue;
    }
    if (f.letter == 'Y' || (f.letter == 'y' && f.count == 2)) return std::nullopt;
    if (f.letter == 'E' || (f.letter == 'M' && f.count >= 3)) {
      size_t end = pos;
      while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
      std::string_view word = text.substr(pos, end - pos);
      int index = f.letter == 'E' ? nameIndex(word, kWeekdays, 7) : nameIndex(word, kMonths, 12);
      if (index == 0) return std::nullopt;
      if (f.letter == 'M') c.month = index;
      pos = end;
      continue;
    }
    const bool fixedWidth = k + 1 < fields_.size() && (isNumeric(fields_[k + 1].letter) ||
                                                       (fields_[k + 1].letter == 'M' && fields_[k + 1].count <= 2));
    const size_t maxDigits = fixedWidth ? static_cast<size_t>(f.count) : 9;
    size_t end = pos;
    long value = 0;
    while (end < text.size() && end - pos < maxDigits && std::isdigit(static_cast<unsigned char>(text[end]))) {
      value = value * 10 + (text[end] - '0');
      ++end;
    }
    if (end == pos || (fixedWidth && end - pos != static_cast<size_t>(f.count))) return std::nullopt;
    pos = end;
    switch (f.letter) {
      case 'y': c.year = static_cast<int>(value); break;
      case 'M': c.month = static_cast<int>(value); break;
      case 'd': c.day = static_cast<int>(value); break;
      case 'H': c.hour = static_cast<int>(value); break;
      case 'm': c.minute = static_cast<int>(value); break;
      case 's': c.second = static_cast<int>(value); break;
    }
  }
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  if (pos != text.size() || !inRange(c)) return std::nullopt;
  return Calendar::date(c, zone_);
}

std::string httpDateString(double date) {
  static const DateFormatter formatter("EEE, dd MMM yyyy HH:mm:ss 'GMT'", TimeZone::utc());
  return formatter.stringFromDate(date);
}

std::optional<double> parseHTTPDate(std::string_view text) {
  // Words split on blanks, commas and dashes; the time keeps its colons.
  std::vector<std::string_view> words;
  for (size_t i = 0; i < text.size();) {
    if (isBlank(text[i]) || text[i] == ',' || text[i] == '-') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && !isBlank(text[j]) && text[j] != ',' && text[j] != '-') ++j;
    words.push_back(text.substr(i, j - i));
    i = j;
  }
  auto number = [](std::string_view w, size_t minDigits, size_t maxDigits) -> std::optional<int> {
    if (w.size() < minDigits || w.size() > maxDigits) return std::nullopt;
    int v = 0;
    for (char ch : w) {
      if (!std::isdigit(static_cast<unsigned char>(ch))) return std::nullopt;
      v = v * 10 + (ch - '0');
    }
    return v;
  };
  size_t at = 0;
  if (at < words.size() && nameIndex(words[at], kWeekdays, 7) != 0) ++at;
  if (words.size() - at < 4) return std::nullopt;

  DateComponents c;
  std::string_view time, year;
  if (int month = nameIndex(words[at], kMonths, 12)) {  // asctime: month day time year
    c.month = month;
    auto day = number(words[at + 1], 1, 2);
    if (!day) return std::nullopt;
    c.day = *day;
    time = words[at + 2];
    year = words[at + 3];
  } else {  // RFC 1123 and RFC 850: day month year time
    auto day = number(words[at], 1, 2);
    c.month = nameIndex(words[at + 1], kMonths, 12);
    if (!day || c.month == 0) return std::nullopt;
    c.day = *day;
    year = words[at + 2];
    time = words[at + 3];
  }
  at += 4;
  if (at < words.size() && (equalsIgnoringCase(words[at], "GMT") || equalsIgnoringCase(words[at], "UTC") ||
                            equalsIgnoringCase(words[at], "UT"))) {
    ++at;
  }
  if (at != words.size()) return std::nullopt;

  if (auto y4 = number(year, 4, 4)) {
    c.year = *y4;
  } else if (auto y2 = number(year, 2, 2)) {
    auto now = Calendar::components(Clock::current().now(), TimeZone::utc());
    int thisYear = now ? now->year : 1970;
    c.year = thisYear / 100 * 100 + *y2;
    if (c.year > thisYear + 50) c.year -= 100;
  } else {
    return std::nullopt;
  }

  size_t colon1 = time.find(':'), colon2 = time.find(':', colon1 == std::string_view::npos ? colon1 : colon1 + 1);
  if (colon1 == std::string_view::npos || colon2 == std::string_view::npos) return std::nullopt;
  auto h = number(time.substr(0, colon1), 1, 2);
  auto m = number(time.substr(colon1 + 1, colon2 - colon1 - 1), 2, 2);
  auto s = number(time.substr(colon2 + 1), 2, 2);
  if (!h || !m || !s) return std::nullopt;
  c.hour = *h;
  c.minute = *m;
  c.second = *s;
  if (!inRange(c)) return std::nullopt;
  return Calendar::date(c, TimeZone::utc());
}

}  // namespace platform
