#pragma once
// Unpacks a downloaded zip package into a folder. Archives come from servers and are not
// trusted: every entry must land inside the folder, data are streamed in chunks and checked
// against their CRC and declared size, and the whole package is capped in size, in entries
// and in how far an entry may expand. A package that fails leaves nothing of itself behind
// (new files and folders are removed again).
#include <cstdint>
#include <string>

namespace halvern {

class HVZip {
 public:
  static constexpr uint64_t kMaxTotalBytes = 256ull << 20;
  // An ad's package holds a page and its pictures and scripts, not thousands of files.
  static constexpr uint64_t kMaxEntries = 1024;
  // An entry larger than kRatioCheckedBytes may be at most this many times its compressed
  // size: beyond that it is a bomb, not content.
  static constexpr uint64_t kMaxCompressionRatio = 100;
  static constexpr uint64_t kRatioCheckedBytes = 1ull << 20;
  static constexpr size_t kChunkSize = 64 * 1024;

  // True when every entry was written; otherwise false with a reason in `error`. Entries whose
  // names end in "/" are folders; an empty entry otherwise is an empty file.
  static bool unzipPackageToPath(const std::string& zipPath, const std::string& destination,
                                 std::string* error = nullptr, uint64_t maxTotalBytes = kMaxTotalBytes);
};

}  // namespace halvern
