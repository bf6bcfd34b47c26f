#pragma once
// One URL downloaded into a file under Library/Caches (the source URL's host as folder, a
// stable hash of the URL as name), told to a delegate. One connection at a time, on the main
// run loop; a file that goes away tells nobody. A file on disk is revalidated: the request
// carries its modification time as If-Modified-Since, and the file takes the answer's
// Last-Modified as its times. Only a 200 answer is a success, and 304 is one too (the file is
// kept as it is); other statuses (204 and 206 among them), transport errors, a stopped
// redirect and a failed write are failures that leave the old file in place. Files are
// replaced atomically. Every fetch is bounded, since the answers come from servers the
// client does not control: it must end within kURLDefaultDeadlineInterval of its start (else
// it fails with the platform's time-out error) and bring at most kWebViewMaximumContentLength
// bytes, what the web view takes for a page (else it fails with the platform's "data length
// exceeds maximum" error); a failed fetch is logged once.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/date_formatter.h"
#include "platform/error.h"
#include "platform/url.h"
#include "platform/url_connection.h"
#include "platform/value.h"
#include "platform/passkey.h"

namespace quillon {

class QLCachedFile;

// Every method optional.
class QLCachedFileDelegate {
 public:
  virtual ~QLCachedFileDelegate() = default;
  // The file on disk is current.
  virtual void cachedFileDownloadDidEnd(QLCachedFile& file) { (void)file; }
  virtual void cachedFileDownloadDidFail(QLCachedFile& file, const std::optional<platform::Error>& error) {
    (void)file;
    (void)error;
  }
  // nullopt follows the redirect; an error stops the download with it.
  virtual std::optional<platform::Error> cachedFileShouldRedirectToURL(QLCachedFile& file, const platform::URL& url) {
    (void)file;
    (void)url;
    return std::nullopt;
  }
};

class QLCachedFile : public std::enable_shared_from_this<QLCachedFile> {
 public:
  static std::shared_ptr<QLCachedFile> create(std::weak_ptr<QLCachedFileDelegate> delegate, const platform::URL& url);
  ~QLCachedFile();

  // Starts a download unless one is running.
  void validate();
  // The same with the query parameter "unique" (seconds since 2001) defeating caches between.
  void validateWithCacheBuster();
  // Stops the download and drops what it received.
  void cancel();
  // Cancels, then deletes the cache file.
  void invalidate();

  std::optional<std::string> content() const;
  bool hasContent() const;
  // The cache file's path; nothing when the URL names no place inside the caches folder.
  std::optional<std::string> filePath() const;
  const platform::URL& sourceURL() const { return sourceURL_; }
  // The URL of the last request sent (after redirects).
  const platform::URL& httpDestinationURL() const { return httpDestinationURL_; }
  // 0 until an HTTP answer arrives.
  long httpStatusCode() const { return httpStatusCode_; }
  // The fields of the last answer, a redirect's included.
  const platform::HTTPHeaderFields& httpHeaders() const { return httpHeaders_; }
  std::shared_ptr<QLCachedFileDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<QLCachedFileDelegate> delegate) { delegate_ = std::move(delegate); }
  // "<%@: %p> HTTP code: %i\n\turl: %@\n\tfile: %@"
  std::string description() const;
  // The file's modification time as an HTTP date without its zone; nothing without a file.
  std::optional<std::string> fileModificationDate() const;
  // "EEE, dd MMM yyyy HH:mm:ss" in en_US_POSIX at GMT.
  static platform::DateFormatter formatterForHTTPDate();

  using Passkey = platform::Passkey<QLCachedFile>;
  QLCachedFile(Passkey, std::weak_ptr<QLCachedFileDelegate> delegate, const platform::URL& url);

 private:
  class ConnectionListener;
  friend class ConnectionListener;

  std::optional<platform::URLRequest> willSendRequest(const platform::URLRequest& request,
                                                      const platform::HTTPURLResponse* redirect);
  void didReceiveResponse(const platform::HTTPURLResponse& response);
  void didReceiveData(const platform::Bytes& data);
  void didFinishLoading();
  void didFail(const std::optional<platform::Error>& error);
  void cleanUpConnection();
  void beginFetchWithCacheBuster(bool cacheBuster);

  std::weak_ptr<QLCachedFileDelegate> delegate_;
  platform::URL sourceURL_;
  mutable std::optional<std::optional<std::string>> filePath_;
  std::shared_ptr<platform::URLConnection> connection_;
  platform::Bytes receivedData_;
  platform::URL httpDestinationURL_;
  long httpStatusCode_ = 0;
  platform::HTTPHeaderFields httpHeaders_;
  // The Last-Modified of the answer being received, applied to the file once written.
  std::optional<std::string> receivedModificationDate_;
};

}  // namespace quillon
