#include "HVZip.h"

#include <sys/stat.h>

#include "platform/file_manager.h"
#include "platform/sandbox.h"
#include "testing/sandbox_test.h"
#include "testing/zip_builder.h"

namespace halvern {
namespace {

using platform::FileManager;

class HVZipTest : public testkit::SandboxTest {
 protected:
  std::string docs() const { return platform::Sandbox::documents(); }
  std::string write(const testkit::ZipBuilder& zip) {
    const std::string path = docs() + "/temp.zip";
    EXPECT_TRUE(zip.writeTo(path));
    return path;
  }
  std::optional<std::string> read(const std::string& relative) {
    return FileManager::stringContentsAtPath(docs() + "/out/" + relative);
  }
};

TEST_F(HVZipTest, UnpacksNestedFoldersEmptyFilesAndLargeEntries) {
  // Larger than several chunks, and not a repeating pattern a chunk boundary could hide.
  std::string large;
  uint32_t s = 7;
  for (size_t i = 0; i < 3 * HVZip::kChunkSize + 123; ++i) large += static_cast<char>('a' + ((s = s * 1664525u + 1013904223u) >> 27));
  testkit::ZipBuilder zip;
  zip.addFile("index.html", "<html></html>")
      .addFile("img/", "")
      .addFile("js/lib/deep/app.js", "var a = 1;", false)
      .addFile("empty.txt", "")
      .addFile("big.bin", large);
  std::string error;
  ASSERT_TRUE(HVZip::unzipPackageToPath(write(zip), docs() + "/out", &error)) << error;
  EXPECT_EQ(read("index.html"), "<html></html>");
  EXPECT_TRUE(FileManager::isDirectory(docs() + "/out/img"));
  EXPECT_EQ(read("js/lib/deep/app.js"), "var a = 1;");
  EXPECT_EQ(read("empty.txt"), "");
  EXPECT_FALSE(FileManager::isDirectory(docs() + "/out/empty.txt"));
  EXPECT_EQ(read("big.bin"), large);
  EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(docs() + "/out")->size(), 5u);  // no temporaries left
}

TEST_F(HVZipTest, RefusesHostileOrBrokenArchivesAndLeavesNothingBehind) {
  struct Case {
    const char* what;
    testkit::ZipBuilder zip;
  };
  auto good = [] { return testkit::ZipBuilder().addFile("ok/first.txt", "first"); };
  std::vector<Case> cases;
  cases.push_back({"parent", good().addFile("../escaped.txt", "x")});
  cases.push_back({"nested parent", good().addFile("a/../../escaped.txt", "x")});
  cases.push_back({"absolute", good().addFile("/tmp/escaped.txt", "x")});
  cases.push_back({"short size", good().addFile("lie.txt", "0123456789").declareUncompressedSize("lie.txt", 4)});
  cases.push_back({"long size", good().addFile("lie.txt", "0123456789").declareUncompressedSize("lie.txt", 400)});
  cases.push_back({"crc", good().addFile("bad.txt", "payload").corruptCrc("bad.txt")});
  cases.push_back({"stored crc", good().addFile("bad.txt", "payload", false).corruptCrc("bad.txt")});
  auto crowd = good();
  for (uint64_t i = 0; i < HVZip::kMaxEntries; ++i) crowd.addFile("crowd/" + std::to_string(i), "x", false);
  cases.push_back({"one entry too many", crowd});
  // Two mebibytes of zeros deflate to a few kibibytes: a bomb, declared honestly or not.
  const std::string zeros(2u << 20, '\0');
  cases.push_back({"bomb", good().addFile("zeros.bin", zeros)});
  cases.push_back({"bomb declared small", good().addFile("zeros.bin", zeros).declareUncompressedSize("zeros.bin", 1000)});
  for (auto& c : cases) {
    const std::string zipPath = write(c.zip);
    std::string error;
    EXPECT_FALSE(HVZip::unzipPackageToPath(zipPath, docs() + "/out", &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_FALSE(FileManager::itemExistsAtPath(docs() + "/out")) << c.what;
    EXPECT_FALSE(FileManager::itemExistsAtPath(docs() + "/escaped.txt")) << c.what;
    EXPECT_TRUE(FileManager::fileExistsAtPath(zipPath)) << c.what;
  }
  EXPECT_FALSE(FileManager::itemExistsAtPath("/tmp/escaped.txt"));
}

TEST_F(HVZipTest, ExistingFolderKeepsItsFilesWhenAPackageFails) {
  FileManager::createDirectoryAtPath(docs() + "/out", true);
  FileManager::writeAtomically(docs() + "/out/keep.txt", std::string_view("mine"));
  // A link inside the folder that points out of it must not carry an entry along.
  FileManager::createDirectoryAtPath(docs() + "/outside", true);
  FileManager::createSymbolicLinkAtPath(docs() + "/out/link", docs() + "/outside");
  testkit::ZipBuilder zip;
  zip.addFile("new/file.txt", "new").addFile("link/escaped.txt", "x");
  EXPECT_FALSE(HVZip::unzipPackageToPath(write(zip), docs() + "/out"));
  EXPECT_EQ(read("keep.txt"), "mine");
  EXPECT_FALSE(FileManager::itemExistsAtPath(docs() + "/out/new"));
  EXPECT_FALSE(FileManager::itemExistsAtPath(docs() + "/outside/escaped.txt"));
}

TEST_F(HVZipTest, CapsTheUnpackedSizeAndRejectsWhatIsNoArchive) {
  testkit::ZipBuilder zip;
  zip.addFile("a.txt", std::string(600, 'a')).addFile("b.txt", std::string(600, 'b'));
  std::string error;
  EXPECT_FALSE(HVZip::unzipPackageToPath(write(zip), docs() + "/out", &error, 1000));
  EXPECT_FALSE(FileManager::itemExistsAtPath(docs() + "/out"));
  EXPECT_TRUE(HVZip::unzipPackageToPath(write(zip), docs() + "/out", &error, 1200)) << error;

  // Up to the entry cap, and entries that compress as content does, unpack.
  testkit::ZipBuilder full;
  for (uint64_t i = 1; i < HVZip::kMaxEntries; ++i) full.addFile("f/" + std::to_string(i), "x", false);
  std::string text;
  for (uint32_t i = 0; text.size() < (3u << 20) / 2; ++i) text += "<p id=\"" + std::to_string(i * 2654435761u) + "\">row</p>\n";
  full.addFile("page.html", text);
  EXPECT_TRUE(HVZip::unzipPackageToPath(write(full), docs() + "/full", &error)) << error;
  EXPECT_EQ(FileManager::stringContentsAtPath(docs() + "/full/page.html"), text);

  FileManager::writeAtomically(docs() + "/junk.zip", std::string_view("not a zip at all"));
  EXPECT_FALSE(HVZip::unzipPackageToPath(docs() + "/junk.zip", docs() + "/out2", &error));
  EXPECT_FALSE(HVZip::unzipPackageToPath(docs() + "/missing.zip", docs() + "/out2", &error));
}

}  // namespace
}  // namespace halvern
