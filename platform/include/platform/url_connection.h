#pragma once
// HTTP(S) loading as the clients knew it: a request value, a response value, and an
// asynchronous connection that reports to a delegate on the run loop of the thread that
// created it. Built on libcurl; every byte crosses a real socket.
//
// Callback order for one connection, all on the creating thread's loop, never inside the
// call that created or started the connection:
//   connectionWillSendRequestRedirectResponse (first request, redirect response null)
//   [connectionWillSendRequestRedirectResponse (each redirect, with its 3xx response)]*
//   connectionDidReceiveResponse            (once, for the final non-redirect answer)
//   connectionDidReceiveData                (zero or more times)
//   connectionDidFinishLoading | connectionDidFailWithError   (exactly one)
// After cancel() (also from inside any of these) nothing more is called.
//
// Redirects are followed by this class, not by libcurl: 301/302/303 after a POST become a
// GET without body (303 always does); 307/308 keep method and body; a Location whose
// scheme is not http or https fails with URLErrorUnsupportedURL; more than
// kMaxRedirects hops fail with URLErrorHTTPTooManyRedirects. A 304 is an ordinary answer.
// "Accept-Encoding: gzip" (or deflate) on the request makes libcurl ask for and decode the
// encoding; without it nothing is requested. "Expect: 100-continue" is never sent.
// The idle time-out is the request's timeoutInterval measured on Clock::current(): when that
// much time passes with no bytes moving, the connection fails with URLErrorTimedOut.
//
// Two more bounds, both optional and both named on the request:
// - deadlineInterval: the whole load (every redirect hop included) must end within that
//   many seconds of start(), measured on Clock::current(); past it the connection fails
//   with URLErrorTimedOut even while bytes keep arriving. It is the original request's
//   deadline (a substitute or a redirect does not move it).
// - maximumContentLength: the most body bytes the final answer may bring, counted after
//   any content decoding (gzip). A declared Content-Length over the cap fails before
//   connectionDidReceiveResponse; otherwise the connection fails as soon as the count
//   passes the cap, with URLErrorDataLengthExceedsMaximum (bytes up to the last delivery
//   under the cap have been delivered). The cap is that of the request being sent.
// Either failure cancels the load, releases its socket and buffered bytes, and is
// reported exactly once through connectionDidFailWithError.
//
// Time-outs come from servers and pages, so no value may switch a bound off: every
// interval given to a URLRequest (idle time-out or deadline) passes through
// soundTimeInterval(): NaN, infinite, zero or negative becomes kURLDefaultTimeoutInterval
// (60 s); a finite value above kURLMaximumTimeoutInterval (one hour) becomes that maximum.
// TLS peers are verified as usual (certificate chain and host name).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/passkey.h"
#include "platform/value.h"

namespace platform {

inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";

// The platform's error codes (domain kURLErrorDomain).
enum URLError : long {
  URLErrorUnknown = -1,
  URLErrorCancelled = -999,
  URLErrorBadURL = -1000,
  URLErrorTimedOut = -1001,
  URLErrorUnsupportedURL = -1002,
  URLErrorCannotFindHost = -1003,
  URLErrorCannotConnectToHost = -1004,
  URLErrorNetworkConnectionLost = -1005,
  URLErrorHTTPTooManyRedirects = -1007,
  URLErrorNotConnectedToInternet = -1009,
  URLErrorBadServerResponse = -1011,
  URLErrorFileDoesNotExist = -1100,
  // A page that did not itself come from a file asked for a local file.
  URLErrorNoPermissionsToReadFile = -1102,
  // The answer is larger than the request's maximumContentLength.
  URLErrorDataLengthExceedsMaximum = -1103,
  URLErrorSecureConnectionFailed = -1200,
  URLErrorServerCertificateUntrusted = -1202,
};

// Idle time-out of a request that names none (or names one that is not sound).
inline constexpr double kURLDefaultTimeoutInterval = 60.0;
// The longest idle time-out or deadline a request keeps; longer ones are clamped to it.
inline constexpr double kURLMaximumTimeoutInterval = 3600.0;
// The deadline the clients give a whole ad answer, click or landing page load.
inline constexpr double kURLDefaultDeadlineInterval = 60.0;
// The cap the clients give small answers (ad answers, settings, pages); a download names
// a larger cap of its own.
inline constexpr uint64_t kURLDefaultMaximumContentLength = 1024 * 1024;

// The rule every interval on a URLRequest passes through (see the top of this file):
// non-finite or <= 0 gives kURLDefaultTimeoutInterval, above kURLMaximumTimeoutInterval
// gives that maximum, anything else is kept.
double soundTimeInterval(double seconds);

enum class URLRequestCachePolicy {
  UseProtocolCachePolicy = 0,
  ReloadIgnoringLocalCacheData = 1,
  ReturnCacheDataElseLoad = 2,
  ReturnCacheDataDontLoad = 3,
};

// Header fields in the order they were first set; names compare case-insensitively and
// keep the spelling they were first given. A plain value; not thread-safe to mutate.
class HTTPHeaderFields {
 public:
  using Field = std::pair<std::string, std::string>;
  // The value of `name`, or nullopt.
  std::optional<std::string> value(std::string_view name) const;
  bool contains(std::string_view name) const { return value(name).has_value(); }
  // Replaces the value in place (keeping the position), or appends a new field.
  void set(std::string_view name, std::string value);
  // Appends to an existing value with ", ", or adds the field.
  void add(std::string_view name, std::string_view value);
  bool remove(std::string_view name);
  const std::vector<Field>& fields() const { return fields_; }
  size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }

