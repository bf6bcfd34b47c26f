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

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

OAHTTPResponseParser::OAHTTPResponseParser(OAHTTPResponseParserDelegate* delegate)
    : delegate_(delegate) {}

void OAHTTPResponseParser::reset() {
  ++generation_;
  line_.clear();
  sawCR_ = false;
  state_ = State::StatusLine;
  status_ = 0;
  chunked_ = false;
  contentLength_ = 0;
  bodyRead_ = 0;
  answerRead_ = 0;
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
  } else if (lowercase(name) == "transfer-encoding") {
    // The last coding decides how the body is framed; chunked then overrides any length.
    std::string value = lowercase(line.substr(colon + 1));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    chunked_ = value.size() >= 7 && value.compare(value.size() - 7, 7, "chunked") == 0;
  }
}

bool OAHTTPResponseParser::stop(int statusCode) {
  state_ = State::Stopped;
  delegate_->parseErrorStatusCode(statusCode);
  return false;
}

bool OAHTTPResponseParser::answerComplete() {
  const uint64_t generation = generation_;
  state_ = State::StatusLine;
  answerRead_ = 0;
  if (status_ == 200) {
    delegate_->responseParsedPersistentConnection(persistentConnection_);
  } else {
    delegate_->responseRefusedStatusCode(status_);
  }
  return generation_ == generation && state_ != State::Stopped;
}

bool OAHTTPResponseParser::lineComplete() {
  std::string line;
  line.swap(line_);
  switch (state_) {
    case State::StatusLine:
      // Anything but an HTTP status line means the stream is out of step with the answers.
      if (line.rfind("HTTP/", 0) != 0) return stop(500);
      contentLength_ = 0;
      bodyRead_ = 0;
      chunked_ = false;
      status_ = parseStatusLine(line);
      state_ = State::Headers;
      return true;
    case State::Headers:
      if (!line.empty()) {
        parseHeader(line);
        return true;
      }
      if (chunked_) {
        state_ = State::ChunkSize;
        return true;
      }
      // A length that can never be met would hold the connection until the time-out.
      if (contentLength_ < 0) return stop(500);
      if (contentLength_ > 0) {
        state_ = State::Body;
        bodyRead_ = 0;
        return true;
      }
      return answerComplete();
    case State::ChunkSize: {
      size_t digits = 0;
      long size = 0;
      for (; digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits])); ++digits) {
        if (digits == 15) return stop(500);  // no chunk of ours is that large
        size = size * 16 + (std::isdigit(static_cast<unsigned char>(line[digits]))
                                ? line[digits] - '0'
                                : std::tolower(static_cast<unsigned char>(line[digits])) - 'a' + 10);
      }
      if (digits == 0 || (digits < line.size() && line[digits] != ';' && line[digits] != ' ' &&
                          line[digits] != '\t')) {
        return stop(500);
      }
      contentLength_ = size;
      bodyRead_ = 0;
      state_ = size == 0 ? State::Trailers : State::ChunkData;
      return true;
    }
    case State::ChunkEnd:
      if (!line.empty()) return stop(500);
      state_ = State::ChunkSize;
      return true;
    case State::Trailers:
      if (!line.empty()) return true;
      return answerComplete();
    case State::Body:
    case State::ChunkData:
    case State::Stopped: break;
  }
  return false;
}

void OAHTTPResponseParser::parseResponse(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (state_ != State::Stopped && ++answerRead_ > kMaxAnswerLength) {
      stop(500);
      return;
    }
    switch (state_) {
      case State::Stopped: return;
      case State::Body:
        if (++bodyRead_ == contentLength_ && !answerComplete()) return;
        break;
      case State::ChunkData:
        if (++bodyRead_ == contentLength_) state_ = State::ChunkEnd;
        break;
      case State::StatusLine:
      case State::Headers:
      case State::ChunkSize:
      case State::ChunkEnd:
      case State::Trailers:
        if (c == '\n' && sawCR_) {
          line_.pop_back();  // the CR
          sawCR_ = false;
          if (!lineComplete()) return;
          break;
        }
        sawCR_ = c == '\r';
        line_.push_back(c);
        if (line_.size() > kMaxLineLength) {
          stop(500);
          return;
        }
        break;
    }
  }
}

}  // namespace analytics
