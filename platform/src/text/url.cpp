#include "platform/url.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/utf8.h"

namespace platform {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// One table for both the accepted URL text and the legacy escaping's kept set: they are
// the same characters, which is what makes escaped text always parse.
constexpr std::array<bool, 256> makeUrlTable() {
  std::array<bool, 256> t{};
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (char c : std::string_view("-._~:/?#[]@!$&'()*+,;=")) t[static_cast<unsigned char>(c)] = true;
  return t;
}
constexpr auto kUrlChars = makeUrlTable();

// Kept by file URLs: the URL characters that cannot change a path's meaning.
constexpr std::array<bool, 256> makePathTable() {
  std::array<bool, 256> t = makeUrlTable();
  for (char c : std::string_view("?#[]")) t[static_cast<unsigned char>(c)] = false;
  return t;
}
constexpr auto kPathChars = makePathTable();

void appendEscaped(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

std::string escapeWith(std::string_view text, const std::array<bool, 256>& keep) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (keep[c]) out += ch;
    else appendEscaped(out, c);
  }
  return out;
}

// Every "%" starts two hex digits; every other byte is a URL character.
bool acceptable(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      if (hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0) return false;
      i += 2;
    } else if (!kUrlChars[c]) {
      return false;
    }
  }
  return true;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view in) {
  std::string out;
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.remove_prefix(3);
    } else if (in.starts_with("./")) {
      in.remove_prefix(2);
    } else if (in.starts_with("/./")) {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      if (in.size() == 3) in = "/";
      else in.remove_prefix(3);
      auto slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      size_t next = in.find('/', in[0] == '/' ? 1 : 0);
      if (next == std::string_view::npos) next = in.size();
      out.append(in.substr(0, next));
      in.remove_prefix(next);
    }
  }
  return out;
}

std::string decodeOrKeep(const std::string& text) {
  auto decoded = replacingPercentEscapes(text);
  return decoded ? *decoded : text;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  if (!acceptable(text)) return std::nullopt;
  URL url;
  url.absolute_ = url.relative_ = std::string(text);
  std::string_view rest = text;

  if (!rest.empty() && isAlpha(rest[0])) {
    size_t i = 1;
    while (i < rest.size() && (isAlpha(rest[i]) || isDigit(rest[i]) || rest[i] == '+' ||
                               rest[i] == '-' || rest[i] == '.'))
      ++i;
    if (i < rest.size() && rest[i] == ':') {
      url.scheme_ = std::string(rest.substr(0, i));
      rest.remove_prefix(i + 1);
    }
  }

  if (auto hash = rest.find('#'); hash != std::string_view::npos) {
    url.fragment_ = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  if (auto q = rest.find('?'); q != std::string_view::npos) {
    url.query_ = std::string(rest.substr(q + 1));
    rest = rest.substr(0, q);
  }

  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    size_t end = rest.find('/');
    if (end == std::string_view::npos) end = rest.size();
    std::string_view authority = rest.substr(0, end);
    rest.remove_prefix(end);
    url.hasAuthority_ = true;

    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
      url.userInfo_ = std::string(authority.substr(0, at));
      authority.remove_prefix(at + 1);
    }
    std::string_view hostPort = authority;
    std::string_view portText;
    bool hasPort = false;
    if (hostPort.starts_with("[")) {
      auto close = hostPort.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      // An IPv6 literal: hex digits, colons and dots (for an embedded IPv4 address) only,
      // so that it is always written back between brackets.
      std::string_view literal = hostPort.substr(1, close - 1);
      if (literal.find(':') == std::string_view::npos ||
          literal.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
        return std::nullopt;
      url.host_ = std::string(literal);
      std::string_view after = hostPort.substr(close + 1);
      if (!after.empty()) {
        if (after[0] != ':') return std::nullopt;
        hasPort = true;
        portText = after.substr(1);
      }
    } else {
      if (hostPort.find_first_of("[]") != std::string_view::npos) return std::nullopt;
      auto colon = hostPort.find(':');
      if (colon != std::string_view::npos) {
        hasPort = true;
        portText = hostPort.substr(colon + 1);
        hostPort = hostPort.substr(0, colon);
      }
      url.host_ = std::string(hostPort);
    }
    if (hasPort) {
      url.portText_ = ":" + std::string(portText);
      if (!portText.empty()) {
        if (portText.size() > 5) return std::nullopt;
        int port = 0;
        for (char c : portText) {
          if (!isDigit(c)) return std::nullopt;
          port = port * 10 + (c - '0');
        }
        if (port > 65535) return std::nullopt;
        url.port_ = port;
      }
    }
  }
  url.path_ = std::string(rest);
  return url;
}

