#include "platform/file_manager.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <climits>
#include <cstdint>
#include <thread>

#include "platform/clock.h"
#include "platform/file_handle.h"
#include "platform/sandbox.h"
#include "testing/sandbox_test.h"

namespace {

using platform::FileManager;

class FileManagerTest : public testkit::SandboxTest {
 protected:
  std::string at(const std::string& relative) { return home() + "/" + relative; }
};

TEST_F(FileManagerTest, PathHelpersFollowThePlatformsStringRules) {
  struct Row {
    const char* path;
    const char* last;
    const char* extension;
    const char* deletingLast;
    const char* deletingExtension;
  };
  const Row rows[] = {
      {"/a/b.txt", "b.txt", "txt", "/a", "/a/b"},
      {"/a/b.tar.gz", "b.tar.gz", "gz", "/a", "/a/b.tar"},
      {"/a/b/", "b", "", "/a", "/a/b"},
      {"/a", "a", "", "/", "/a"},
      {"/", "/", "", "/", "/"},
      {"a", "a", "", "", "a"},
      {"a//b", "b", "", "a", "a//b"},
      {".profile", ".profile", "", "", ".profile"},
      {"dir.d/file", "file", "", "dir.d", "dir.d/file"},
      {"", "", "", "", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(FileManager::lastPathComponent(r.path), r.last);
    EXPECT_EQ(FileManager::pathExtension(r.path), r.extension);
    EXPECT_EQ(FileManager::stringByDeletingLastPathComponent(r.path), r.deletingLast);
    EXPECT_EQ(FileManager::stringByDeletingPathExtension(r.path), r.deletingExtension);
  }

  const std::pair<const char*, const char*> standardised[] = {
      {"/a/./b/../c", "/a/c"}, {"/../a", "/a"},   {"a/../../b", "../b"}, {"a/b/..", "a"},
      {"//a///b//", "/a/b"},   {"/a/b/../..", "/"}, {"./x", "x"},
  };
  for (const auto& [in, out] : standardised) EXPECT_EQ(FileManager::stringByStandardizingPath(in), out) << in;

  struct Join {
    const char* base;
    const char* component;
    const char* joined;
  };
  const Join joins[] = {{"/a", "b", "/a/b"}, {"/a/", "/b", "/a/b"}, {"/", "b", "/b"},
                        {"", "b", "b"},      {"/a", "", "/a"},     {"a", "b/c", "a/b/c"}};
  for (const auto& j : joins) EXPECT_EQ(FileManager::stringByAppendingPathComponent(j.base, j.component), j.joined);
}

TEST_F(FileManagerTest, FoldersAreCreatedListedAndRemovedWithoutFollowingLinks) {
  EXPECT_FALSE(FileManager::createDirectoryAtPath(at("x/y/z"), false));
  ASSERT_TRUE(FileManager::createDirectoryAtPath(at("x/y/z"), true));
  EXPECT_TRUE(FileManager::createDirectoryAtPath(at("x/y/z"), true));   // already there: fine
  EXPECT_FALSE(FileManager::createDirectoryAtPath(at("x/y/z"), false));  // ... but not without intermediates
  EXPECT_TRUE(FileManager::isDirectory(at("x/y")));

  // A folder outside the tree, reachable only through a link inside it.
  ASSERT_TRUE(FileManager::createDirectoryAtPath(at("outside"), false));
  ASSERT_TRUE(FileManager::writeAtomically(at("outside/keep.txt"), std::string_view("precious")));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(at("x/link"), at("outside")));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(at("x/dangling"), at("nowhere")));
  ASSERT_TRUE(FileManager::writeAtomically(at("x/b.txt"), std::string_view("b")));

  auto names = FileManager::contentsOfDirectoryAtPath(at("x"));
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(*names, (std::vector<std::string>{"b.txt", "dangling", "link", "y"}));

