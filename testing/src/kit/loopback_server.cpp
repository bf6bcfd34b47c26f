// The scripted HTTP server is a layer over RawTCPServer rather than a general HTTP library:
// it has to record headers in the order they were sent and to drop a connection before any
// byte of an answer, which a library's request model hides.
#include "testing/loopback_server.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <deque>
#include <mutex>

#include <zlib.h>

#include "testing/raw_tcp_server.h"

namespace testkit {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecode(std::string_view s, bool plusIsSpace) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 &&
        hexValue(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
      i += 2;
    } else if (plusIsSpace && s[i] == '+') {
      out.push_back(' ');
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") as seconds since 1970, or -1.
long long parseHTTPDate(const std::string& text) {
  std::tm tm{};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
  if (!end) return -1;
  return static_cast<long long>(timegm(&tm));
}

// The gzip member format (RFC 1952) of `plain`; window bits 15 + 16 ask zlib for its header.
std::string gzipped(const std::string& plain) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return plain;
  std::string out(deflateBound(&z, plain.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END ? out : plain;
}

bool hasHeader(const HeaderList& headers, std::string_view name) {
  return findHeader(headers, name).has_value();
}

struct PathScript {
  std::optional<LoopbackServer::Handler> handler;
  std::deque<ScriptedAnswer> answers;
};

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  return findHeader(headers, name);
}

std::vector<std::pair<std::string, std::string>> RecordedRequest::queryItems() const {
  std::vector<std::pair<std::string, std::string>> items;
  std::string_view rest = query;
  while (!rest.empty()) {
    size_t amp = rest.find('&');
    std::string_view item = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    if (item.empty()) continue;
    size_t eq = item.find('=');
    items.emplace_back(percentDecode(item.substr(0, eq), true),
                       eq == std::string_view::npos ? "" : percentDecode(item.substr(eq + 1), true));
  }
  return items;
}

std::optional<std::string> RecordedRequest::queryItem(std::string_view name) const {
  for (auto& [k, v] : queryItems()) {
    if (k == name) return v;
  }
  return std::nullopt;
}

ScriptedAnswer ScriptedAnswer::text(std::string body, int status) {
  ScriptedAnswer a;
  a.status = status;
  a.body = std::move(body);
  return a;
}

ScriptedAnswer ScriptedAnswer::json(std::string body, int status) {
  ScriptedAnswer a = text(std::move(body), status);
  a.headers.emplace_back("Content-Type", "application/json");
  return a;
}

ScriptedAnswer ScriptedAnswer::html(std::string body, int status) {
  ScriptedAnswer a = text(std::move(body), status);
  a.headers.emplace_back("Content-Type", "text/html");
  return a;
}

ScriptedAnswer ScriptedAnswer::redirect(std::string location, int status) {
  ScriptedAnswer a;
  a.status = status;
  a.redirectTo = std::move(location);
  return a;
}

struct LoopbackServer::Impl {
  // Its record of requests is the only one: what clearRequests() forgets is gone.
  RawTCPServer server;
  mutable std::mutex mutex;  // guards the scripts
  std::vector<std::pair<std::string, PathScript>> scripts;
  ScriptedAnswer defaultAnswer = ScriptedAnswer::text("", 404);

  static const char* reasonFor(int status) {
    switch (status) {
      case 200: return "OK";
      case 201: return "Created";
      case 204: return "No Content";
      case 301: return "Moved Permanently";
      case 302: return "Found";
      case 303: return "See Other";
      case 304: return "Not Modified";
      case 307: return "Temporary Redirect";
      case 308: return "Permanent Redirect";
      case 400: return "Bad Request";
      case 403: return "Forbidden";
      case 404: return "Not Found";
      case 500: return "Internal Server Error";
      case 503: return "Service Unavailable";
      default: return "Status";
    }
  }

  ScriptedAnswer choose(const RecordedRequest& r) {
    std::optional<Handler> handler;
    {
      std::lock_guard<std::mutex> lock(mutex);
      auto it = std::find_if(scripts.begin(), scripts.end(), [&](auto& s) { return s.first == r.path; });
      if (it == scripts.end()) return defaultAnswer;
      if (it->second.handler) {
        handler = it->second.handler;
      } else if (!it->second.answers.empty()) {
        ScriptedAnswer a = it->second.answers.front();
        if (it->second.answers.size() > 1) it->second.answers.pop_front();
        return a;
      } else {
        return defaultAnswer;
      }
    }
    return (*handler)(r);
  }

  static RecordedRequest recorded(const RawRequest& raw) {
    RecordedRequest r;
    r.method = raw.method;
    size_t q = raw.target.find('?');
    r.path = percentDecode(std::string_view(raw.target).substr(0, q), false);
    if (q != std::string::npos) r.query = raw.target.substr(q + 1);
    r.headers = raw.headers;
    r.body = raw.body;
    r.remoteAddress = "127.0.0.1";
    r.remotePort = raw.remotePort;
    r.connection = raw.connection;
    return r;
  }

  RawAnswer answer(const RawRequest& raw) {
    const RecordedRequest r = recorded(raw);
    ScriptedAnswer a = choose(r);

    RawAnswer out;
    out.delay = a.delay;
    out.hold = a.hold;
    if (a.stall) {
      out.stall = true;
      return out;
    }
    if (a.dropBeforeHead) {
      out.raw = "";
      out.closeAfter = true;
      return out;
    }
    int status = a.status;
    HeaderList headers = a.headers;
    std::string body = a.body;
    if (a.redirectTo && !hasHeader(headers, "Location")) headers.emplace_back("Location", *a.redirectTo);
    if (a.lastModified) {
      if (!hasHeader(headers, "Last-Modified")) headers.emplace_back("Last-Modified", *a.lastModified);
      auto since = r.header("If-Modified-Since");
      long long modified = parseHTTPDate(*a.lastModified);
      if (since && modified >= 0) {
        long long sinceTime = parseHTTPDate(*since);
        if (sinceTime >= modified) {
          status = 304;
          body.clear();
        }
      }
    }
    const bool noBodyStatus = status == 304 || status == 204 || (status >= 100 && status < 200);
    if (noBodyStatus) body.clear();
    if (a.gzip && !noBodyStatus) {
      body = gzipped(body);
      if (!hasHeader(headers, "Content-Encoding")) headers.emplace_back("Content-Encoding", "gzip");
    }
    if (!body.empty() && !hasHeader(headers, "Content-Type")) headers.emplace_back("Content-Type", "text/plain");

    std::string connection = raw.header("Connection").value_or("");
  for (char& ch : connection) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const bool closing = raw.version == "HTTP/1.0" || connection == "close";
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonFor(status) + "\r\n";
    for (const auto& [k, v] : headers) head += k + ": " + v + "\r\n";
    std::string encoded = raw.method == "HEAD" ? "" : body;
    if (a.chunked && !noBodyStatus) {
      head += "Transfer-Encoding: chunked\r\n";
      encoded.clear();
      size_t step = std::max<size_t>(1, a.chunkSize);
      if (raw.method != "HEAD") {
        for (size_t pos = 0; pos < body.size(); pos += step) {
          size_t n = std::min(step, body.size() - pos);
          char size[32];
          snprintf(size, sizeof size, "%zx\r\n", n);
          encoded += size + body.substr(pos, n) + "\r\n";
        }
        encoded += "0\r\n\r\n";
      }
    } else if (!noBodyStatus && !hasHeader(headers, "Content-Length")) {
      head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    if (closing) head += "Connection: close\r\n";
    head += "\r\n";
    if (a.dropAfterBodyBytes) {
      out.raw = head + encoded.substr(0, std::min(*a.dropAfterBodyBytes, encoded.size()));
      out.closeAfter = true;
      return out;
    }
    out.raw = head + encoded;
    out.closeAfter = closing;
    if (a.trickle) {
      out.writeSize = 1;
      out.pause = *a.trickle;
      out.wholeFirst = head.size();
    }
    return out;
  }

  PathScript& scriptLocked(const std::string& path) {
    auto it = std::find_if(scripts.begin(), scripts.end(), [&](auto& s) { return s.first == path; });
    if (it != scripts.end()) return it->second;
    scripts.emplace_back(path, PathScript{});
    return scripts.back().second;
  }
};

LoopbackServer::LoopbackServer() : impl_(std::make_unique<Impl>()) {
  Impl* d = impl_.get();
  impl_->server.setResponder([d](const RawRequest& r) { return d->answer(r); });
}

LoopbackServer::~LoopbackServer() { stop(); }

uint16_t LoopbackServer::port() const { return impl_->server.port(); }

size_t LoopbackServer::trickledBytes() const { return impl_->server.pacedBytesSent(); }

std::string LoopbackServer::baseURL() const { return "http://127.0.0.1:" + std::to_string(port()); }

std::string LoopbackServer::url(std::string_view pathAndQuery) const {
  return baseURL() + std::string(pathAndQuery);
}

void LoopbackServer::setAnswer(const std::string& path, ScriptedAnswer answer) {
  setAnswers(path, {std::move(answer)});
}

void LoopbackServer::setAnswers(const std::string& path, std::vector<ScriptedAnswer> answers) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  PathScript& s = impl_->scriptLocked(path);
  s.handler.reset();
  s.answers.assign(answers.begin(), answers.end());
}

void LoopbackServer::setHandler(const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->scriptLocked(path).handler = std::move(handler);
}

void LoopbackServer::setRedirectChain(const std::vector<std::string>& paths, int status,
                                      ScriptedAnswer final) {
  for (size_t i = 0; i + 1 < paths.size(); ++i) setAnswer(paths[i], ScriptedAnswer::redirect(paths[i + 1], status));
  if (!paths.empty()) setAnswer(paths.back(), std::move(final));
}

void LoopbackServer::setDefaultAnswer(ScriptedAnswer answer) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->defaultAnswer = std::move(answer);
}

void LoopbackServer::clearScripts() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->scripts.clear();
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
  std::vector<RecordedRequest> out;
  for (const auto& raw : impl_->server.requests()) out.push_back(Impl::recorded(raw));
  return out;
}

std::vector<RecordedRequest> LoopbackServer::requestsTo(std::string_view path) const {
  std::vector<RecordedRequest> out = requests();
  std::erase_if(out, [&](const RecordedRequest& r) { return r.path != path; });
  return out;
}

size_t LoopbackServer::requestCount() const { return impl_->server.requestCount(); }

void LoopbackServer::clearRequests() { impl_->server.clearRequests(); }

void LoopbackServer::stop() { impl_->server.stop(); }

}  // namespace testkit
