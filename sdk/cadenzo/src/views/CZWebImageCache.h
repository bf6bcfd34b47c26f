#pragma once
// The pictures of native ads. Each asset names a URL and a checksum (the lower-case hex
// SHA-1 of the image file). A picture is taken, in this order, from the application bundle
// (any PNG or JPG file of the bundle with that SHA-1), from the client's disk cache
// ("CadenzoCachedAssets" in the caches folder, one file per checksum), or downloaded,
// checked against the checksum and added to the disk cache. The disk cache only grows.
//
// The bundle index (checksum -> path of the bundle file) is built from the files
// themselves, once per application version ("CFBundleVersion", else the short version).
//
// Ownership: one process-wide object, never destroyed; it holds no state besides the user
// defaults keys below and the files of its folder.
// Thread safety: every member may be called from any thread. Lookups and downloads run on
// the global background queue, several at a time; the user-defaults dictionaries are
// rewritten under one lock, so concurrent downloads all stay recorded.
// Failure: a failed download, a checksum mismatch or undecodable data gives no image;
// nothing else is reported. Every download is bounded, and a download past a bound gives
// no image and is logged: a picture larger than maxImageBytes() (refused at its head when it
// declares its length, else stopped when its bytes pass the cap), and one not complete
// kDownloadDeadlineSeconds after it started (a server that never answers, or trickles). So
// a view waiting for its pictures always hears about each of them.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/image.h"
#include "platform/url_connection.h"
#include "platform/value.h"

namespace cadenzo {

class CZWebImageCache {
 public:
  static constexpr const char* kCachedAssetsFolder = "CadenzoCachedAssets";
  static constexpr const char* kCachedImagesKey = "CZWebImageCacheCachedImages";
  static constexpr const char* kLocalImagesKey = "CZWebImageCacheLocalImages";
  static constexpr const char* kLocalVersionKey = "CZWebImageCacheLocalVersion";

  // Far above any ad picture; a server sending more is not sending a picture.
  // Pictures are downloads, so they get a cap of their own, larger than the small answers'.
  static constexpr size_t kMaxImageBytes = 32 * 1024 * 1024;
  // The most a picture may take from the start of its download, redirects included.
  static constexpr double kDownloadDeadlineSeconds = platform::kURLDefaultDeadlineInterval;

  using Callback = std::function<void(const std::shared_ptr<platform::Image>& image)>;

  // The bound in force: kMaxImageBytes unless a test lowered it (0 restores it).
  static size_t maxImageBytes();
  static void setMaxImageBytesForTesting(size_t bytes);

  static CZWebImageCache& sharedCache();

  // Does nothing unless `url` and `checksum` are both strings. Otherwise looks the picture
  // up (or downloads it) on the global background queue, then runs `callback` (when set) on
  // the main thread with the picture or nullptr. With a group, the group is entered at once
  // and left only after the callback has returned.
  void loadImageWithURLChecksumCallbackGroup(const platform::Value& url, const platform::Value& checksum,
                                             Callback callback,
                                             std::optional<platform::DispatchGroup> group = std::nullopt);

  // The bundle's copy, else the disk cache's; nullptr when neither has it. Blocking: reads
  // files (and may build the bundle index); meant for the background queue.
  std::shared_ptr<platform::Image> locallyCachedImageForChecksum(const std::string& checksum);

  // Downloads `url` (http or https only, at most maxImageBytes(), within
  // kDownloadDeadlineSeconds) on the calling thread,
  // running that thread's own loop until the load ends; when the data's SHA-1 equals
  // `checksum` exactly and the data is an image, stores it and answers it. Blocking.
  std::shared_ptr<platform::Image> fetchAndCacheImageWithURLChecksum(const std::string& url,
                                                                    const std::string& checksum);

  // Rebuilds the bundle index when the application version changed since it was built.
  void ensureExistenceOfLocalImageCache();

  // The folder of the disk cache.
  static std::string cachedAssetsPath();

 private:
  CZWebImageCache() = default;
};

}  // namespace cadenzo