  EXPECT_TRUE(FileManager::isSymbolicLink(at("x/link")));
  EXPECT_TRUE(FileManager::isDirectory(at("x/link")));
  EXPECT_FALSE(FileManager::fileExistsAtPath(at("x/dangling")));
  EXPECT_TRUE(FileManager::itemExistsAtPath(at("x/dangling")));
  EXPECT_EQ(FileManager::destinationOfSymbolicLinkAtPath(at("x/dangling")), at("nowhere"));
  EXPECT_FALSE(FileManager::destinationOfSymbolicLinkAtPath(at("x/b.txt")).has_value());

  // However the path is spelled, a link to a folder is removed as a link.
  for (const char* spelling : {"x/l/", "x/l//", "x/l/.", "x/l/./"}) {
    SCOPED_TRACE(spelling);
    ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(at("x/l"), at("outside")));
    EXPECT_TRUE(FileManager::removeItemAtPath(at(spelling)));
    EXPECT_FALSE(FileManager::itemExistsAtPath(at("x/l")));
    EXPECT_EQ(FileManager::stringContentsAtPath(at("outside/keep.txt")), "precious");
  }

  ASSERT_TRUE(FileManager::removeItemAtPath(at("x/")));
  EXPECT_FALSE(FileManager::itemExistsAtPath(at("x")));
  EXPECT_EQ(FileManager::stringContentsAtPath(at("outside/keep.txt")), "precious");
  EXPECT_FALSE(FileManager::removeItemAtPath(at("x")));
  EXPECT_FALSE(FileManager::contentsOfDirectoryAtPath(at("x")).has_value());
}

TEST_F(FileManagerTest, CopyAndMoveKeepTreesAndRefuseToOverwrite) {
  ASSERT_TRUE(FileManager::createDirectoryAtPath(at("src/inner"), true));
  ASSERT_TRUE(FileManager::writeAtomically(at("src/inner/f"), std::string_view("data")));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(at("src/l"), "inner/f"));

  ASSERT_TRUE(FileManager::copyItemAtPath(at("src"), at("copy")));
  EXPECT_EQ(FileManager::stringContentsAtPath(at("copy/inner/f")), "data");
  EXPECT_EQ(FileManager::destinationOfSymbolicLinkAtPath(at("copy/l")), "inner/f");
  EXPECT_FALSE(FileManager::copyItemAtPath(at("src"), at("copy")));

  ASSERT_TRUE(FileManager::moveItemAtPath(at("copy"), at("moved")));
  EXPECT_FALSE(FileManager::itemExistsAtPath(at("copy")));
  EXPECT_EQ(FileManager::stringContentsAtPath(at("moved/l")), "data");
  EXPECT_FALSE(FileManager::moveItemAtPath(at("src"), at("moved")));
  EXPECT_TRUE(FileManager::itemExistsAtPath(at("src/inner/f")));
}

