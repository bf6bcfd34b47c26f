#pragma once
// One-call JSON encoding for the Cadenzo client: an array or dictionary in, JSON text out.
// Keys in dictionary order (or sorted by their UTF-8 bytes with sortKeys); no blanks unless
// humanReadable (then a line feed and two blanks per level before every value, and one blank
// after ":"). The same value always gives the same bytes. Strings, numbers of every kind,
// booleans and null are written; data and dates are refused.
//
// Failure: std::nullopt with the reason in error() (and in the optional platform::Error of
// stringWithObjectError, domain kErrorDomain, code 0, reason as localized description).
// Thread safety: the settings and error may be read and set from any thread; one write at a
// time per writer object.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/value.h"

namespace cadenzo {

class CZJsonWriter {
 public:
  static constexpr const char* kErrorDomain = "org.pelvorine.CZJsonWriter.ErrorDomain";

  CZJsonWriter() = default;

  std::optional<std::string> stringWithObject(const platform::Value& value);
  // `error` may be null; it is set only on failure.
  std::optional<std::string> stringWithObjectError(const platform::Value& value,
                                                   platform::Error* error);
  std::optional<platform::Bytes> dataWithObject(const platform::Value& value);

  bool sortKeys() const { return sortKeys_.load(); }
  void setSortKeys(bool v) { sortKeys_.store(v); }
  bool humanReadable() const { return humanReadable_.load(); }
  void setHumanReadable(bool v) { humanReadable_.store(v); }
  unsigned maxDepth() const { return maxDepth_.load(); }
  void setMaxDepth(unsigned v) { maxDepth_.store(v); }
  std::string error() const;

 private:
  void setError(std::string error);

  std::atomic<bool> sortKeys_{false};
  std::atomic<bool> humanReadable_{false};
  std::atomic<unsigned> maxDepth_{32};
  mutable std::mutex errorMutex_;
  std::string error_;
};

// The category every object has: a fresh writer's stringWithObject().
std::optional<std::string> JSONRepresentation(const platform::Value& value);

}  // namespace cadenzo
