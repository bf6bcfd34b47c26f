#pragma once
// One-call JSON decoding for the Cadenzo client: text or bytes in, the top-level array or
// dictionary out. Object members keep document order. Numbers keep their kind: integers of
// up to 18 digits are unsigned (or signed when negative); numbers with a fraction, an
// exponent or 19 digits and more are decimals (exact text, no exponent form); a number whose
// decimal exponent lies beyond -128 to 127 is refused. Only whitespace may follow the
// document.
//
// Failure: std::nullopt, with the reason in error() (and in the optional platform::Error of
// objectWithStringError, domain kErrorDomain, code 0, reason as localized description).
// Thread safety: maxDepth and error may be read and set from any thread; one parse at a time
// per parser object (separate parsers are independent).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/value.h"

namespace cadenzo {

class CZJsonParser {
 public:
  static constexpr const char* kErrorDomain = "org.pelvorine.CZJsonJsonParser.ErrorDomain";

  CZJsonParser() = default;

  // A null `bytes` stands for no data at all ("Input was 'nil'").
  std::optional<platform::Value> objectWithData(const uint8_t* bytes, size_t length);
  std::optional<platform::Value> objectWithData(const platform::Bytes& data) {
    return objectWithData(data.data() ? data.data() : reinterpret_cast<const uint8_t*>(""),
                          data.size());
  }
  std::optional<platform::Value> objectWithString(std::string_view text) {
    return objectWithData(reinterpret_cast<const uint8_t*>(text.data() ? text.data() : ""),
                          text.size());
  }
  // `error` may be null; it is set only on failure.
  std::optional<platform::Value> objectWithStringError(std::string_view text,
                                                       platform::Error* error);

  unsigned maxDepth() const { return maxDepth_.load(); }
  void setMaxDepth(unsigned maxDepth) { maxDepth_.store(maxDepth); }
  std::string error() const;

 private:
  void setError(std::string error);

  std::atomic<unsigned> maxDepth_{32};
  mutable std::mutex errorMutex_;
  std::string error_;
};

// The string category: a fresh parser's objectWithString().
std::optional<platform::Value> JSONValue(std::string_view text);

}  // namespace cadenzo