TEST_F(FileManagerTest, AttributesAppendsAndChunkedReads) {
  const std::string path = at("Documents/log.bin");
  EXPECT_FALSE(FileManager::fileSize(path).has_value());
  ASSERT_TRUE(FileManager::appendToFile(path, std::string_view("0123")));
  ASSERT_TRUE(FileManager::appendToFile(path, std::string_view("456789")));
  EXPECT_EQ(FileManager::fileSize(path), 10u);

  ASSERT_TRUE(FileManager::setModificationDate(path, 1300000000.25));
  auto modified = FileManager::modificationDate(path);
  ASSERT_TRUE(modified.has_value());
  EXPECT_NEAR(*modified, 1300000000.25, 1e-6);

  // Access and modification times are set apart: setting one leaves the other.
  ASSERT_TRUE(FileManager::setAccessDate(path, 1200000000.5));
  EXPECT_NEAR(FileManager::accessDate(path).value_or(0), 1200000000.5, 1e-6);
  EXPECT_NEAR(FileManager::modificationDate(path).value_or(0), 1300000000.25, 1e-6);
  ASSERT_TRUE(FileManager::setModificationDate(path, 1400000000));
  EXPECT_NEAR(FileManager::accessDate(path).value_or(0), 1200000000.5, 1e-6);
  EXPECT_FALSE(FileManager::setAccessDate(home() + "/missing", 1));
  EXPECT_FALSE(FileManager::accessDate(home() + "/missing").has_value());

  auto appender = platform::FileHandle::forAppendingAtPath(path);
  ASSERT_TRUE(appender);
  EXPECT_TRUE(appender->writeData(platform::Bytes{'a', 'b'}));
  appender.reset();

  auto reader = platform::FileHandle::forReadingAtPath(path);
  ASSERT_TRUE(reader);
  std::string seen;
  std::vector<size_t> chunkSizes;
  for (;;) {
    platform::Bytes chunk = reader->readDataOfLength(5);
    if (chunk.empty()) break;
    chunkSizes.push_back(chunk.size());
    seen.append(chunk.begin(), chunk.end());
  }
  EXPECT_EQ(seen, "0123456789ab");
  EXPECT_EQ(chunkSizes, (std::vector<size_t>{5, 5, 2}));
  ASSERT_TRUE(reader->seekToFileOffset(8));
  platform::Bytes tail = reader->readDataToEndOfFile();
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "89ab");
  // Asking for far more than the file holds, as "read it all" callers do.
  ASSERT_TRUE(reader->seekToFileOffset(2));
  platform::Bytes rest = reader->readDataOfLength(SIZE_MAX);
  EXPECT_EQ(std::string(rest.begin(), rest.end()), "23456789ab");
  EXPECT_FALSE(reader->failed());

  EXPECT_EQ(platform::FileHandle::forReadingAtPath(at("Documents")), nullptr);
  EXPECT_EQ(platform::FileHandle::forReadingAtPath(at("missing")), nullptr);
  EXPECT_EQ(platform::FileHandle::forWritingAtPath(at("missing")), nullptr);
}

// The old contents survive any failed replacement, and no temporary file is left behind.
TEST_F(FileManagerTest, FailedAtomicWriteLeavesOldContentsAndNoTemporary) {
  const std::string folder = at("Library/Caches");
  const std::string path = folder + "/state.dat";
  ASSERT_TRUE(FileManager::writeAtomically(path, std::string_view("old contents")));

  // A write cut short by the file-size limit: the temporary fills up and the write fails
  // part-way, as on a full disk.
  {
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string big(64 * 1024, 'n');
    bool wrote = FileManager::writeAtomically(path, std::string_view(big));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(wrote);
  }
  EXPECT_EQ(FileManager::stringContentsAtPath(path), "old contents");

  // The target is a folder: the rename cannot replace it.
  ASSERT_TRUE(FileManager::createDirectoryAtPath(folder + "/taken", false));
  EXPECT_FALSE(FileManager::writeAtomically(folder + "/taken", std::string_view("x")));
  EXPECT_TRUE(FileManager::isDirectory(folder + "/taken"));

  // A folder the process may not write to (only meaningful without root's override).
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    EXPECT_FALSE(FileManager::writeAtomically(path, std::string_view("new")));
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(FileManager::stringContentsAtPath(path), "old contents");
  }

  EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(folder), (std::vector<std::string>{"state.dat", "taken"}));

  // The longest name the folder accepts is written atomically too.
  const std::string longest(NAME_MAX, 'n');
  EXPECT_TRUE(FileManager::writeAtomically(folder + "/" + longest, std::string_view("long")));
  EXPECT_EQ(FileManager::stringContentsAtPath(folder + "/" + longest), "long");
  EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(folder),
            (std::vector<std::string>{longest, "state.dat", "taken"}));
}

