#include "OAHTTPResponseParser.h"

#include <algorithm>
#include <cctype>

namespace analytics {

namespace {

// atoi over at most `limit` characters: leading blanks, an optional sign, digits.
long leadingNumber(const std::string& text, size_t from, size_t limit) {
  size_t end = std::min(text.size(), from + limit);
  size_t i = from;
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long value = 0;
  for (; i < end && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

OAHTTPResponseParser::OAHTTPResponseParser(OAHTTPResponseParserDelegate* delegate)
    : delegate_(delegate) {}

void OAHTTPResponseParser::reset() {
  ++generation_;
  line_.clear();
  sawCR_ = false;
  state_ = State::StatusLine;
  contentLength_ = 0;
  bodyRead_ = 0;
}

int OAHTTPResponseParser::parseStatusLine(const std::string& line) {
  size_t firstBlank = line.find(' ');
  if (firstBlank == std::string::npos) return 500;
  if (line.compare(0, firstBlank, "HTTP/1.0") == 0) persistentConnection_ = false;
  if (line.find(' ', firstBlank + 1) == std::string::npos) return 500;
  return static_cast<int>(leadingNumber(line, firstBlank + 1, 3));
}

void OAHTTPResponseParser::parseHeader(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return;
  std::string name = line.substr(0, std::min<size_t>(colon, 31));
  if (name == "Content-Length") {
    contentLength_ = leadingNumber(line, colon + 1, 15);
  } else if (name == "Connection") {
    size_t v = colon + 1;
    while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
    if (line.substr(v, 15) == "close") persistentConnection_ = false;
  }
}

bool OAHTTPResponseParser::lineComplete() {
  const uint64_t generation = generation_;
  std::string line;
  line.swap(line_);
  if (state_ == State::StatusLine) {
    contentLength_ = 0;
    bodyRead_ = 0;
    int status = parseStatusLine(line);
    if (status != 200) {
      state_ = State::Stopped;
      delegate_->parseErrorStatusCode(status);
      return false;
    }
    state_ = State::Headers;
    return true;
  }
  if (!line.empty()) {
    parseHeader(line);
    return true;
  }
  if (contentLength_ < 0) {
    // A length that can never be met would hold the connection until the time-out.
    state_ = State::Stopped;
    delegate_->parseErrorStatusCode(500);
    return false;
  }
  if (contentLength_ > 0) {
    state_ = State::Body;
    bodyRead_ = 0;
    return true;
  }
  state_ = State::StatusLine;
  delegate_->responseParsedPersistentConnection(persistentConnection_);
  return generation_ == generation && state_ != State::Stopped;
}

void OAHTTPResponseParser::parseResponse(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(bytes[i]);
    switch (state_) {
      case State::Stopped: return;
      case State::Body:
        if (++bodyRead_ == contentLength_) {
          const uint64_t generation = generation_;
          state_ = State::StatusLine;
          delegate_->responseParsedPersistentConnection(persistentConnection_);
          if (generation_ != generation || state_ == State::Stopped) return;
        }
        break;
      case State::StatusLine:
      case State::Headers:
        if (c == '\n' && sawCR_) {
          line_.pop_back();  // the CR
          sawCR_ = false;
          if (!lineComplete()) return;
          break;
        }
        sawCR_ = c == '\r';
        line_.push_back(c);
        if (line_.size() > kMaxLineLength) {
          state_ = State::Stopped;
          delegate_->parseErrorStatusCode(500);
          return;
        }
        break;
    }
  }
}

}  // namespace analytics
