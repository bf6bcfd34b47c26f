#pragma once
// Helpers shared by the view tests: real PNG files made in memory, and bundle files.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "platform/value.h"

namespace czviews_test {

inline uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void put32(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFF));
}

inline void chunk(std::string& out, const char* type, const std::string& data) {
  put32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  put32(out, crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// A valid 1-bit greyscale PNG of `width` x `height` pixels; `seed` varies the pixels so
// that pictures of the same size have different checksums.
inline std::string makePNG(uint32_t width, uint32_t height, uint8_t seed = 0) {
  std::string raw;
  const uint32_t rowBytes = (width + 7) / 8;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    for (uint32_t x = 0; x < rowBytes; ++x) raw.push_back(static_cast<char>((x + y + seed) & 0xFF));
  }
  // zlib stream of stored deflate blocks.
  std::string z = "\x78\x01";
  size_t pos = 0;
  do {
    size_t len = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + len == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<char>(len & 0xFF));
    z.push_back(static_cast<char>(len >> 8));
    z.push_back(static_cast<char>(~len & 0xFF));
    z.push_back(static_cast<char>((~len >> 8) & 0xFF));
    z.append(raw, pos, len);
    pos += len;
  } while (pos < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  put32(ihdr, width);
  put32(ihdr, height);
  ihdr += std::string("\x01\x00\x00\x00\x00", 5);  // depth 1, greyscale, deflate, filter 0, no interlace
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", "");
  return png;
}

inline std::string sha1(const std::string& bytes) { return platform::crypto::sha1Hex(bytes); }

// Writes `bytes` to `relative` under the bundle folder, creating folders.
inline void writeBundleFile(const std::string& relative, const std::string& bytes) {
  const std::string path = platform::FileManager::stringByAppendingPathComponent(platform::Sandbox::bundlePath(), relative);
  platform::FileManager::createDirectoryAtPath(platform::FileManager::stringByDeletingLastPathComponent(path), true);
  platform::FileManager::writeAtomically(path, std::string_view(bytes));
}

// An image entry of an answer.
inline platform::Value asset(const std::string& url, const std::string& checksum) {
  return platform::Value(platform::Dictionary{{"url", platform::Value(url)}, {"checksum", platform::Value(checksum)}});
}

}  // namespace czviews_test
