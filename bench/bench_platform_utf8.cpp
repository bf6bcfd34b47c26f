// UTF-8 validation throughput on about 1 MB of mixed text (ASCII runs, accented Latin,
// Cyrillic, CJK and emoji, in the proportions a localized ad answer has). The platform's
// validator, which skips ASCII eight bytes at a time, runs next to the byte-at-a-time form
// it was chosen over, so a change to either shows here. A plain timed program: each runs in
// rounds of at least 0.2 s; the best round counts. Prints MB/s and the ratio.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/utf8.h"

namespace {

// The byte-at-a-time validator the platform's text readers used before.
bool byteAtATime(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) n = 1;
    else if (c == 0xE0) n = 2, lo = 0xA0;
    else if (c == 0xED) n = 2, hi = 0x9F;
    else if (c >= 0xE1 && c <= 0xEF) n = 2;
    else if (c == 0xF0) n = 3, lo = 0x90;
    else if (c >= 0xF1 && c <= 0xF3) n = 3;
    else if (c == 0xF4) n = 3, hi = 0x8F;
    else return false;
    if (i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      auto b = static_cast<unsigned char>(s[i + k]);
      if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return false;
    }
    i += n + 1;
  }
  return true;
}

std::string mixedText(size_t size) {
  const char* pieces[] = {"Fly further with the new season pass! ", "Caf\xC3\xA9 cr\xC3\xA8me ",
                          "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ", "\xE6\x96\xB0\xE3\x81\x97\xE3\x81\x84 ",
                          "\xF0\x9F\x9A\x80 ", "{\"status\":200,\"ad_id\":\"4f2a9c3b7d1e5a6b\",\"link\":\"https://x.example/a\"} "};
  std::string out;
  uint32_t s = 12345;
  while (out.size() < size) {
    s = s * 1103515245u + 12345u;
    out += pieces[(s >> 8) % 6];
  }
  return out;
}

double megabytesPerSecond(const std::string& text, const std::function<bool(std::string_view)>& validate) {
  using Clock = std::chrono::steady_clock;
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    size_t bytes = 0;
    auto start = Clock::now();
    std::chrono::duration<double> elapsed{};
    while ((elapsed = Clock::now() - start).count() < 0.2) {
      if (!validate(text)) std::abort();
      bytes += text.size();
    }
    best = std::max(best, bytes / elapsed.count() / 1e6);
  }
  return best;
}

}  // namespace

int main() {
  const std::string text = mixedText(1 << 20);
  const double platformRate = megabytesPerSecond(text, [](std::string_view s) { return platform::isValidUtf8(s); });
  const double byteRate = megabytesPerSecond(text, byteAtATime);
  std::printf("utf8 validation, %zu bytes of mixed text\n", text.size());
  std::printf("  platform::isValidUtf8   %8.1f MB/s\n", platformRate);
  std::printf("  byte at a time          %8.1f MB/s  (platform is %.2fx)\n", byteRate, platformRate / byteRate);
  return 0;
}
