#pragma once
// The client id the ad pages hand out, kept in "cid.txt" in Application Support and sent
// with the next request. Any id of 1 to 128 printable ASCII characters (space to "~") is
// kept as the page gave it, so it may hold "&", "/", quotes or "<": wherever it goes it is
// escaped for that place (query-escaped in a URL), and it never names a file or enters a
// script or a log line. A page that hands out anything else (a control character, a byte
// past ASCII, a longer text) leaves the stored id as it was; a file holding anything else
// is not sent.
// Main thread only.
#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

class KvClientIdFile {
 public:
  // The longest id kept; what a page hands back to the server (the session too) is no longer.
  static constexpr size_t kMaximumLength = 128;
  static std::string path();
  static bool isKeptId(std::string_view text);
  // The stored id when the file holds one that is kept.
  static std::optional<std::string> read();
  // Replaces the stored id; false (logged, file untouched) for an id that is not kept or a
  // write that fails.
  static bool write(const std::string& cid);
};

}  // namespace kelvane
