#pragma once
// The client id the ad pages hand out, kept in "cid.txt" in Application Support and sent
// with the next request. The id comes from a page, so only a plain identifier is kept or
// sent: 1 to 128 ASCII letters, digits, "-", "_" and ".". A page that hands out anything
// else leaves the stored id as it was; a file holding anything else is not sent.
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
  static bool isPlainIdentifier(std::string_view text);
  // The stored id when the file holds a plain identifier.
  static std::optional<std::string> read();
  // Replaces the stored id; false (logged, file untouched) for an id that is not plain or
  // a write that fails.
  static bool write(const std::string& cid);
};

}  // namespace kelvane
