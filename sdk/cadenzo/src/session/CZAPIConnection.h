#pragma once
// Sends CZAPIRequests to the Cadenzo API over HTTP(S) and hands the JSON answer objects to a
// delegate. Requests in flight are kept by a numeric id (1, 2, … per connection object) until
// the first of: the answer is complete, the transport fails, the watchdog fires. The watchdog
// delay comes from the settings' timeout, read for each request: 0 → 30 s, 1–9 → 10 s,
// 10 and more → that many seconds. TLS peers are verified as usual.
//
// Every load carries the watchdog delay as its total deadline too (so a server that keeps
// trickling bytes is cut off at the same moment) and the platform's cap for small answers,
// kURLDefaultMaximumContentLength (refused at its head when it declares a larger length,
// else stopped when its bytes pass the cap).
//
// Failure: no network at send time, a transport error (the deadline and the cap included,
// logged once), the watchdog, a status outside 200–299, or an answer that is not a JSON
// object all fail the request. A failed request
// marked ensureDelivery on a connection with an identifier is archived into the user
// defaults under "CZQueuedRequests-<identifier>" (the delegate hears nothing); any other
// failed request reaches didFailToReceiveAPIResponseForRequest. A request is never
// answered and failed both, and fails at most once.
// Ownership: the delegate is not retained. The connection is kept alive by its requests in
// flight (as their transport retains it).
// Thread safety: main thread only; callbacks arrive on the main run loop.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CZAPIRequest.h"
#include "CZSessionSettings.h"
#include "platform/error.h"
#include "platform/passkey.h"
#include "platform/value.h"

namespace platform {
class URLConnection;
class HTTPURLResponse;
}  // namespace platform

namespace cadenzo {

class CZAPIConnectionDelegate {
 public:
  virtual ~CZAPIConnectionDelegate() = default;
  virtual void didReceiveAPIResponseForRequest(const platform::Dictionary& response,
                                               const std::shared_ptr<CZAPIRequest>& request) = 0;
  virtual void didFailToReceiveAPIResponseForRequest(const std::shared_ptr<CZAPIRequest>& request) = 0;
};

class CZAPIConnection : public std::enable_shared_from_this<CZAPIConnection> {
 public:
  static constexpr const char* kQueuedRequestsKeyPrefix = "CZQueuedRequests-";
  // The endpoint new connections use: scheme and host (and port) the uris are appended to.
  // Configuration; "https://api.cadenzo.com" unless set. Thread-safe.
  static std::string defaultEndpoint();
  static void setDefaultEndpoint(std::string endpoint);

  // initWithDelegate: / initWithDelegate:identifier: / initWithEndpoint:andDelegate:identifier:
  // `settings` gives the credentials and time-out the connection reads while it works; none
  // means no credentials and the default time-out.
  static std::shared_ptr<CZAPIConnection> createWithDelegate(std::weak_ptr<CZAPIConnectionDelegate> delegate,
                                                             std::shared_ptr<const CZSessionSettings> settings = {});
  static std::shared_ptr<CZAPIConnection> createWithDelegateIdentifier(
      std::weak_ptr<CZAPIConnectionDelegate> delegate, std::optional<std::string> identifier,
      std::shared_ptr<const CZSessionSettings> settings = {});
  static std::shared_ptr<CZAPIConnection> createWithEndpointAndDelegateIdentifier(
      std::string endpoint, std::weak_ptr<CZAPIConnectionDelegate> delegate,
      std::optional<std::string> identifier, std::shared_ptr<const CZSessionSettings> settings = {});
  ~CZAPIConnection();

  void sendRequest(const std::shared_ptr<CZAPIRequest>& request);
  // Resends the queued requests (when the internet is reachable), re-signed with the
  // settings' current credentials, since an archive keeps no headers. Without credentials
  // the queue is left for a later retry. Each stays on disk, in its place, until an accepted
  // answer takes it off; one that fails again waits there for the next retry (the delegate
  // hears nothing), and one still in flight from an earlier retry is not sent again. An
  // entry that does not unarchive is dropped.
  void retryDeliveries();
  void didFailForRequest(const std::shared_ptr<CZAPIRequest>& request);

  // The answer object of a finished load: a JSON object in a 200–299 answer (statusCode 0:
  // no answer head came), else nullopt. Any bytes are safe here.
  static std::optional<platform::Dictionary> answerObjectForStatusData(long statusCode, const platform::Bytes& data);

  const std::string& endpoint() const { return endpoint_; }
  const std::optional<std::string>& identifier() const { return identifier_; }
  std::shared_ptr<CZAPIConnectionDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<CZAPIConnectionDelegate> d) { delegate_ = std::move(d); }
  uint32_t requestIdMax() const { return requestIdMax_; }
  // ---- For tests ----
  // How many requests are in flight.
  size_t activeConnectionCountForTesting() const { return activeConnections_.size(); }
  // "CZQueuedRequests-<identifier>", or "" without identifier.
  std::string queueKey() const;

  CZAPIConnection(platform::Passkey<CZAPIConnection>, std::string endpoint,
                  std::weak_ptr<CZAPIConnectionDelegate> delegate, std::optional<std::string> identifier,
                  std::shared_ptr<const CZSessionSettings> settings);

 private:
  struct Record;
  class Tagged;
  friend class Tagged;

  void connectionDidReceiveResponse(uint32_t tag, const platform::HTTPURLResponse& response);
  void connectionDidReceiveData(uint32_t tag, const platform::Bytes& data);
  void connectionDidFailWithError(uint32_t tag);
  // The transport gave up (no answer, too many redirects …): said once, then the request fails.
  void transportDidFailWithError(uint32_t tag, const platform::Error& error);
  void connectionDidFinishLoading(uint32_t tag);
  void watchdogFired(uint32_t tag);
  // Cancels the load of `tag` and fails its request.
  void abandon(uint32_t tag);
  // `queued`: the queue entry a retry resends with the request.
  void send(const std::shared_ptr<CZAPIRequest>& request, std::optional<platform::Bytes> queued);
  void requestFailed(const std::shared_ptr<CZAPIRequest>& request, const std::optional<platform::Bytes>& queued);
  // A resent entry's answer came: no longer in flight, and off the disk when `remove`.
  void settleQueued(const platform::Bytes& entry, bool remove);

  std::string endpoint_;
  std::map<uint32_t, std::shared_ptr<Record>> activeConnections_;
  std::optional<std::string> identifier_;
  std::weak_ptr<CZAPIConnectionDelegate> delegate_;
  std::shared_ptr<const CZSessionSettings> settings_;
  uint32_t requestIdMax_ = 1;
  // Queue entries resent and not yet answered (equal entries once each).
  std::vector<platform::Bytes> resending_;
};

// The watchdog delay for a configured timeout: 0 → 30, 1–9 → 10, otherwise the value.
double CZAPIWatchdogDelay(unsigned long timeout);

}  // namespace cadenzo
