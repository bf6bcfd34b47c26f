#include "CZWebImageCache.h"

#include <mutex>
#include <vector>

#include "platform/bundle.h"
#include "platform/crypto.h"
#include "platform/file_manager.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"
#include "platform/url.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"

namespace cadenzo {

using platform::Bundle;
using platform::Bytes;
using platform::Dictionary;
using platform::FileManager;
using platform::Image;
using platform::UserDefaults;
using platform::Value;

namespace {

// Guards the read-modify-write of both defaults dictionaries and the index rebuild: two
// downloads finishing together must both stay recorded, and two lookups must not build the
// index twice over each other.
std::recursive_mutex& defaultsMutex() {
  static std::recursive_mutex m;
  return m;
}

// Every regular file under `root` (relative paths, sorted per folder). Links that leave
// the bundle are not followed, and linked folders are not entered, so a loop cannot trap
// the walk.
void collectFiles(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  const std::string folder = relative.empty() ? root : FileManager::stringByAppendingPathComponent(root, relative);
  auto names = FileManager::contentsOfDirectoryAtPath(folder);
  if (!names) return;
  for (const auto& name : *names) {
    const std::string rel = relative.empty() ? name : relative + "/" + name;
    auto confined = FileManager::confinedPath(root, rel);
    if (!confined) continue;
    if (FileManager::isDirectory(*confined)) {
      if (!FileManager::isSymbolicLink(*confined)) collectFiles(root, rel, out);
      continue;
    }
    out.push_back(rel);
  }
}

struct ImageBound {
  size_t bytes = CZWebImageCache::kMaxImageBytes;
};

platform::ProcessState<ImageBound>& imageBoundState() {
  static platform::ProcessState<ImageBound> state;
  return state;
}

// One picture download. The request itself carries the bounds: a picture past the cap
// fails at its head or as its bytes pass it, and the deadline ends a server that trickles
// or never answers, so whoever waits for the pictures is told in the end.
class PictureDownload : public platform::URLConnectionDelegate {
 public:
  void connectionDidReceiveData(platform::URLConnection&, const Bytes& data) override {
    data_.insert(data_.end(), data.begin(), data.end());
  }
  void connectionDidFinishLoading(platform::URLConnection&) override {
    complete_ = true;
    done_ = true;
  }
  void connectionDidFailWithError(platform::URLConnection& connection, const platform::Error& error) override {
    if (error.code == platform::URLErrorDataLengthExceedsMaximum || error.code == platform::URLErrorTimedOut)
      platform::logf("CZWebImageCache: %@ %@; not loaded", Value(connection.originalRequest().url()),
                     Value(error.code == platform::URLErrorTimedOut ? "took too long" : "is too large"));
    data_.clear();
    done_ = true;
  }

  bool done() const { return done_; }
  // The body of a load that ended well, else nullopt.
  std::optional<Bytes> take() { return complete_ ? std::optional<Bytes>(std::move(data_)) : std::nullopt; }

