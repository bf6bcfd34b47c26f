#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "platform/url_connection.h"

namespace platform {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
  for (const auto& [k, v] : fields_) {
    if (equalsIgnoringCase(k, name)) return v;
  }
  return std::nullopt;
}

void HTTPHeaderFields::set(std::string_view name, std::string value) {
  for (auto& [k, v] : fields_) {
    if (equalsIgnoringCase(k, name)) {
      v = std::move(value);
      return;
    }
  }
  fields_.emplace_back(std::string(name), std::move(value));
}

void HTTPHeaderFields::add(std::string_view name, std::string_view value) {
  for (auto& [k, v] : fields_) {
    if (equalsIgnoringCase(k, name)) {
      v.append(", ").append(value);
      return;
    }
  }
  fields_.emplace_back(std::string(name), std::string(value));
}

bool HTTPHeaderFields::remove(std::string_view name) {
  auto it = std::find_if(fields_.begin(), fields_.end(),
                         [&](const Field& f) { return equalsIgnoringCase(f.first, name); });
  if (it == fields_.end()) return false;
  fields_.erase(it);
  return true;
}

double soundTimeInterval(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return kURLDefaultTimeoutInterval;
  return std::min(seconds, kURLMaximumTimeoutInterval);
}

URLRequest::URLRequest(std::string url, URLRequestCachePolicy cachePolicy, double timeoutInterval)
    : url_(std::move(url)), timeout_(soundTimeInterval(timeoutInterval)), cachePolicy_(cachePolicy) {}

void URLRequest::setDeadlineInterval(std::optional<double> seconds) {
  deadline_ = seconds ? std::optional<double>(soundTimeInterval(*seconds)) : std::nullopt;
}

void URLRequest::setValueForHTTPHeaderField(std::optional<std::string> value,
                                            std::string_view field) {
  if (value) {
    headers_.set(field, std::move(*value));
  } else {
    headers_.remove(field);
  }
}

long long HTTPURLResponse::expectedContentLength() const {
  auto length = headers_.value("Content-Length");
  if (!length) return -1;
  // A body decoded from a content encoding no longer has the length the server announced.
  if (auto enc = headers_.value("Content-Encoding"); enc && lower(trim(*enc)) != "identity") {
    return -1;
  }
  std::string_view text = trim(*length);
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::strtoll(std::string(text).c_str(), nullptr, 10);
}

std::string HTTPURLResponse::mimeType() const {
  auto type = headers_.value("Content-Type");
  if (!type) return "";
  std::string_view t = *type;
  t = trim(t.substr(0, t.find(';')));
  return lower(t);
}

std::string HTTPURLResponse::textEncodingName() const {
  auto type = headers_.value("Content-Type");
  if (!type) return "";
  std::string_view rest = *type;
  for (size_t semi = rest.find(';'); semi != std::string_view::npos; semi = rest.find(';')) {
    rest.remove_prefix(semi + 1);
    std::string_view param = trim(rest.substr(0, rest.find(';')));
    size_t eq = param.find('=');
    if (eq == std::string_view::npos) continue;
    if (lower(trim(param.substr(0, eq))) != "charset") continue;
    std::string_view v = trim(param.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return lower(v);
  }
  return "";
}

}  // namespace platform
