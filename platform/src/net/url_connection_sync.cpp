// The blocking load: its own easy handle per hop, performed on the calling thread.
#include <atomic>
#include <cmath>

#include "http_exchange.h"
#include "platform/clock.h"
#include "platform/url_connection.h"
#include "platform/dispatch.h"

namespace platform {
namespace {

class BufferingReader final : public net::HopReader {
 public:
  Bytes body;

 protected:
  void onBody(const char* data, size_t length) override {
    body.insert(body.end(), data, data + length);
  }
};

std::optional<Bytes> failWith(Error* error, long code, const std::string& url) {
  if (error) *error = net::urlError(code, url);
  return std::nullopt;
}

}  // namespace

namespace {
std::atomic<size_t> gSynchronousLoads{0};
}  // namespace

size_t URLConnection::synchronousLoadCount() { return gSynchronousLoads.load(); }

std::optional<Bytes> URLConnection::sendSynchronousRequestReturningResponseError(
    const URLRequest& request, HTTPURLResponse* response, Error* error) {
  struct Counted {
    Counted() { ++gSynchronousLoads; }
    ~Counted() { --gSynchronousLoads; }
  } counted;
  DispatchQueue::WaitingScope waiting;
  URLRequest current = request;
  // The blocking load runs on real time whatever clock the process uses.
  SystemClock realTime;
  const double started = realTime.monotonic();
  for (int hop = 0;; ++hop) {
    std::string scheme = net::schemeOf(current.url());
    if (!net::isLoadableScheme(scheme)) {
      return failWith(error, scheme.empty() ? URLErrorBadURL : URLErrorUnsupportedURL,
                      current.url());
    }
    net::EasyHandle easy;
    if (!easy.configure(current)) return failWith(error, URLErrorBadURL, current.url());
    BufferingReader reader;
    reader.attach(easy.get());
    reader.setMaximumContentLength(current.maximumContentLength());
    // Idle limit: fewer than one byte a second for the whole interval counts as stalled.
    long seconds = std::max(1L, static_cast<long>(std::ceil(current.timeoutInterval())));
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT, seconds);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, seconds);
    if (auto deadline = request.deadlineInterval()) {
      // What is left of the deadline bounds this hop as a whole.
      double left = *deadline - (realTime.monotonic() - started);
      if (left <= 0) return failWith(error, URLErrorTimedOut, current.url());
      curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(left * 1000)));
    }
    CURLcode result = curl_easy_perform(easy.get());
    if (reader.exceededCap()) return failWith(error, URLErrorDataLengthExceedsMaximum, current.url());
    if (result != CURLE_OK) {
      long osErrno = 0;
      curl_easy_getinfo(easy.get(), CURLINFO_OS_ERRNO, &osErrno);
      return failWith(error, net::urlErrorCodeFor(result, osErrno), current.url());
    }
    HTTPURLResponse head(current.url(), reader.status(), reader.headers());
    if (!reader.isRedirect()) {
      if (response) *response = std::move(head);
      return std::move(reader.body);
    }
    if (hop + 1 > kMaxRedirects) return failWith(error, URLErrorHTTPTooManyRedirects, current.url());
    auto next = net::redirectedRequest(current, head);
    if (!next) return failWith(error, URLErrorBadURL, current.url());
    current = std::move(*next);
  }
}

}  // namespace platform
