#pragma once
// The byte buffer under the JSON tokeniser: appended in pieces, read by position. Bytes are
// examined as unsigned values and never copied into characters; consumed bytes are dropped
// only when new data is appended, so the tokeniser can rewind to the start of a token it
// could not finish. Views handed out stay valid until the next appendData().
//
// When nothing is left over from earlier pieces, appended bytes are read where the caller
// keeps them instead of being copied; the caller must call retainRemainder() before those
// bytes go away, which copies only what has not been consumed yet.
// Not thread-safe: one parser owns it.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cadenzo {

class CZJsonUTF8Stream {
 public:
  CZJsonUTF8Stream();

  // Drops the bytes before the read position and appends `length` bytes.
  void appendData(const uint8_t* bytes, size_t length);
  // Copies the unread bytes into the stream's own buffer when it reads the caller's bytes.
  void retainRemainder();

  // The byte at the read position; false when none is left.
  bool getUnichar(uint8_t* ch) const {
    if (index_ >= length_) return false;
    *ch = bytes_[index_];
    return true;
  }
  // Moves past the current byte, then as getUnichar().
  bool getNextUnichar(uint8_t* ch) {
    ++index_;
    return getUnichar(ch);
  }
  // The run of bytes from the read position up to (not including) the next double quote,
  // backslash or byte below 0x20; the read position moves to that byte. False (and the
  // position unchanged) when the buffer ends before such a byte. `sawHighBytes` tells
  // whether the run holds bytes of 0x80 and above, so pure ASCII skips UTF-8 checks.
  bool getRetainedStringFragment(std::string_view* fragment, bool* sawHighBytes);
  void skip() { ++index_; }
  void skipWhitespace() {
    while (index_ < length_) {
      const uint8_t c = bytes_[index_];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') break;
      ++index_;
    }
  }
  bool haveRemainingCharacters(size_t count) const { return length_ - index_ >= count; }
  // When the bytes at the read position equal `chars`, moves past them and answers true.
  bool skipCharacters(const char* chars, size_t length);
  // Bytes [start, start + length) of the current buffer.
  std::string_view stringWithRange(size_t start, size_t length) const {
    return std::string_view(reinterpret_cast<const char*>(bytes_) + start, length);
  }
  size_t index() const { return index_; }
  void setIndex(size_t index) { index_ = index; }
  size_t length() const { return length_; }
  const uint8_t* bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> data_;
  bool borrowed_ = false;  // bytes_ points at the caller's bytes, not data_
  size_t index_ = 0;
  const uint8_t* bytes_ = nullptr;
  size_t length_ = 0;
};

}  // namespace cadenzo