std::optional<URL> URL::create(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return parse(text);
}

std::optional<URL> URL::create(std::string_view text, const URL& base) {
  auto ref = parse(text);
  if (!ref) return std::nullopt;

  // RFC 3986 section 5.2.2, strict: a reference with a scheme stands alone.
  URL t;
  if (ref->scheme_) {
    t = *ref;
    t.path_ = removeDotSegments(ref->path_);
  } else {
    t.scheme_ = base.scheme_;
    if (ref->hasAuthority_) {
      t.hasAuthority_ = true;
      t.userInfo_ = ref->userInfo_;
      t.host_ = ref->host_;
      t.port_ = ref->port_;
      t.portText_ = ref->portText_;
      t.path_ = removeDotSegments(ref->path_);
      t.query_ = ref->query_;
    } else {
      t.hasAuthority_ = base.hasAuthority_;
      t.userInfo_ = base.userInfo_;
      t.host_ = base.host_;
      t.port_ = base.port_;
      t.portText_ = base.portText_;
      if (ref->path_.empty()) {
        t.path_ = base.path_;
        t.query_ = ref->query_ ? ref->query_ : base.query_;
      } else {
        if (ref->path_[0] == '/') {
          t.path_ = removeDotSegments(ref->path_);
        } else {
          std::string merged;
          if (base.hasAuthority_ && base.path_.empty()) {
            merged = "/" + ref->path_;
          } else {
            auto slash = base.path_.rfind('/');
            merged = (slash == std::string::npos ? std::string() : base.path_.substr(0, slash + 1)) +
                     ref->path_;
          }
          t.path_ = removeDotSegments(merged);
        }
        t.query_ = ref->query_;
      }
    }
  }
  t.fragment_ = ref->fragment_;
  // Removing dot segments can leave a path that would read back as something else:
  // "http:/..//evil.example/" must not turn into a host, and "./c:d" against a base
  // without a scheme must not turn into the scheme "c".
  if (!t.hasAuthority_ && t.path_.starts_with("//")) {
    t.path_ = "/." + t.path_;
  } else if (!t.scheme_ && !t.hasAuthority_) {
    auto colon = t.path_.find(':');
    if (colon != std::string::npos && colon < t.path_.find('/')) t.path_ = "./" + t.path_;
  }
  t.relative_ = std::string(text);
  t.absolute_ = t.recompose();
  t.base_ = std::make_shared<const URL>(base);
  return t;
}

std::string URL::recompose() const {
  std::string out;
  if (scheme_) out += *scheme_ + ":";
  if (hasAuthority_) {
    out += "//";
    if (userInfo_) out += *userInfo_ + "@";
    if (host_) {
      bool ipv6 = host_->find(':') != std::string::npos;
      out += ipv6 ? "[" + *host_ + "]" : *host_;
    }
    out += portText_;
  }
  out += path_;
  if (query_) out += "?" + *query_;
  if (fragment_) out += "#" + *fragment_;
  return out;
}

URL URL::fileURLWithPath(std::string_view path, bool isDirectory) {
  std::string absolute(path);
  if (absolute.empty() || absolute[0] != '/') {
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    std::string dir = ec ? std::string("/") : cwd.string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    absolute = dir + absolute;
  }
  if (isDirectory && absolute.back() != '/') absolute += '/';
  // Every byte outside kPathChars is escaped, so the text always parses.
  return *create("file://" + escapeWith(absolute, kPathChars));
}

URL URL::fileURLWithPath(std::string_view path) {
  std::error_code ec;
  bool dir = !path.empty() && std::filesystem::is_directory(std::filesystem::path(path), ec);
  return fileURLWithPath(path, dir);
}

