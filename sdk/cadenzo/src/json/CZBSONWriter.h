#pragma once
// A minimal BSON document writer: string and null elements, then finish() to terminate
// the document and store its length. One writer per document. Refused elements leave the
// buffer exactly as it was, so a document with a refused element still finishes into a
// well-formed document without that element.
// Not thread-safe: one thread writes a document.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/value.h"

namespace cadenzo {

class CZBSONWriter {
 public:
  // Error flags.
  enum Flag : unsigned {
    kSizeOverflow = 1,
    kInvalidUTF8 = 2,
    kKeyContainsDot = 4,
    kKeyStartsWithDollar = 8,
    kAlreadyFinished = 16,
  };
  static constexpr int32_t kMaxSize = INT32_MAX;

  CZBSONWriter();

  // Each answers true when the element was written.
  bool appendString(std::string_view key, std::string_view value);
  bool appendNull(std::string_view key);
  // Appends the terminating 0 and stores the length; a second call does nothing.
  void finish();

  bool isFinished() const { return finished_; }
  unsigned flags() const { return flags_; }
  // The finished document (as many bytes as its stored length); empty before finish().
  platform::Bytes data() const;
  // Allocated bytes.
  int32_t size() const { return size_; }

  // The growth rule: room for `need` more bytes at `position` in a buffer of `size`.
  // The same size when it fits; else 1.5 × (size + need), truncated, capped at kMaxSize;
  // nullopt when size + need already reaches kMaxSize (the document cannot grow).
  static std::optional<int32_t> grownSize(int32_t size, int32_t position, int64_t need);

 private:
  bool ensureRoom(int64_t need);
  bool appendElementHeader(uint8_t type, std::string_view key, int64_t dataSize);
  void appendBytes(const void* bytes, size_t length);
  void appendInt32(int32_t v);

  std::vector<uint8_t> buffer_;
  int32_t position_ = 4;  // after the length, written by finish()
  int32_t size_ = 128;
  bool finished_ = false;
  unsigned flags_ = 0;
};

}  // namespace cadenzo