TEST_F(FileManagerTest, TemporariesOfGoneWritersGoWithTheNextWriteIntoTheFolderAndNothingElseDoes) {
  const std::string folder = at("Library/Caches/creatives");
  ASSERT_TRUE(FileManager::createDirectoryAtPath(folder, true));
  const std::string target = folder + "/creative.bin";
  auto hasTemporary = [&] {
    for (const auto& name : FileManager::contentsOfDirectoryAtPath(folder).value_or(std::vector<std::string>{}))
      if (name.find(".tmp-") != std::string::npos) return true;
    return false;
  };
  // A writer killed in the middle of replacing the file.
  pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    const std::string big(16 << 20, 'w');
    for (;;) FileManager::writeAtomically(target, std::string_view(big));
  }
  const double deadline = platform::realMonotonicSeconds() + 5;
  while (!hasTemporary() && platform::realMonotonicSeconds() < deadline) {
  }
  ::kill(writer, SIGKILL);
  ASSERT_EQ(::waitpid(writer, nullptr, 0), writer);
  ASSERT_TRUE(hasTemporary());
  // The next write into the folder (this process's first) clears it.
  ASSERT_TRUE(FileManager::writeAtomically(target, std::string_view("fresh")));
  EXPECT_FALSE(hasTemporary());
  EXPECT_EQ(FileManager::stringContentsAtPath(target), "fresh");

  // Which names are abandoned temporaries, and which are not.
  const std::string self = std::to_string(::getpid()), parent = std::to_string(::getppid());
  auto leave = [&](const std::string& name) {
    ASSERT_TRUE(FileManager::writeAtomically(folder + "/" + name, std::string_view("left")));
  };
  leave(".a.bin.tmp-" + self + "-Ab12Cd");    // an earlier process with this one's number
  leave(".b.bin.tmp-Zz9Yy8");                  // no writer named: the application's own
  leave(".c.bin.tmp-" + parent + "-Ab12Cd");  // a writer still running
  leave("notes.tmp-Ab12Cd");                   // data
  leave(".d.bin.tmp-Ab12Cde");
  ASSERT_TRUE(FileManager::createDirectoryAtPath(folder + "/.e.bin.tmp-Ab12Cd", false));
  EXPECT_EQ(FileManager::removeAbandonedTemporaryFilesAtPath(folder), 1u);
  std::vector<std::string> kept{".b.bin.tmp-Zz9Yy8", ".c.bin.tmp-" + parent + "-Ab12Cd", ".d.bin.tmp-Ab12Cde",
                                ".e.bin.tmp-Ab12Cd", "creative.bin", "notes.tmp-Ab12Cd"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(folder), kept);
}

TEST_F(FileManagerTest, TheApplicationsFilesNamedLikeTemporariesSurviveTheFirstWriteIntoTheirFolder) {
  // A process that has ended, so that its number names a writer that is gone.
  pid_t ended = ::fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const std::string gone = std::to_string(ended);
  struct Case {
    std::string name;
    bool abandoned;
  };
  const Case cases[] = {
      {".notes.tmp-backup", false},
      {".draft.tmp-latest", false},
      {".save.tmp-v2beta", false},
      {".x.tmp-123456", false},
      {".x.tmp-Ab12Cd", false},
      {".x.tmp-0" + gone + "-Ab12Cd", false},     // not how a writer prints its number
      {".x.tmp-+" + gone + "-Ab12Cd", false},
      {".x.tmp-99999999-Ab12Cd", false},          // no process ever had that number
      {".x.tmp-" + gone + "-Ab12C_", false},
      {".x.tmp-" + gone + "-Ab12Cd-old", false},
      {".x.tmp-" + gone + "-backup", true},       // exactly a temporary's form
      {"x.tmp-" + gone + "-Ab12Cd", false},
      {".tmp-" + gone + "-Ab12Cd", false},
      {".x.tmp-" + gone + "-Ab12Cd", true},
      {".notes.txt.tmp-" + gone + "-Zz9Yy8", true},
  };
  const std::string folder = at("Documents/drafts");
  ASSERT_TRUE(FileManager::createDirectoryAtPath(folder, true));
  std::vector<std::string> kept{"fresh.txt"};
  for (const auto& c : cases) {
    ASSERT_TRUE(FileManager::appendToFile(folder + "/" + c.name, "mine", 4)) << c.name;
    if (!c.abandoned) kept.push_back(c.name);
  }
  // The folder's first atomic write in this process clears what is abandoned, and only that.
  ASSERT_TRUE(FileManager::writeAtomically(folder + "/fresh.txt", std::string_view("fresh")));
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(FileManager::contentsOfDirectoryAtPath(folder), kept);
  for (const auto& c : cases) {
    if (!c.abandoned) {
      EXPECT_EQ(FileManager::stringContentsAtPath(folder + "/" + c.name), "mine") << c.name;
    }
  }
}