std::optional<URL> URL::fromParts(const Parts& p) {
  if (!p.host && (p.port || p.user || p.password)) return std::nullopt;
  std::string text;
  if (p.scheme) text += *p.scheme + ":";
  if (p.host) {
    text += "//";
    if (p.user || p.password) {
      text += p.user.value_or("");
      if (p.password) text += ":" + *p.password;
      text += "@";
    }
    text += p.host->find(':') != std::string::npos ? "[" + *p.host + "]" : *p.host;
    if (p.port) text += ":" + std::to_string(*p.port);
    if (!p.path.empty() && p.path[0] != '/') text += "/";
  }
  text += p.path;
  if (p.query) text += "?" + *p.query;
  if (p.fragment) text += "#" + *p.fragment;
  auto url = create(text);
  // Parts that re-parse differently (a "?" inside the path, a port out of range, a
  // scheme that is not one) would silently change meaning: refuse them.
  if (!url || url->scheme_ != p.scheme || url->host_ != p.host || url->port_ != p.port ||
      url->query_ != p.query || url->fragment_ != p.fragment)
    return std::nullopt;
  if (url->path_ != p.path && url->path_ != "/" + p.path) return std::nullopt;
  return url;
}

std::optional<std::string> URL::user() const {
  if (!userInfo_) return std::nullopt;
  auto colon = userInfo_->find(':');
  return decodeOrKeep(userInfo_->substr(0, colon));
}

std::optional<std::string> URL::password() const {
  if (!userInfo_) return std::nullopt;
  auto colon = userInfo_->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return decodeOrKeep(userInfo_->substr(colon + 1));
}

std::string URL::path() const {
  std::string p = decodeOrKeep(path_);
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string URL::resourceSpecifier() const {
  if (!scheme_) return absolute_;
  return absolute_.substr(scheme_->size() + 1);
}

std::string URL::lastPathComponent() const {
  std::string p = path();
  if (p.empty() || p == "/") return p;
  auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string URL::pathExtension() const {
  std::string last = lastPathComponent();
  auto dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return last.substr(dot + 1);
}

bool URL::isFileURL() const {
  if (!scheme_ || scheme_->size() != 4) return false;
  std::string lower;
  for (char c : *scheme_) lower += static_cast<char>(c | 0x20);
  return lower == "file";
}

std::string addingPercentEscapes(std::string_view text) { return escapeWith(text, kUrlChars); }

std::string addingPercentEscapes(std::string_view text, std::string_view alsoEscape,
                                 std::string_view leaveUnescaped) {
  auto keep = kUrlChars;
  for (char c : alsoEscape) keep[static_cast<unsigned char>(c)] = false;
  for (char c : leaveUnescaped) keep[static_cast<unsigned char>(c)] = true;
  return escapeWith(text, keep);
}

std::string escapeQueryComponent(std::string_view text) {
  return addingPercentEscapes(text, "!*'();:@&=+$,/?%#[]");
}

std::optional<std::string> replacingPercentEscapes(std::string_view text, StringEncoding encoding) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    // A run of consecutive escapes decodes as one byte sequence of the encoding.
    std::string run;
    while (i < text.size() && text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      run += static_cast<char>(hi * 16 + lo);
      i += 3;
    }
    if (encoding == StringEncoding::ASCII) {
      for (char c : run)
        if (static_cast<unsigned char>(c) > 0x7F) return std::nullopt;
    } else if (!isValidUtf8(run)) {
      return std::nullopt;
    }
    out += run;
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> queryItems(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> items;
  while (true) {
    size_t amp = query.find('&');
    std::string_view piece = query.substr(0, amp);
    if (!piece.empty()) {
      size_t eq = piece.find('=');
      auto name = replacingPercentEscapes(piece.substr(0, eq));
      auto value = replacingPercentEscapes(eq == std::string_view::npos ? std::string_view()
                                                                        : piece.substr(eq + 1));
      if (name && value) items.emplace_back(std::move(*name), std::move(*value));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return items;
}

}  // namespace platform
