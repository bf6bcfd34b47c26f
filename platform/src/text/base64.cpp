#include "platform/base64.h"

#include <array>

namespace platform {
namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

constexpr std::array<int8_t, 256> makeDecodeTable(const char* alphabet) {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
  return t;
}
constexpr auto kStandardDecode = makeDecodeTable(kStandard);
constexpr auto kUrlSafeDecode = makeDecodeTable(kUrlSafe);

std::string encode(const uint8_t* p, size_t n, Base64Alphabet alphabet, bool padding) {
  const char* a = alphabet == Base64Alphabet::Standard ? kStandard : kUrlSafe;
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
    out += a[v >> 18];
    out += a[(v >> 12) & 63];
    out += a[(v >> 6) & 63];
    out += a[v & 63];
  }
  size_t rest = n - i;
  if (rest == 1) {
    uint32_t v = uint32_t(p[i]) << 16;
    out += a[v >> 18];
    out += a[(v >> 12) & 63];
    if (padding) out += "==";
  } else if (rest == 2) {
    uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8);
    out += a[v >> 18];
    out += a[(v >> 12) & 63];
    out += a[(v >> 6) & 63];
    if (padding) out += '=';
  }
  return out;
}

}  // namespace

std::string base64Encode(const Bytes& bytes, Base64Alphabet alphabet, bool padding) {
  return encode(bytes.data(), bytes.size(), alphabet, padding);
}

std::string base64Encode(std::string_view bytes, Base64Alphabet alphabet, bool padding) {
  return encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), alphabet, padding);
}

std::optional<Bytes> base64Decode(std::string_view text, Base64Alphabet alphabet) {
  const auto& table = alphabet == Base64Alphabet::Standard ? kStandardDecode : kUrlSafeDecode;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  size_t count = 0;  // significant characters so far
  size_t pads = 0;
  for (char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') continue;
    if (ch == '=') {
      ++pads;
      continue;
    }
    if (pads) return std::nullopt;  // data after padding
    int v = table[static_cast<unsigned char>(ch)];
    if (v < 0) return std::nullopt;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    if (++count % 4 == 0) {
      out.push_back(static_cast<uint8_t>(acc >> 16));
      out.push_back(static_cast<uint8_t>(acc >> 8));
      out.push_back(static_cast<uint8_t>(acc));
      acc = 0;
    }
  }
  size_t rest = count % 4;
  if (rest == 1) return std::nullopt;
  if (pads && (rest == 0 || pads != 4 - rest)) return std::nullopt;
  if (rest == 2) {
    out.push_back(static_cast<uint8_t>(acc >> 4));
  } else if (rest == 3) {
    out.push_back(static_cast<uint8_t>(acc >> 10));
    out.push_back(static_cast<uint8_t>(acc >> 2));
  }
  return out;
}

}  // namespace platform