 private:
  std::vector<Field> fields_;
};

// A request value. Copyable; not thread-safe to mutate while another thread reads it.
class URLRequest {
 public:
  URLRequest() = default;
  // `timeoutInterval` passes through soundTimeInterval().
  explicit URLRequest(std::string url,
                      URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy,
                      double timeoutInterval = kURLDefaultTimeoutInterval);

  // The absolute URL text.
  const std::string& url() const { return url_; }
  void setURL(std::string url) { url_ = std::move(url); }

  // "GET" unless set. A method that is not one HTTP token (a space or a line break in it)
  // is never sent: the load fails with URLErrorBadURL.
  const std::string& httpMethod() const { return method_; }
  void setHTTPMethod(std::string method) { method_ = std::move(method); }

  const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const {
    return headers_.value(field);
  }
  // Replaces (or with an empty optional, removes) the field.
  void setValueForHTTPHeaderField(std::optional<std::string> value, std::string_view field);
  void addValueForHTTPHeaderField(std::string_view value, std::string_view field) {
    headers_.add(field, value);
  }
  void setAllHTTPHeaderFields(HTTPHeaderFields fields) { headers_ = std::move(fields); }

  const Bytes& httpBody() const { return body_; }
  void setHTTPBody(Bytes body) { body_ = std::move(body); }
  void setHTTPBody(std::string_view body) { body_.assign(body.begin(), body.end()); }

  // The idle time-out, always sound (set through soundTimeInterval()).
  double timeoutInterval() const { return timeout_; }
  void setTimeoutInterval(double seconds) { timeout_ = soundTimeInterval(seconds); }

  // The total deadline of a load, or nullopt (the default) for none. A value passes
  // through soundTimeInterval(); nullopt removes the deadline.
  std::optional<double> deadlineInterval() const { return deadline_; }
  void setDeadlineInterval(std::optional<double> seconds);

  // The most body bytes the answer may bring, or nullopt (the default) for no cap.
  std::optional<uint64_t> maximumContentLength() const { return maxLength_; }
  void setMaximumContentLength(std::optional<uint64_t> bytes) { maxLength_ = bytes; }

  URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
  void setCachePolicy(URLRequestCachePolicy p) { cachePolicy_ = p; }

  // When true (the default) cookies from the process-wide jar are sent and stored.
  bool httpShouldHandleCookies() const { return handleCookies_; }
  void setHTTPShouldHandleCookies(bool v) { handleCookies_ = v; }

 private:
  std::string url_;
  std::string method_ = "GET";
  HTTPHeaderFields headers_;
  Bytes body_;
  double timeout_ = kURLDefaultTimeoutInterval;
  std::optional<double> deadline_;
  std::optional<uint64_t> maxLength_;
  URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::UseProtocolCachePolicy;
  bool handleCookies_ = true;
};

// An HTTP answer's head. A plain value.
class HTTPURLResponse {
 public:
  HTTPURLResponse() = default;
  HTTPURLResponse(std::string url, long statusCode, HTTPHeaderFields headers)
      : url_(std::move(url)), status_(statusCode), headers_(std::move(headers)) {}

