#include "QLCachedFile.h"

#include <cmath>

#include "QLNetworkUtilities.h"
#include "platform/clock.h"
#include "platform/file_manager.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "platform/sandbox.h"
#include "platform/web_view.h"

namespace quillon {

using platform::Error;
using platform::FileManager;
using platform::URL;

namespace {
constexpr double kSecondsFrom1970To2001 = 978307200.0;

// FNV-1a: the same name for the same URL in every launch.
uint32_t stableHash(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}
}  // namespace

class QLCachedFile::ConnectionListener : public platform::URLConnectionDelegate {
 public:
  explicit ConnectionListener(std::weak_ptr<QLCachedFile> owner) : owner_(std::move(owner)) {}

  std::optional<platform::URLRequest> connectionWillSendRequestRedirectResponse(
      platform::URLConnection&, const platform::URLRequest& request,
      const platform::HTTPURLResponse* redirectResponse) override {
    auto owner = owner_.lock();
    if (!owner) return std::nullopt;
    return owner->willSendRequest(request, redirectResponse);
  }
  void connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) override {
    if (auto owner = owner_.lock()) owner->didReceiveResponse(response);
  }
  void connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& data) override {
    if (auto owner = owner_.lock()) owner->didReceiveData(data);
  }
  void connectionDidFinishLoading(platform::URLConnection&) override {
    if (auto owner = owner_.lock()) owner->didFinishLoading();
  }
  void connectionDidFailWithError(platform::URLConnection&, const Error& error) override {
    if (auto owner = owner_.lock()) {
      owner->cleanUpConnection();
      platform::logf("<Quillon> The download of %@ failed: %@", owner->sourceURL_.absoluteString(),
                     error.localizedDescription());
      owner->didFail(error);
    }
  }

 private:
  std::weak_ptr<QLCachedFile> owner_;
};

std::shared_ptr<QLCachedFile> QLCachedFile::create(std::weak_ptr<QLCachedFileDelegate> delegate, const URL& url) {
  return std::make_shared<QLCachedFile>(Passkey{}, std::move(delegate), url);
}

QLCachedFile::QLCachedFile(Passkey, std::weak_ptr<QLCachedFileDelegate> delegate, const URL& url)
    : delegate_(std::move(delegate)), sourceURL_(url), httpDestinationURL_(url) {}

QLCachedFile::~QLCachedFile() {
  delegate_.reset();
  cleanUpConnection();
}

void QLCachedFile::validate() { beginFetchWithCacheBuster(false); }

void QLCachedFile::validateWithCacheBuster() { beginFetchWithCacheBuster(true); }