TEST_F(FileManagerTest, ReadersNeverSeeAHalfWrittenFile) {
  const std::string path = at("Documents/swap.txt");
  const std::string small(10, 's');
  const std::string large(50000, 'L');
  ASSERT_TRUE(FileManager::writeAtomically(path, std::string_view(small)));

  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    while (!done.load()) {
      auto text = FileManager::stringContentsAtPath(path);
      if (!text || (*text != small && *text != large)) ++torn;
      ++reads;
    }
  });
  int failures = 0;
  for (int i = 0; i < 60; ++i) {
    if (!FileManager::writeAtomically(path, std::string_view(i % 2 ? small : large))) ++failures;
  }
  done = true;
  reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(FileManager::stringContentsAtPath(path), small);
}

TEST_F(FileManagerTest, ConfinementRefusesEverythingThatLeavesTheRoot) {
  const std::string root = at("Documents/pkg");
  ASSERT_TRUE(FileManager::createDirectoryAtPath(root + "/a/b", true));
  ASSERT_TRUE(FileManager::createDirectoryAtPath(at("Documents/secret"), false));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/in", "a"));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/self", "."));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/out", "../secret"));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/abs", "/etc"));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/a/up", ".."));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/a/esc", "../.."));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/hop", "a/esc"));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/dangling", "../nowhere"));
  // A prefix of the root's name is not inside it.
  ASSERT_TRUE(FileManager::createDirectoryAtPath(at("Documents/pkg2"), false));
  ASSERT_TRUE(FileManager::createSymbolicLinkAtPath(root + "/sibling", "../pkg2"));

  const std::pair<const char*, const char*> inside[] = {
      {"a/b/c.txt", "/a/b/c.txt"}, {"./a//b/", "/a/b"},   {"new/deeper/file", "/new/deeper/file"},
      {"in/b/file", "/in/b/file"}, {"self/a", "/self/a"}, {"a/up/a/b", "/a/up/a/b"},
      {"a/b/c.txt/more", "/a/b/c.txt/more"},
  };
  for (const auto& [relative, expected] : inside) EXPECT_EQ(FileManager::confinedPath(root, relative), root + expected);
  for (const char* relative : {"../x", "a/../../x", "a/..", "..", "/etc/passwd", "", ".", "out/file", "out",
                               "abs/passwd", "a/esc/x", "hop/x", "dangling", "sibling/x"}) {
    auto confined = FileManager::confinedPath(root, relative);
    EXPECT_FALSE(confined.has_value()) << relative << " -> " << *confined;
  }
  // What the system would read of a name stops at a NUL.
  for (std::string_view withNul : {std::string_view("..\0x", 4), std::string_view("a/..\0/b", 7),
                                   std::string_view("a/b\0", 4)}) {
    auto confined = FileManager::confinedPath(root, withNul);
    EXPECT_FALSE(confined.has_value()) << confined->c_str();
  }
}

}  // namespace

namespace {

TEST_F(FileManagerTest, VolumeSizeAndDisplayNames) {
  const std::string documents = platform::Sandbox::documents();
  auto size = FileManager::fileSystemSize(documents);
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(*size, static_cast<double>(std::filesystem::space(documents).capacity));
  EXPECT_FALSE(FileManager::fileSystemSize(home() + "/missing").has_value());

  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"/var/apps/Zavrellion.app", "Zavrellion"},
      {"/var/apps/Zavrellion.app/", "Zavrellion"},
      {"/var/apps/notes.txt", "notes.txt"},
      {"/var/apps/Game", "Game"},
      {"Relative.app", "Relative"},
      {"/var/apps/My.Game.app", "My.Game"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileManager::displayNameAtPath(c.path), c.name) << c.path;
}

}  // namespace
