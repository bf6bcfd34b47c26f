#pragma once
// The streaming JSON writer: each write is checked against the current state (a
// CZJsonStreamWriterState singleton), preceded by the state's separator (and, when
// human-readable, its whitespace) and handed to the delegate as bytes. Strings are escaped
// once and kept in a process-wide cache. Any failed write answers false and leaves its
// reason in error(); the caller stops there.
//
// Ownership: the delegate is not retained (weak). Not thread-safe: one thread drives a
// writer (the string cache itself is shared safely between threads).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/value.h"

namespace cadenzo {

class CZJsonStreamWriter;
class CZJsonStreamWriterState;

class CZJsonStreamWriterDelegate {
 public:
  virtual ~CZJsonStreamWriterDelegate() = default;
  virtual void writerAppendBytesLength(CZJsonStreamWriter& writer, const uint8_t* bytes,
                                       size_t length) = 0;
};

class CZJsonStreamWriter {
 public:
  CZJsonStreamWriter();

  bool writeObject(const platform::Dictionary& dict);
  bool writeArray(const platform::Array& array);
  bool writeObjectOpen();
  bool writeObjectClose();
  bool writeArrayOpen();
  bool writeArrayClose();
  bool writeNull();
  bool writeBool(bool x);
  // Any value: containers, strings, numbers, booleans, null. Data and dates are refused.
  bool writeValue(const platform::Value& value);
  bool writeString(std::string_view string);
  // Integers "%lld", unsigned "%llu", decimals as their text, doubles "%.17g", booleans
  // true/false; infinities and NaN (double or decimal) are refused.
  bool writeNumber(const platform::Value& number);
  void appendBytesLength(const void* bytes, size_t length);

  // 0 means no limit: writing takes no stack per level of nesting.
  unsigned maxDepth() const { return maxDepth_; }
  void setMaxDepth(unsigned maxDepth) { maxDepth_ = maxDepth; }
  bool sortKeys() const { return sortKeys_; }
  void setSortKeys(bool v) { sortKeys_ = v; }
  bool humanReadable() const { return humanReadable_; }
  void setHumanReadable(bool v) { humanReadable_ = v; }
  std::weak_ptr<CZJsonStreamWriterDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<CZJsonStreamWriterDelegate> d) { delegate_ = std::move(d); }
  const CZJsonStreamWriterState* state() const { return state_; }
  void setState(const CZJsonStreamWriterState* state) { state_ = state; }
  const std::vector<const CZJsonStreamWriterState*>& stateStack() const { return stateStack_; }
  const std::string& error() const { return error_; }
  void setError(std::string error) { error_ = std::move(error); }

  // The quoted, escaped UTF-8 form of a string, as written (exposed for tests and the
  // cache). Thread-safe.
  static std::string escapedString(std::string_view string);
  // Drops every cached string (what memory pressure does). Thread-safe.
  static void clearStringCache();

 private:
  bool prepareValue(bool checkKey);
  // An array or a dictionary (the other null) with all it holds.
  bool writeContainer(const platform::Array* array, const platform::Dictionary* dictionary);
  bool closeContainer(const char* bracket, bool checkKey);

  unsigned maxDepth_ = 32;
  std::vector<const CZJsonStreamWriterState*> stateStack_;
  const CZJsonStreamWriterState* state_;
  std::weak_ptr<CZJsonStreamWriterDelegate> delegate_;
  bool sortKeys_ = false;
  bool humanReadable_ = false;
  std::string error_;
};

}  // namespace cadenzo
