// The blocking load: its own easy handle per hop, performed on the calling thread.
#include <cmath>

#include "http_exchange.h"
#include "platform/url_connection.h"

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

std::optional<Bytes> URLConnection::sendSynchronousRequestReturningResponseError(
    const URLRequest& request, HTTPURLResponse* response, Error* error) {
  URLRequest current = request;
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
    // Idle limit: fewer than one byte a second for the whole interval counts as stalled.
    double timeout = current.timeoutInterval() > 0 ? current.timeoutInterval() : 60.0;
    long seconds = std::max(1L, static_cast<long>(std::ceil(timeout)));
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT, seconds);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, seconds);
    CURLcode result = curl_easy_perform(easy.get());
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
