#pragma once
// What the asynchronous and the blocking loaders share: turning a URLRequest into a
// configured libcurl easy handle, reading one hop's answer head, deciding and building
// redirects, and naming failures with the platform's codes. Internal to platform_net.
#include <curl/curl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/url_connection.h"

namespace platform::net {

// Builds the platform's error for `code` (kURLErrorDomain) with the failing URL.
Error urlError(long code, const std::string& url);
// The platform's code for a libcurl failure; `osErrno` refines connection failures.
long urlErrorCodeFor(CURLcode result, long osErrno);

// "http"/"https" (lowercase) of an absolute URL, or "" when it has no parsable scheme.
std::string schemeOf(const std::string& url);
bool isLoadableScheme(const std::string& scheme);
// `location` resolved against `base`; nullopt when either cannot be parsed.
std::optional<std::string> resolveURL(const std::string& base, const std::string& location);

// Status codes this loader follows when the answer carries a Location.
bool isFollowedRedirect(long status);
// The request for the next hop: URL resolved, method and body adjusted for the status.
// nullopt when the Location cannot be resolved.
std::optional<URLRequest> redirectedRequest(const URLRequest& current,
                                            const HTTPURLResponse& redirect);

// Owns a configured easy handle for one hop. Not thread-safe.
class EasyHandle {
 public:
  EasyHandle() = default;
  ~EasyHandle() { reset(); }
  EasyHandle(const EasyHandle&) = delete;
  EasyHandle& operator=(const EasyHandle&) = delete;

  // Creates and configures the handle for `request`. Idle limits are the caller's.
  // False when libcurl refuses the request (the handle is then reset).
  bool configure(const URLRequest& request);
  void reset();
  CURL* get() const { return easy_; }

 private:
  CURL* easy_ = nullptr;
  curl_slist* headers_ = nullptr;
};

// Reads one hop's answer through libcurl's callbacks: the head (the last non-1xx block)
// and the body. A redirect's body is swallowed. Subclasses receive the events.
class HopReader {
 public:
  virtual ~HopReader() = default;
  // Points `easy`'s header, write and progress callbacks at this reader.
  void attach(CURL* easy);
  void resetHop();

  // Body bytes beyond `cap` (after decoding) abort the hop, and so does a head whose
  // Content-Length declares more; exceededCap() then tells the caller why libcurl stopped.
  // Applies to the hop's final answer, not to a redirect's swallowed body.
  void setMaximumContentLength(std::optional<uint64_t> cap) { cap_ = cap; }
  bool exceededCap() const { return exceeded_; }

  // One line of the answer's head as libcurl hands it over (line break included): a status
  // line starts a new head, an empty line ends it, a line starting with a space or tab
  // continues the previous field. Public so the reader can be driven without a transfer.
  void headerLine(std::string_view line);

  bool headComplete() const { return headComplete_; }
  long status() const { return status_; }
  const HTTPHeaderFields& headers() const { return headers_; }
  bool isRedirect() const;

 protected:
  virtual void onHead() {}
  virtual void onBody(const char* data, size_t length) = 0;
  virtual void onActivity() {}

 private:
  static size_t headerCallback(char* data, size_t size, size_t count, void* user);
  static size_t writeCallback(char* data, size_t size, size_t count, void* user);
  static int progressCallback(void* user, curl_off_t, curl_off_t dlnow, curl_off_t,
                              curl_off_t ulnow);
  bool declaresMoreThanCap() const;

  bool headComplete_ = false;
  long status_ = 0;
  HTTPHeaderFields headers_;
  std::string lastHeader_;
  curl_off_t lastDown_ = 0;
  curl_off_t lastUp_ = 0;
  std::optional<uint64_t> cap_;
  uint64_t bodyBytes_ = 0;
  bool exceeded_ = false;
};

}  // namespace platform::net
