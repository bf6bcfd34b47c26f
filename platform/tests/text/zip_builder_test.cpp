// The test kit's zip builder, read back through minizip's unzip side the way an unpacker reads.
#include "testing/zip_builder.h"

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <zlib.h>

#include <map>

#include "testing/sandbox_test.h"

namespace {

struct ReadEntry {
  uLong declaredSize = 0;
  uLong crc = 0;
  int method = -1;
  std::string data;   // everything the entry inflates to
  int closeResult = 0;  // UNZ_CRCERROR when the data do not match the recorded CRC
};

std::map<std::string, ReadEntry> readBack(const std::string& path) {
  std::map<std::string, ReadEntry> out;
  unzFile zip = unzOpen(path.c_str());
  EXPECT_NE(zip, nullptr);
  if (!zip) return out;
  for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    unz_file_info info{};
    char name[256] = {};
    EXPECT_EQ(unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    ReadEntry e;
    e.declaredSize = info.uncompressed_size;
    e.crc = info.crc;
    e.method = static_cast<int>(info.compression_method);
    EXPECT_EQ(unzOpenCurrentFile(zip), UNZ_OK) << name;
    char buf[64];
    for (int n; (n = unzReadCurrentFile(zip, buf, sizeof buf)) > 0;) e.data.append(buf, static_cast<size_t>(n));
    e.closeResult = unzCloseCurrentFile(zip);
    out[name] = e;
  }
  unzClose(zip);
  return out;
}

uLong crcOf(const std::string& s) {
  return crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size()));
}

class ZipBuilderTest : public testkit::SandboxTest {};

TEST_F(ZipBuilderTest, HostileNamesSizesAndChecksumsReachTheReader) {
  const std::string text(1000, 'z');
  testkit::ZipBuilder builder;
  builder.addFile("ok/plain.txt", "hello")
      .addFile("stored.bin", "raw bytes", false)
      .addFile("empty/", "")
      .addFile("../x", "escape")
      .addFile("/abs", "absolute")
      .addFile("a/../../b", "climb")
      .addFile("big.txt", text)
      .addFile("liar.txt", "twelve bytes")
      .addFile("bad.txt", "checksum")
      .declareUncompressedSize("big.txt", 10)
      .declareUncompressedSize("liar.txt", 4096)
      .corruptCrc("bad.txt")
      .corruptCrc("never-added");
  const std::string path = home() + "/hostile.zip";
  ASSERT_TRUE(builder.writeTo(path));
  auto entries = readBack(path);
  ASSERT_EQ(entries.size(), 9u);

  const struct {
    const char* name;
    std::string data;
    int method;
  } honest[] = {
      {"ok/plain.txt", "hello", Z_DEFLATED}, {"stored.bin", "raw bytes", 0}, {"empty/", "", Z_DEFLATED},
      {"../x", "escape", Z_DEFLATED},        {"/abs", "absolute", Z_DEFLATED}, {"a/../../b", "climb", Z_DEFLATED},
  };
  for (const auto& h : honest) {
    ASSERT_TRUE(entries.count(h.name)) << h.name;
    const ReadEntry& e = entries[h.name];
    EXPECT_EQ(e.data, h.data) << h.name;
    EXPECT_EQ(e.declaredSize, h.data.size()) << h.name;
    EXPECT_EQ(e.method, h.method) << h.name;
    EXPECT_EQ(e.crc, crcOf(h.data)) << h.name;
    EXPECT_EQ(e.closeResult, UNZ_OK) << h.name;
  }

  // A reader that trusts the declared size gets less than the entry holds, or waits for more.
  EXPECT_EQ(entries["big.txt"].declaredSize, 10u);
  EXPECT_EQ(entries["big.txt"].data, text.substr(0, 10));
  EXPECT_EQ(entries["liar.txt"].declaredSize, 4096u);
  EXPECT_EQ(entries["liar.txt"].data, "twelve bytes");

  EXPECT_EQ(entries["bad.txt"].data, "checksum");
  EXPECT_EQ(entries["bad.txt"].crc, ~crcOf("checksum") & 0xFFFFFFFFu);
  EXPECT_EQ(entries["bad.txt"].closeResult, UNZ_CRCERROR);
}

}  // namespace
