#include "testing/analytics_collector.h"

#include <charconv>
#include <mutex>

#include "platform/url.h"

namespace testkit {

struct AnalyticsCollector::State {
  std::mutex mutex;
  Style style = Style::Normal;
  int status = 200;
  std::function<bool(const AnalyticsHit&)> refuse;
  int refusalStatus = 400;
  std::optional<size_t> stallAfter;
  bool cutNext = false;
  size_t writeSize = 0;
  bool chunked = false;
  std::optional<std::string> raw;
  size_t answers = 0;
  std::vector<AnalyticsHit> hits;
};

namespace {

// Undoes the sender's "'0" "'1" "'2" "'3" escapes.
std::string extUnescape(const std::string& text) {
  static const char kEscaped[] = {'\'', ')', '*', '!'};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3') {
      out.push_back(kEscaped[text[i + 1] - '0']);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> AnalyticsHit::raw(const std::string& key) const {
  for (const auto& [k, v] : rawQuery) {
    if (k == key) return v;
  }
  return std::nullopt;
}

std::optional<std::string> AnalyticsHit::param(const std::string& key) const {
  auto value = raw(key);
  if (!value) return std::nullopt;
  return platform::replacingPercentEscapes(*value);
}

std::optional<AnalyticsHit::EventFields> AnalyticsHit::event() const {
  auto text = param("ovae");
  if (!text || text->rfind("5(", 0) != 0) return std::nullopt;
  size_t close = text->find(')', 2);
  if (close == std::string::npos) return std::nullopt;
  std::vector<std::string> fields;
  std::string inner = text->substr(2, close - 2);
  size_t from = 0;
  for (size_t star; (star = inner.find('*', from)) != std::string::npos; from = star + 1) {
    fields.push_back(extUnescape(inner.substr(from, star - from)));
  }
  fields.push_back(extUnescape(inner.substr(from)));
  if (fields.size() < 2 || fields.size() > 3) return std::nullopt;
  EventFields out{fields[0], fields[1], std::nullopt, std::nullopt};
  if (fields.size() == 3) out.label = fields[2];
  if (close + 1 < text->size() && (*text)[close + 1] == '(') {
    size_t end = text->find(')', close + 1);
    if (end == std::string::npos) return std::nullopt;
    // A malformed value makes the hit malformed; it must not throw out of a test's check.
    long value = 0;
    const char* first = text->data() + close + 2;
    const char* last = text->data() + end;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    out.value = value;
  }
  return out;
}

AnalyticsHit AnalyticsCollector::parseHit(const RawRequest& request) {
  AnalyticsHit hit;
  hit.request = request;
  size_t q = request.target.find('?');
  hit.path = request.target.substr(0, q);
  if (q == std::string::npos) return hit;
  std::string query = request.target.substr(q + 1);
  size_t from = 0;
  while (from <= query.size()) {
    size_t amp = query.find('&', from);
    std::string piece =
        query.substr(from, amp == std::string::npos ? std::string::npos : amp - from);
    if (!piece.empty()) {
      size_t eq = piece.find('=');
      hit.rawQuery.emplace_back(piece.substr(0, eq),
                                eq == std::string::npos ? "" : piece.substr(eq + 1));
    }
    if (amp == std::string::npos) break;
    from = amp + 1;
  }
  return hit;
}

const std::string& AnalyticsCollector::pixel() {
  static const std::string gif(
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00"
      ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
      43);
  return gif;
}

AnalyticsCollector::AnalyticsCollector() : state_(std::make_shared<State>()) {
  server_.setResponder([this](const RawRequest& request) { return answer(request); });
}

AnalyticsCollector::~AnalyticsCollector() { stop(); }

RawAnswer AnalyticsCollector::answer(const RawRequest& request) {
  AnalyticsHit hit = parseHit(request);
  hit.requestsReadWhenAnswered = server_.requestCount();
  std::lock_guard<std::mutex> lock(state_->mutex);
  RawAnswer a;
  if (state_->stallAfter) {
    if (*state_->stallAfter == 0) {
      a.stall = true;
      return a;
    }
    --*state_->stallAfter;
  }
  ++state_->answers;
  a.writeSize = state_->writeSize;
  if (state_->raw) {
    a.raw = state_->raw;
    return a;
  }
  a.status = state_->status;
  if (hit.path != "/__ova.gif") a.status = 404;
  if (state_->refuse && state_->refuse(hit)) a.status = state_->refusalStatus;
  switch (state_->style) {
    case Style::Normal: break;
    case Style::HTTP10:
      a.version = "HTTP/1.0";
      a.closeAfter = true;
      break;
    case Style::ConnectionClose: a.connectionClose = true; break;
    case Style::NoReasonPhrase:
      a.raw = "HTTP/1.1 " + std::to_string(a.status) + "\r\nContent-Length: 0\r\n\r\n";
      break;
  }
  if (a.status == 200) {
    a.reason = "OK";
    a.headers.emplace_back("Content-Type", "image/gif");
    a.body = pixel();
    if (state_->chunked) {
      a.contentLength = false;
      a.headers.emplace_back("Transfer-Encoding", "chunked");
      a.body = "a;name=value\r\n" + a.body.substr(0, 10) + "\r\n" +
               "21\r\n" + a.body.substr(10) + "\r\n0\r\nX-Trailer: 1\r\n\r\n";
    }
    if (state_->style != Style::NoReasonPhrase && !state_->cutNext) state_->hits.push_back(std::move(hit));
  } else {
    a.reason = a.status == 503 ? "Service Unavailable" : "Refused";
  }
  if (state_->cutNext) {
    state_->cutNext = false;
    const std::string whole = a.serialize();
    a.raw = whole.substr(0, whole.size() / 2);
    a.closeAfter = true;
  }
  return a;
}

uint16_t AnalyticsCollector::port() const { return server_.port(); }

void AnalyticsCollector::setRawAnswer(std::optional<std::string> bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->raw = std::move(bytes);
}

void AnalyticsCollector::setStyle(Style style) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->style = style;
}

void AnalyticsCollector::setStatus(int status) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->status = status;
}

void AnalyticsCollector::setRefusal(std::function<bool(const AnalyticsHit&)> refuse, int status) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->refuse = std::move(refuse);
  state_->refusalStatus = status;
}

void AnalyticsCollector::setCloseAfterAnswers(size_t k) { server_.setCloseAfterAnswers(k); }

void AnalyticsCollector::setStallAfter(std::optional<size_t> n) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stallAfter = n;
}

void AnalyticsCollector::cutNextAnswer() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->cutNext = true;
}

void AnalyticsCollector::setWriteSize(size_t bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->writeSize = bytes;
}

void AnalyticsCollector::setChunked(bool chunked) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->chunked = chunked;
}

std::vector<AnalyticsHit> AnalyticsCollector::hits() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->hits;
}

size_t AnalyticsCollector::hitCount() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->hits.size();
}

size_t AnalyticsCollector::answerCount() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->answers;
}

std::vector<RawRequest> AnalyticsCollector::requests() const { return server_.requests(); }

size_t AnalyticsCollector::connectionCount() const { return server_.connectionCount(); }

void AnalyticsCollector::closeConnections() { server_.closeConnections(); }

void AnalyticsCollector::stop() { server_.stop(); }

}  // namespace testkit
