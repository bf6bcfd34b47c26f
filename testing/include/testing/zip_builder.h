#pragma once
// Zip archives for tests that unpack downloads, written by minizip's zip side, including the
// hostile ones a server could send: names that climb out of the destination ("../x",
// "a/../../b") or are absolute ("/abs"), sizes that lie and CRCs that do not match the data.
// Names are stored exactly as given. Lies are written into the finished archive by patching
// the entry's local header and its central-directory record alike, so both readings agree.
//
// Not thread-safe; one builder per test. Building never fails for names or contents; a
// lie aimed at a name that was never added is ignored.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

class ZipBuilder {
 public:
  // An entry with these bytes, deflated (or stored when `compress` is false). An entry with no
  // bytes is what unpackers take for a folder; end its name with '/' to say so.
  ZipBuilder& addFile(std::string name, std::string content, bool compress = true);
  // The entry declares `size` uncompressed bytes instead of its real length.
  ZipBuilder& declareUncompressedSize(const std::string& name, uint32_t size);
  // The entry's recorded CRC-32 no longer matches its data (the real one with every bit flipped).
  ZipBuilder& corruptCrc(const std::string& name);

  // The archive's bytes.
  std::string bytes() const;
  // Writes the archive to `path`; false when the file cannot be written.
  bool writeTo(const std::string& path) const;

 private:
  struct Entry {
    std::string name;
    std::string content;
    bool compress;
    std::optional<uint32_t> declaredSize;
    bool badCrc = false;
  };
  Entry* find(const std::string& name);
  std::vector<Entry> entries_;
};

}  // namespace testkit
