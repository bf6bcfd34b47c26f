#include "HVBase64.h"

#include <array>

namespace halvern {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kAbsent = 0xFF;

// The reverse table covers every byte value, so a byte above 0x7F is simply absent.
constexpr std::array<uint8_t, 256> makeReverse() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kAbsent;
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}
constexpr auto kReverse = makeReverse();

std::string encode(const uint8_t* bytes, size_t n) {
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t group = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  if (i < n) {
    const bool two = n - i == 2;
    const uint32_t group = (uint32_t(bytes[i]) << 16) | (two ? uint32_t(bytes[i + 1]) << 8 : 0);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += two ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The output holds as many bytes as the alphabet characters carry (6 bits each, whole bytes
// only): skipped characters add nothing.
platform::Bytes decode(const uint8_t* text, size_t n) {
  while (n > 0 && text[n - 1] == '=') --n;
  platform::Bytes out;
  out.reserve(n / 4 * 3 + 3);
  uint32_t group = 0;
  int count = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t sextet = kReverse[text[i]];
    if (sextet == kAbsent) continue;
    group = (group << 6) | sextet;
    if (++count == 4) {
      out.push_back(static_cast<uint8_t>(group >> 16));
      out.push_back(static_cast<uint8_t>(group >> 8));
      out.push_back(static_cast<uint8_t>(group));
      group = 0;
      count = 0;
    }
  }
  if (count >= 2) {
    group <<= 6 * (4 - count);
    out.push_back(static_cast<uint8_t>(group >> 16));
    if (count == 3) out.push_back(static_cast<uint8_t>(group >> 8));
  }
  return out;
}

const uint8_t* bytesOf(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

}  // namespace

std::string HVBase64::base64StringWithData(const platform::Bytes& data) { return encode(data.data(), data.size()); }

std::string HVBase64::base64StringWithString(std::string_view text) { return encode(bytesOf(text), text.size()); }

platform::Bytes HVBase64::dataWithBase64String(std::string_view text) { return decode(bytesOf(text), text.size()); }

platform::Bytes HVBase64::dataWithBase64Data(const platform::Bytes& data) { return decode(data.data(), data.size()); }

std::string HVBase64::stringWithBase64String(std::string_view text) {
  auto bytes = dataWithBase64String(text);
  return std::string(bytes.begin(), bytes.end());
}

std::string HVBase64::stringWithBase64Data(const platform::Bytes& data) {
  auto bytes = dataWithBase64Data(data);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace halvern
