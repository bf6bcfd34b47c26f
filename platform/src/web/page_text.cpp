#include <cctype>

#include "platform/text_quoting.h"
#include "web_view_impl.h"

namespace platform::web {
namespace {

// Page URLs may hold characters the URL parser refuses (spaces, quotes, non-ASCII, a "%"
// that starts no escape): escape those, as a browser does, and leave everything else
// (escapes included) alone.
std::string escapeForURL(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  auto isHex = [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool strayPercent = c == '%' && !(i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2]));
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}' || strayPercent) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string schemeOf(const std::string& url) {
  auto u = URL::create(url);
  return u && u->scheme() ? lowered(*u->scheme()) : std::string();
}

std::optional<std::string> resolve(const std::string& text, const std::string& base) {
  auto baseURL = URL::create(base);
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\n' || trimmed.front() == '\t'))
    trimmed.erase(trimmed.begin());
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\n' || trimmed.back() == '\t'))
    trimmed.pop_back();
  for (const std::string& candidate : {trimmed, escapeForURL(trimmed)}) {
    auto u = baseURL ? URL::create(candidate, *baseURL) : URL::create(candidate);
    if (u) return u->absoluteString();
  }
  return std::nullopt;
}

std::string textFromBytes(const Bytes& data, const std::string& encodingName) {
  std::string enc = lowered(encodingName);
  bool latin1 = enc == "iso-8859-1" || enc == "latin1" || enc == "iso_8859-1" ||
                enc == "windows-1252" || enc == "cp1252";
  std::string out;
  out.reserve(data.size());
  for (uint8_t b : data) {
    if (latin1 && b >= 0x80) {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::string markupFor(const std::string& text, const std::string& mimeType) {
  std::string mime = lowered(mimeType);
  if (mime.empty() || mime == "text/html" || mime == "application/xhtml+xml") return text;
  if (mime.rfind("text/", 0) == 0) return "<html><body><pre>" + escapeHTML(text) + "</pre></body></html>";
  return "<html><body></body></html>";
}

bool isScriptType(const HtmlElement& e) {
  const std::string* type = e.attribute("type");
  const std::string* language = e.attribute("language");
  if (type && !type->empty()) {
    std::string t = lowered(*type);
    auto semicolon = t.find(';');
    if (semicolon != std::string::npos) t.resize(semicolon);
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t == "text/javascript" || t == "application/javascript" || t == "text/ecmascript" ||
           t == "application/ecmascript" || t == "application/x-javascript" ||
           t == "text/x-javascript" || t == "text/jscript" || t == "module";
  }
  if (language && !language->empty()) return lowered(*language).rfind("javascript", 0) == 0;
  return true;
}

Error makeError(const char* domain, long code, const std::string& description,
                const std::string& url) {
  Dictionary info;
  info.set(kLocalizedDescriptionKey, Value(description));
  info.set("NSErrorFailingURLStringKey", Value(url));
  return Error{domain, code, Value(std::move(info))};
}

URLRequest BodyFetcher::bounded(URLRequest request) {
  if (!request.deadlineInterval()) request.setDeadlineInterval(kURLDefaultDeadlineInterval);
  if (!request.maximumContentLength()) request.setMaximumContentLength(kWebViewMaximumContentLength);
  return request;
}

std::optional<URLRequest> BodyFetcher::connectionWillSendRequestRedirectResponse(
    URLConnection&, const URLRequest& request, const HTTPURLResponse* redirect) {
  if (redirect && redirect_ && !redirect_(request)) {
    finish(false, request.url(), {}, makeError(kWebKitErrorDomain, kWebKitErrorFrameLoadInterrupted,
                                               "Frame load interrupted", request.url()));
    return std::nullopt;
  }
  url_ = request.url();
  return request;
}

void BodyFetcher::connectionDidReceiveResponse(URLConnection&, const HTTPURLResponse& response) {
  response_ = response;
  if (!response.url().empty()) url_ = response.url();
  body_.clear();
}

void BodyFetcher::connectionDidReceiveData(URLConnection&, const Bytes& data) {
  body_.insert(body_.end(), data.begin(), data.end());
}

void BodyFetcher::connectionDidFinishLoading(URLConnection&) { finish(true, url_, response_, {}); }

void BodyFetcher::connectionDidFailWithError(URLConnection&, const Error& error) {
  finish(false, url_, response_, error);
}

void BodyFetcher::finish(bool ok, const std::string& url, const HTTPURLResponse& response, const Error& error) {
  Done done = std::move(done_);
  done_ = nullptr;
  if (done) done(ok, url, response, body_, error);
}

}  // namespace platform::web
