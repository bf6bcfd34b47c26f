// BSON encoding of arbitrary dictionaries: the input is cut at 0x00 bytes into alternating
// keys and values; a value starting with 'N' is null, 'I' an integer (left out), anything
// else a string. Whatever the keys and values, the document must be well formed, its length
// header exact, and hold exactly the elements that are well-formed UTF-8.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/utf8.h"
#include "CZBSON.h"

namespace {

bool wellFormed(const std::string& s) {
  return platform::isValidUtf8(s);
}

uint32_t readLength(const platform::Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parts.size() % 2 == 0) {
      parts.push_back(current);
      current.clear();
    } else if (data[i] == 0x01 && parts.size() % 2 == 1) {
      parts.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  parts.push_back(current);

  platform::Dictionary dict;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    const std::string& v = parts[i + 1];
    if (!v.empty() && v[0] == 'N') {
      dict.set(parts[i], platform::Value());
    } else if (!v.empty() && v[0] == 'I') {
      dict.set(parts[i], platform::Value(static_cast<int64_t>(v.size())));
    } else {
      dict.set(parts[i], platform::Value(v));
    }
  }
  size_t expected = 0;
  for (const auto& [key, value] : dict) {
    bool keyOk = wellFormed(key) && key.find('\0') == std::string::npos;
    if (value.isNull() && keyOk) ++expected;
    if (value.isString() && keyOk && wellFormed(value.string())) ++expected;
  }

  platform::Bytes doc = cadenzo::CZBSON::BSONFromDictionary(dict);
  if (doc.size() < 5 || readLength(doc, 0) != doc.size() || doc.back() != 0) std::abort();
  size_t at = 4, elements = 0;
  while (at < doc.size() - 1) {
    uint8_t type = doc[at++];
    const void* end = std::memchr(doc.data() + at, 0, doc.size() - 1 - at);
    if (!end) std::abort();
    at = static_cast<const uint8_t*>(end) - doc.data() + 1;
    if (type == 0x02) {
      if (at + 4 > doc.size() - 1) std::abort();
      uint32_t n = readLength(doc, at);
      at += 4;
      if (n == 0 || at + n > doc.size() - 1 || doc[at + n - 1] != 0) std::abort();
      at += n;
    } else if (type != 0x0A) {
      std::abort();
    }
    ++elements;
  }
  if (at != doc.size() - 1 || elements != expected) std::abort();
  return 0;
}
