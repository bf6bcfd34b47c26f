#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "CZWebImageCache.h"
#include "platform/bundle.h"
#include "platform/dispatch.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/thread.h"
#include "platform/user_defaults.h"
#include "testing/loopback_server.h"
#include "testing/sandbox_test.h"
#include "CZViewTestSupport.h"

namespace {

using cadenzo::CZWebImageCache;
using platform::FileManager;
using platform::UserDefaults;
using platform::Value;
using czviews_test::makePNG;
using czviews_test::sha1;

struct Delivery { bool called = false; bool onMain = false; std::shared_ptr<platform::Image> image; };

class ImageCacheTest : public testkit::SandboxTest {
 protected:
  // Loads through the cache and pumps the main loop until the callback ran.
  Delivery load(const Value& url, const Value& checksum) {
    auto out = std::make_shared<Delivery>();
    CZWebImageCache::sharedCache().loadImageWithURLChecksumCallbackGroup(
        url, checksum, [out](const std::shared_ptr<platform::Image>& image) {
          out->called = true;
          out->onMain = platform::Thread::isMainThread();
          out->image = image;
        });
    settleTraffic();
    EXPECT_TRUE(out->called);
    return *out;
  }
  Value cachedIndex() { return UserDefaults::standardUserDefaults().dictionaryForKey(CZWebImageCache::kCachedImagesKey); }
  std::string cachedFile(const std::string& checksum) {
    return FileManager::stringByAppendingPathComponent(
        FileManager::stringByAppendingPathComponent(platform::Sandbox::caches(), "CadenzoCachedAssets"), checksum);
  }
  testkit::LoopbackServer server;
};

// A picture past the bound gives no image and is not stored, whether it declares its length
// or comes in chunks; the same picture within the bound loads.
TEST_F(ImageCacheTest, PicturesLargerThanTheBoundAreNotLoaded) {
  const std::string png = makePNG(40, 30, 7);
  const std::string sum = sha1(png);
  CZWebImageCache::setMaxImageBytesForTesting(png.size() - 1);
  platform::LogCapture log;
  for (bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "declared length");
    auto answer = testkit::ScriptedAnswer::text(png);
    answer.chunked = chunked;
    answer.chunkSize = 64;
    server.setAnswer("/big.png", answer);
    EXPECT_FALSE(load(Value(server.url("/big.png")), Value(sum)).image);
  }
  EXPECT_FALSE(FileManager::fileExistsAtPath(cachedFile(sum)));
  const auto lines = log.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("not loaded") != std::string::npos; }),
            2);
  CZWebImageCache::setMaxImageBytesForTesting(png.size());
  EXPECT_TRUE(load(Value(server.url("/big.png")), Value(sum)).image);
}

TEST_F(ImageCacheTest, DownloadsChecksAndServesAgainWithTheServerStopped) {
  const std::string png = makePNG(40, 30, 7);
  const std::string sum = sha1(png);
  server.setAnswer("/ad.png", testkit::ScriptedAnswer::text(png));
  Delivery first = load(Value(server.url("/ad.png")), Value(sum));
  ASSERT_TRUE(first.image);
  EXPECT_TRUE(first.onMain);
  EXPECT_EQ(first.image->pixelWidth(), 40);
  EXPECT_EQ(first.image->pixelHeight(), 30);
  EXPECT_EQ(server.requestsTo("/ad.png").size(), 1u);
  // Stored under its checksum, byte for byte, and recorded checksum -> file name.
  EXPECT_EQ(FileManager::stringContentsAtPath(cachedFile(sum)), png);
  EXPECT_EQ(cachedIndex()[sum], Value(sum));
  server.stop();
  Delivery again = load(Value(server.url("/ad.png")), Value(sum));
  ASSERT_TRUE(again.image);
  EXPECT_EQ(again.image->pixelWidth(), 40);
}

