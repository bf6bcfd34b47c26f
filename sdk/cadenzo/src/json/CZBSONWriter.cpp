#include "CZBSONWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/utf8.h"

namespace cadenzo {

namespace {

[[noreturn]] void allocationFailed(const char* what) {
  std::fprintf(stderr, "error: %s\n", what);
  std::exit(-5);
}

}  // namespace

CZBSONWriter::CZBSONWriter() {
  try {
    buffer_.resize(static_cast<size_t>(size_));
  } catch (const std::bad_alloc&) {
    allocationFailed("malloc() failed");
  }
}

std::optional<int32_t> CZBSONWriter::grownSize(int32_t size, int32_t position, int64_t need) {
  if (position + need <= size) return size;
  int64_t wanted = static_cast<int64_t>(size) + need;
  if (wanted >= kMaxSize) return std::nullopt;
  int64_t grown = static_cast<int64_t>(1.5 * static_cast<double>(wanted));
  return grown > kMaxSize ? kMaxSize : static_cast<int32_t>(grown);
}

bool CZBSONWriter::ensureRoom(int64_t need) {
  auto grown = grownSize(size_, position_, need);
  if (!grown) {
    flags_ |= kSizeOverflow;
    return false;
  }
  if (*grown != size_) {
    try {
      buffer_.resize(static_cast<size_t>(*grown));
    } catch (const std::bad_alloc&) {
      allocationFailed("realloc() failed");
    }
    size_ = *grown;
  }
  return true;
}

void CZBSONWriter::appendBytes(const void* bytes, size_t length) {
  if (length) std::memcpy(buffer_.data() + position_, bytes, length);
  position_ += static_cast<int32_t>(length);
}

void CZBSONWriter::appendInt32(int32_t v) {
  uint8_t le[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                   static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  appendBytes(le, 4);
}

bool CZBSONWriter::appendElementHeader(uint8_t type, std::string_view key, int64_t dataSize) {
  if (finished_) {
    flags_ |= kAlreadyFinished;
    return false;
  }
  if (!ensureRoom(1 + static_cast<int64_t>(key.size()) + 1 + dataSize)) return false;
  // A key is a C string in the document: an embedded 0 would end it early and shift every
  // later byte, so such a key is refused like ill-formed text.
  if (!platform::isValidUtf8(key) ||
      key.find('\0') != std::string_view::npos) {
    flags_ |= kInvalidUTF8;
    return false;
  }
  if (!key.empty() && key[0] == '$') flags_ |= kKeyStartsWithDollar;
  if (key.find('.') != std::string_view::npos) flags_ |= kKeyContainsDot;
  appendBytes(&type, 1);
  appendBytes(key.data(), key.size());
  appendBytes("", 1);
  return true;
}

bool CZBSONWriter::appendString(std::string_view key, std::string_view value) {
  if (!platform::isValidUtf8(value)) {
    flags_ |= kInvalidUTF8;
    return false;
  }
  int64_t length = static_cast<int64_t>(value.size()) + 1;
  if (length > kMaxSize) {
    flags_ |= kSizeOverflow;
    return false;
  }
  if (!appendElementHeader(0x02, key, length + 4)) return false;
  appendInt32(static_cast<int32_t>(length));
  appendBytes(value.data(), value.size());
  appendBytes("", 1);
  return true;
}

bool CZBSONWriter::appendNull(std::string_view key) { return appendElementHeader(0x0A, key, 0); }

void CZBSONWriter::finish() {
  // A refused element was never written, so the document is whole without it: finishing
  // does not depend on earlier refusals.
  if (finished_) return;
  if (!ensureRoom(1)) return;
  appendBytes("", 1);
  int32_t length = position_;
  position_ = 0;
  appendInt32(length);
  position_ = length;
  finished_ = true;
}

platform::Bytes CZBSONWriter::data() const {
  if (!finished_) return {};
  return platform::Bytes(buffer_.begin(), buffer_.begin() + position_);
}

}  // namespace cadenzo