void QLCachedFile::beginFetchWithCacheBuster(bool cacheBuster) {
  if (connection_) return;
  URL url = sourceURL_;
  if (cacheBuster) {
    double since2001 = platform::Clock::current().now() - kSecondsFrom1970To2001;
    if (auto busted = QLNetworkUtilities::appendQueryKeyValueToURL(
            "unique", platform::Value(platform::format("%.0f", since2001)), url))
      url = *busted;
  }
  platform::URLRequest request(url.absoluteString(), platform::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  request.setHTTPShouldHandleCookies(true);
  // A server that trickles or never answers would otherwise hold the load (and, for a
  // tracker, the application's background time) for ever.
  request.setDeadlineInterval(platform::kURLDefaultDeadlineInterval);
  // As large as a page the web view itself takes: the ad page and the builder script go there.
  request.setMaximumContentLength(platform::kWebViewMaximumContentLength);
  if (auto agent = QLNetworkUtilities::userAgentString()) request.setValueForHTTPHeaderField(*agent, "User-Agent");
  if (auto path = filePath(); path && FileManager::fileExistsAtPath(*path)) {
    if (auto modified = FileManager::modificationDate(*path)) {
      std::string date = formatterForHTTPDate().stringFromDate(*modified);
      if (!date.empty()) request.setValueForHTTPHeaderField(date + " GMT", "If-Modified-Since");
    }
  }
  receivedData_.clear();
  receivedModificationDate_.reset();
  connection_ = platform::URLConnection::connectionWithRequestDelegate(
      request, std::make_shared<ConnectionListener>(weak_from_this()));
  if (!connection_) didFail(std::nullopt);
}

void QLCachedFile::cancel() { cleanUpConnection(); }

void QLCachedFile::invalidate() {
  cancel();
  if (auto path = filePath(); path && FileManager::itemExistsAtPath(*path)) FileManager::removeItemAtPath(*path);
}

std::optional<std::string> QLCachedFile::filePath() const {
  if (!filePath_) {
    // The host comes from outside: it names a folder only when it is one plain name.
    std::string host = sourceURL_.host().value_or("");
    std::string name = platform::format("%x", stableHash(sourceURL_.absoluteString()));
    std::string relative = host.empty() || host == "." || host == ".." ? name : host + "/" + name;
    filePath_ = FileManager::confinedPath(platform::Sandbox::caches(), relative);
  }
  return *filePath_;
}

std::optional<std::string> QLCachedFile::content() const {
  auto path = filePath();
  if (!path) return std::nullopt;
  return FileManager::stringContentsAtPath(*path);
}

bool QLCachedFile::hasContent() const {
  auto path = filePath();
  return path && FileManager::fileExistsAtPath(*path);
}

std::string QLCachedFile::description() const {
  return platform::format("<%@: %p> HTTP code: %i\n\turl: %@\n\tfile: %@", "QLCachedFile",
                          static_cast<const void*>(this), httpStatusCode_, sourceURL_.absoluteString(),
                          filePath().value_or("(null)"));
}

std::optional<platform::URLRequest> QLCachedFile::willSendRequest(const platform::URLRequest& request,
                                                                  const platform::HTTPURLResponse* redirect) {
  auto keep = shared_from_this();
  if (auto destination = URL::create(request.url())) httpDestinationURL_ = *destination;
  if (redirect) {
    httpHeaders_ = redirect->allHeaderFields();
    std::optional<Error> stop;
    if (auto d = delegate()) stop = d->cachedFileShouldRedirectToURL(*this, httpDestinationURL_);
    if (stop) {
      cleanUpConnection();
      didFail(stop);
      return std::nullopt;
    }
  }
  return request;
}

void QLCachedFile::didReceiveResponse(const platform::HTTPURLResponse& response) {
  auto keep = shared_from_this();
  httpStatusCode_ = response.statusCode();
  httpHeaders_ = response.allHeaderFields();
  receivedData_.clear();
  // Only a whole answer replaces the file: a 204 has nothing to show and a 206 is a piece.
  if (httpStatusCode_ == 200) {
    receivedModificationDate_ = response.valueForHTTPHeaderField("Last-Modified");
    return;
  }
  cleanUpConnection();
  if (httpStatusCode_ == 304) {
    if (auto d = delegate()) d->cachedFileDownloadDidEnd(*this);
  } else {
    didFail(std::nullopt);
  }
}

void QLCachedFile::didReceiveData(const platform::Bytes& data) {
  receivedData_.insert(receivedData_.end(), data.begin(), data.end());
}

void QLCachedFile::didFinishLoading() {
  auto keep = shared_from_this();
  platform::Bytes data;
  data.swap(receivedData_);
  std::optional<std::string> lastModified = std::move(receivedModificationDate_);
  cleanUpConnection();
  auto path = filePath();
  bool written = path &&
                 FileManager::createDirectoryAtPath(FileManager::stringByDeletingLastPathComponent(*path), true) &&
                 FileManager::writeAtomically(*path, data);
  if (!written) {
    didFail(Error{
        "NSCocoaErrorDomain", 512,
        platform::Value(platform::Dictionary{{platform::kLocalizedDescriptionKey,
                                              platform::Value(platform::format("The file for %@ could not be written.",
                                                                               sourceURL_.absoluteString()))}})});
    return;
  }
  // The file's times say which version of the URL it holds: the next request asks for
  // anything newer than that.
  if (auto modified = lastModified ? platform::parseHTTPDate(*lastModified) : std::nullopt) {
    FileManager::setAccessDate(*path, std::floor(*modified));
    FileManager::setModificationDate(*path, std::floor(*modified));
  }
  if (auto d = delegate()) d->cachedFileDownloadDidEnd(*this);
}

std::optional<std::string> QLCachedFile::fileModificationDate() const {
  auto path = filePath();
  auto modified = path ? FileManager::modificationDate(*path) : std::nullopt;
  if (!modified) return std::nullopt;
  return formatterForHTTPDate().stringFromDate(*modified);
}

platform::DateFormatter QLCachedFile::formatterForHTTPDate() {
  return platform::DateFormatter("EEE, dd MMM yyyy HH:mm:ss", platform::TimeZone::utc());
}

void QLCachedFile::didFail(const std::optional<Error>& error) {
  auto keep = shared_from_this();
  if (auto d = delegate()) d->cachedFileDownloadDidFail(*this, error);
}

void QLCachedFile::cleanUpConnection() {
  if (connection_) {
    auto connection = std::move(connection_);
    connection->cancel();
  }
  receivedData_.clear();
  receivedModificationDate_.reset();
}

}  // namespace quillon