  const std::string& url() const { return url_; }
  long statusCode() const { return status_; }
  const HTTPHeaderFields& allHeaderFields() const { return headers_; }
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const {
    return headers_.value(field);
  }
  // Content-Length as sent, or -1 when unknown (chunked, or decoded from an encoding).
  long long expectedContentLength() const;
  // The media type of Content-Type, lowercased, without parameters ("" when absent).
  std::string mimeType() const;
  // The charset parameter of Content-Type, or "" when absent.
  std::string textEncodingName() const;

 private:
  std::string url_;
  long status_ = 0;
  HTTPHeaderFields headers_;
};

class URLConnection;

// Methods with a default body are optional. Delegates are called on the connection's loop.
class URLConnectionDelegate {
 public:
  virtual ~URLConnectionDelegate() = default;
  // Before the first request (redirectResponse null) and before following each redirect.
  // Return the request to send (the given one, or a substitute), or nullopt to cancel the
  // connection silently (no further callbacks). The default sends `request` unchanged.
  virtual std::optional<URLRequest> connectionWillSendRequestRedirectResponse(
      URLConnection& connection, const URLRequest& request,
      const HTTPURLResponse* redirectResponse) {
    (void)connection;
    (void)redirectResponse;
    return request;
  }
  virtual void connectionDidReceiveResponse(URLConnection& connection,
                                            const HTTPURLResponse& response) {
    (void)connection;
    (void)response;
  }
  virtual void connectionDidReceiveData(URLConnection& connection, const Bytes& data) {
    (void)connection;
    (void)data;
  }
  virtual void connectionDidFinishLoading(URLConnection& connection) { (void)connection; }
  virtual void connectionDidFailWithError(URLConnection& connection, const Error& error) {
    (void)connection;
    (void)error;
  }
};

// An asynchronous load. Created and used on one thread, whose run loop pumps it; that loop
// holds the connection until it ends, so a caller may drop its pointer (fire and forget).
// The delegate is retained until the connection finishes, fails or is cancelled.
// Not thread-safe: every member except the static sendSynchronous… must be called on the
// creating thread.
class URLConnection : public std::enable_shared_from_this<URLConnection> {
 public:
  static constexpr int kMaxRedirects = 16;

  // Creates and starts a connection on the calling thread's loop. A null delegate makes a
  // fire-and-forget load. A request whose URL cannot be loaded still returns a connection;
  // it fails on a later turn with URLErrorUnsupportedURL (or URLErrorBadURL).
  static std::shared_ptr<URLConnection> connectionWithRequestDelegate(
      const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate);
  // As above, started only if `startImmediately`; otherwise call start().
  static std::shared_ptr<URLConnection> create(const URLRequest& request,
                                               std::shared_ptr<URLConnectionDelegate> delegate,
                                               bool startImmediately = true);
  // True for http and https URLs.
  static bool canHandleRequest(const URLRequest& request);

  // Loads on the calling thread, blocking it until the load ends (any thread; meant for
  // background ones; it does not use the run loop). Redirects, the idle time-out, the
  // deadline (both in real time here) and the size cap apply as above. Returns the body, also for 4xx/5xx answers, with the
  // response; on failure returns nullopt and sets *error. Out-parameters may be null.
  static std::optional<Bytes> sendSynchronousRequestReturningResponseError(
      const URLRequest& request, HTTPURLResponse* response, Error* error);

  ~URLConnection();

  // Starts a connection created with startImmediately = false. Idempotent.
  void start();
  // Stops the load; no delegate method is called afterwards, and the delegate is released.
  // Idempotent; safe inside any delegate callback.
  void cancel();

  const URLRequest& originalRequest() const;
  // The request being sent now (after substitutions and redirects).
  const URLRequest& currentRequest() const;
  // True between start and the end (finish, failure or cancel).
  bool isRunning() const;

  // Made only by the factories above.
  URLConnection(Passkey<URLConnection>, const URLRequest& request, std::shared_ptr<URLConnectionDelegate> delegate);

  // --- Tests ------------------------------------------------------------------------------
  // Connections started and not yet ended, process-wide.
  static size_t liveCount();
  // Blocking loads (sendSynchronous…) under way on any thread.
  static size_t synchronousLoadCount();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