TEST_F(ImageCacheTest, RefusedDownloadsGiveNothingAndStoreNothing) {
  const std::string png = makePNG(8, 8, 1);
  std::string upper = sha1(png);
  for (auto& c : upper) c = static_cast<char>(toupper(c));
  const std::string notAnImage = "plain text, not a picture";
  server.setAnswer("/ad.png", testkit::ScriptedAnswer::text(png));
  server.setAnswer("/text", testkit::ScriptedAnswer::text(notAnImage));
  server.setAnswer("/missing", testkit::ScriptedAnswer::text("", 404));
  FileManager::writeAtomically(platform::Sandbox::tmp() + "/local.png", std::string_view(png));
  struct Case { const char* name; std::string url; std::string checksum; } cases[] = {
      {"checksum in upper case", server.url("/ad.png"), upper},
      {"checksum of other bytes", server.url("/ad.png"), sha1(makePNG(8, 8, 2))},
      {"matching bytes that are no image", server.url("/text"), sha1(notAnImage)},
      {"empty answer", server.url("/missing"), sha1("")},
      {"file URL from an answer", "file://" + platform::Sandbox::tmp() + "/local.png", sha1(png)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(load(Value(c.url), Value(c.checksum)).image);
    EXPECT_FALSE(FileManager::fileExistsAtPath(cachedFile(c.checksum)));
    EXPECT_FALSE(cachedIndex().dictionary().contains(c.checksum));
  }
}

TEST_F(ImageCacheTest, ArgumentsThatAreNotTextDoNothing) {
  const std::string png = makePNG(4, 4);
  server.setAnswer("/ad.png", testkit::ScriptedAnswer::text(png));
  bool called = false;
  platform::DispatchGroup group;
  auto& cache = CZWebImageCache::sharedCache();
  cache.loadImageWithURLChecksumCallbackGroup(Value(42), Value(sha1(png)), [&](auto&) { called = true; }, group);
  cache.loadImageWithURLChecksumCallbackGroup(Value(server.url("/ad.png")), Value(), [&](auto&) { called = true; }, group);
  // Nothing entered the group, and nothing was fetched.
  EXPECT_TRUE(group.wait(0));
  settleTraffic();
  EXPECT_FALSE(called);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ImageCacheTest, BundleFilesAreFoundByTheirOwnContentPerVersion) {
  // Two files of the same name in different folders: each must be indexed by its own bytes.
  const std::string a = makePNG(10, 10, 1), b = makePNG(20, 20, 2), jpgLike = makePNG(12, 12, 3);
  czviews_test::writeBundleFile("icon.png", a);
  czviews_test::writeBundleFile("ads/icon.png", b);
  czviews_test::writeBundleFile("ads/deep/photo.jpg", jpgLike);
  czviews_test::writeBundleFile("ads/notes.txt", makePNG(5, 5, 9));
  platform::Bundle::mainBundle().setInfoValue("CFBundleVersion", Value("2.0"));
  auto& cache = CZWebImageCache::sharedCache();
  struct Case { std::string checksum; int width; std::string path; } cases[] = {
      {sha1(a), 10, "icon.png"}, {sha1(b), 20, "ads/icon.png"}, {sha1(jpgLike), 12, "ads/deep/photo.jpg"}};
  for (const auto& c : cases) {
    auto image = cache.locallyCachedImageForChecksum(c.checksum);
    ASSERT_TRUE(image) << c.path;
    EXPECT_EQ(image->pixelWidth(), c.width) << c.path;
  }
  Value index = UserDefaults::standardUserDefaults().dictionaryForKey(CZWebImageCache::kLocalImagesKey);
  EXPECT_EQ(index.size(), 3u);  // the .txt file is not an image file of the bundle
  for (const auto& c : cases) EXPECT_EQ(index[c.checksum], Value(c.path));
  EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(CZWebImageCache::kLocalVersionKey), "2.0");
  // Served from the bundle: no request reaches the server.
  Delivery d = load(Value(server.url("/icon.png")), Value(sha1(b)));
  ASSERT_TRUE(d.image);
  EXPECT_EQ(d.image->pixelWidth(), 20);
  EXPECT_EQ(server.requestCount(), 0u);
  // Same version: a file added later is not indexed. A new version rebuilds the index.
  const std::string later = makePNG(30, 30, 4);
  czviews_test::writeBundleFile("later.png", later);
  EXPECT_FALSE(cache.locallyCachedImageForChecksum(sha1(later)));
  platform::Bundle::mainBundle().setInfoValue("CFBundleVersion", Value("2.1"));
  auto found = cache.locallyCachedImageForChecksum(sha1(later));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->pixelWidth(), 30);
  // Without any version, nothing is rebuilt.
  platform::Bundle::mainBundle().setInfoValue("CFBundleVersion", Value());
  platform::Bundle::mainBundle().setInfoValue("CFBundleShortVersionString", Value());
  czviews_test::writeBundleFile("unversioned.png", makePNG(3, 3, 5));
  EXPECT_FALSE(cache.locallyCachedImageForChecksum(sha1(makePNG(3, 3, 5))));
  EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(CZWebImageCache::kLocalVersionKey), "2.1");
}

TEST_F(ImageCacheTest, ConcurrentDownloadsAreAllRecordedBeforeTheGroupEnds) {
  constexpr int kCount = 12;
  std::vector<std::string> sums;
  platform::DispatchGroup group;
  std::atomic<int> delivered{0};
  for (int i = 0; i < kCount; ++i) {
    std::string png = makePNG(16 + i, 16, static_cast<uint8_t>(i));
    sums.push_back(sha1(png));
    server.setAnswer("/img" + std::to_string(i), testkit::ScriptedAnswer::text(png));
    CZWebImageCache::sharedCache().loadImageWithURLChecksumCallbackGroup(
        Value(server.url("/img" + std::to_string(i))), Value(sums[i]),
        [&, i](const std::shared_ptr<platform::Image>& image) {
          if (image && image->pixelWidth() == 16 + i) ++delivered;
        },
        group);
  }
  bool done = false;
  group.notify(platform::DispatchQueue::main(), [&] { done = true; });
  settleTraffic();
  ASSERT_TRUE(done);
  // Every callback ran before the group was left.
  EXPECT_EQ(delivered.load(), kCount);
  Value index = cachedIndex();
  EXPECT_EQ(index.size(), static_cast<size_t>(kCount));
  for (const auto& s : sums) EXPECT_EQ(index[s], Value(s));
}

}  // namespace