 private:
  Bytes data_;
  bool complete_ = false;
  bool done_ = false;
};

std::optional<Bytes> boundedDownload(const std::string& url, size_t limit) {
  auto download = std::make_shared<PictureDownload>();
  auto& loop = platform::RunLoop::current();
  platform::URLRequest request(url);
  request.setMaximumContentLength(limit);
  request.setDeadlineInterval(CZWebImageCache::kDownloadDeadlineSeconds);
  auto connection = platform::URLConnection::connectionWithRequestDelegate(request, download);
  while (!download->done()) loop.runOnce(1.0);
  return download->take();
}

std::string applicationVersion() {
  auto& bundle = Bundle::mainBundle();
  std::string version = bundle.version();
  if (version.empty()) version = bundle.shortVersion();
  return version;
}

}  // namespace

size_t CZWebImageCache::maxImageBytes() {
  return imageBoundState().read(&ImageBound::bytes);
}

void CZWebImageCache::setMaxImageBytesForTesting(size_t bytes) {
  imageBoundState().write(&ImageBound::bytes, bytes ? bytes : kMaxImageBytes);
}

CZWebImageCache& CZWebImageCache::sharedCache() {
  static CZWebImageCache* instance = new CZWebImageCache();
  return *instance;
}

std::string CZWebImageCache::cachedAssetsPath() {
  return FileManager::stringByAppendingPathComponent(platform::Sandbox::caches(), kCachedAssetsFolder);
}

void CZWebImageCache::loadImageWithURLChecksumCallbackGroup(const Value& url, const Value& checksum, Callback callback,
                                                           std::optional<platform::DispatchGroup> group) {
  if (!url.isString() || !checksum.isString()) return;
  // The group is left only once the callback has run on the main thread, so whoever waits
  // for it sees every picture stored. The worker does not block on the main thread meanwhile.
  if (group) group->enter();
  platform::DispatchQueue::global().async(
      [this, url = url.string().str(), checksum = checksum.string().str(), callback = std::move(callback), group]() mutable {
        auto image = locallyCachedImageForChecksum(checksum);
        if (!image) image = fetchAndCacheImageWithURLChecksum(url, checksum);
        if (!callback) {
          if (group) group->leave();
          return;
        }
        platform::DispatchQueue::main().async([callback, image, group]() mutable {
          callback(image);
          if (group) group->leave();
        });
      });
}

std::shared_ptr<Image> CZWebImageCache::locallyCachedImageForChecksum(const std::string& checksum) {
  ensureExistenceOfLocalImageCache();
  auto& defaults = UserDefaults::standardUserDefaults();
  Value local, cached;
  {
    std::lock_guard<std::recursive_mutex> lock(defaultsMutex());
    local = defaults.dictionaryForKey(kLocalImagesKey);
    cached = defaults.dictionaryForKey(kCachedImagesKey);
  }
  const Value& bundleFile = local[checksum];
  if (bundleFile.isString()) {
    // The very file that was hashed (a named lookup could pick a "@2x" sibling instead).
    if (auto path = FileManager::confinedPath(Bundle::mainBundle().bundlePath(), bundleFile.string())) {
      if (auto image = Image::imageWithContentsOfFile(*path)) return image;
    }
  }
  const Value& cachedFile = cached[checksum];
  if (cachedFile.isString()) {
    if (auto path = FileManager::confinedPath(cachedAssetsPath(), cachedFile.string())) {
      if (auto data = FileManager::contentsAtPath(*path)) return Image::imageWithData(*data);
    }
  }
  return nullptr;
}

std::shared_ptr<Image> CZWebImageCache::fetchAndCacheImageWithURLChecksum(const std::string& url,
                                                                          const std::string& checksum) {
  // Ad answers name remote pictures only; a file URL from a server must not read our disk.
  auto parsed = platform::URL::create(url);
  const std::string scheme = parsed ? parsed->scheme().value_or("") : "";
  if (scheme != "http" && scheme != "https") return nullptr;
  auto data = boundedDownload(url, maxImageBytes());
  if (!data || data->empty()) return nullptr;
  if (platform::crypto::sha1Hex(std::string_view(reinterpret_cast<const char*>(data->data()), data->size())) != checksum)
    return nullptr;
  auto image = Image::imageWithData(*data);
  if (!image) return nullptr;

  // A checksum that matched is 40 hex digits, so it is a safe file name.
  const std::string folder = cachedAssetsPath();
  if (!FileManager::isDirectory(folder) && !FileManager::createDirectoryAtPath(folder, true)) return image;
  if (!FileManager::writeAtomically(FileManager::stringByAppendingPathComponent(folder, checksum), *data)) return image;
  std::lock_guard<std::recursive_mutex> lock(defaultsMutex());
  auto& defaults = UserDefaults::standardUserDefaults();
  Value entries = defaults.dictionaryForKey(kCachedImagesKey);
  entries.mutableDictionary().set(checksum, Value(checksum));
  defaults.setObjectForKey(entries, kCachedImagesKey);
  return image;
}

void CZWebImageCache::ensureExistenceOfLocalImageCache() {
  const std::string version = applicationVersion();
  if (version.empty()) return;
  std::lock_guard<std::recursive_mutex> lock(defaultsMutex());
  auto& defaults = UserDefaults::standardUserDefaults();
  if (defaults.stringForKey(kLocalVersionKey) == version) return;
  defaults.setObjectForKey(Value(version), kLocalVersionKey);

  const std::string root = Bundle::mainBundle().bundlePath();
  std::vector<std::string> files;
  collectFiles(root, "", files);
  Dictionary index;
  for (const auto& relative : files) {
    const std::string ext = FileManager::pathExtension(relative);
    if (ext != "png" && ext != "jpg") continue;
    // The walked file itself: looking the name up as a resource would hash whichever file
    // of that name the bundle finds first, and record it under the wrong path.
    auto data = FileManager::contentsAtPath(FileManager::stringByAppendingPathComponent(root, relative));
    if (!data) continue;
    const std::string sum = platform::crypto::sha1Hex(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    index.set(sum, Value(relative));
  }
  defaults.setObjectForKey(Value(std::move(index)), kLocalImagesKey);
}

}  // namespace cadenzo
