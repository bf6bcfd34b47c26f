#include "CZAPIConnection.h"

#include <algorithm>
#include <mutex>

#include "CZJsonParser.h"
#include "CZReachability.h"
#include "platform/dispatch.h"
#include "platform/format.h"
#include "platform/log.h"
#include "platform/singleton.h"
#include "platform/url_connection.h"
#include "platform/user_defaults.h"

namespace cadenzo {

using platform::Passkey;

namespace {

platform::ProcessState<std::string>& endpointState() {
  static platform::ProcessState<std::string> state([] { return std::string("https://api.cadenzo.com"); });
  return state;
}

}  // namespace

// The in-flight record: the request, the bytes so far, the answer's head once it came, and
// the transport (so the watchdog can cancel it).
struct CZAPIConnection::Record {
  std::shared_ptr<CZAPIRequest> request;
  platform::Bytes data;
  std::optional<platform::HTTPURLResponse> response;
  std::shared_ptr<platform::URLConnection> connection;
  // The queue entry this load resends: it stays on disk until the answer settles it.
  std::optional<platform::Bytes> queued;
};

// The transport's delegate for one request: it carries the request id, as the tagged
// connection did, and keeps the API connection alive while the load runs.
class CZAPIConnection::Tagged : public platform::URLConnectionDelegate {
 public:
  Tagged(std::shared_ptr<CZAPIConnection> owner, uint32_t tag) : owner_(std::move(owner)), tag_(tag) {}
  void connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& r) override {
    owner_->connectionDidReceiveResponse(tag_, r);
  }
  void connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& d) override {
    owner_->connectionDidReceiveData(tag_, d);
  }
  void connectionDidFinishLoading(platform::URLConnection&) override { owner_->connectionDidFinishLoading(tag_); }
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) override {
    owner_->transportDidFailWithError(tag_, error);
  }

 private:
  std::shared_ptr<CZAPIConnection> owner_;
  uint32_t tag_;
};

double CZAPIWatchdogDelay(unsigned long timeout) {
  if (timeout == 0) return 30;
  if (timeout < 10) return 10;
  return static_cast<double>(timeout);
}

std::string CZAPIConnection::defaultEndpoint() {
  return endpointState().with([](std::string& e) { return e; });
}

void CZAPIConnection::setDefaultEndpoint(std::string endpoint) {
  endpointState().with([&](std::string& e) { e = std::move(endpoint); });
}

CZAPIConnection::CZAPIConnection(Passkey<CZAPIConnection>, std::string endpoint, std::weak_ptr<CZAPIConnectionDelegate> delegate,
                                 std::optional<std::string> identifier,
                                 std::shared_ptr<const CZSessionSettings> settings)
    : endpoint_(std::move(endpoint)),
      identifier_(std::move(identifier)),
      delegate_(std::move(delegate)),
      settings_(std::move(settings)) {}

CZAPIConnection::~CZAPIConnection() = default;

std::shared_ptr<CZAPIConnection> CZAPIConnection::createWithDelegate(std::weak_ptr<CZAPIConnectionDelegate> delegate,
                                                                     std::shared_ptr<const CZSessionSettings> settings) {
  return createWithDelegateIdentifier(std::move(delegate), std::nullopt, std::move(settings));
}

std::shared_ptr<CZAPIConnection> CZAPIConnection::createWithDelegateIdentifier(
    std::weak_ptr<CZAPIConnectionDelegate> delegate, std::optional<std::string> identifier,
    std::shared_ptr<const CZSessionSettings> settings) {
  return createWithEndpointAndDelegateIdentifier(defaultEndpoint(), std::move(delegate), std::move(identifier),
                                                 std::move(settings));
}

std::shared_ptr<CZAPIConnection> CZAPIConnection::createWithEndpointAndDelegateIdentifier(
    std::string endpoint, std::weak_ptr<CZAPIConnectionDelegate> delegate, std::optional<std::string> identifier,
    std::shared_ptr<const CZSessionSettings> settings) {
  return std::make_shared<CZAPIConnection>(Passkey<CZAPIConnection>{}, std::move(endpoint), std::move(delegate), std::move(identifier),
                                           std::move(settings));
}

std::string CZAPIConnection::queueKey() const {
  return identifier_ ? std::string(kQueuedRequestsKeyPrefix) + *identifier_ : std::string();
}

void CZAPIConnection::sendRequest(const std::shared_ptr<CZAPIRequest>& request) { send(request, std::nullopt); }

void CZAPIConnection::send(const std::shared_ptr<CZAPIRequest>& request, std::optional<platform::Bytes> queued) {
  if (!request) return;
  if (!CZReachability::isInternetReachable()) {
    requestFailed(request, queued);
    return;
  }
  const uint32_t tag = requestIdMax_++;

  platform::URLRequest urlRequest(platform::format("%@%@", platform::Value(endpoint_), platform::Value(request->uri())),
                                  platform::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  urlRequest.addValueForHTTPHeaderField("application/json; charset=UTF-8", "Content-Type");
  urlRequest.addValueForHTTPHeaderField("application/json; charset=UTF-8", "Accept");
  urlRequest.addValueForHTTPHeaderField(std::string("Cadenzo-iOS-SDK ") + CZAPIRequest::kSDKVersion, "X-Cadenzo-Client");
  urlRequest.addValueForHTTPHeaderField("3.0.6", "X-Cadenzo-API");
  if (const auto& headers = request->headers()) {
    for (const auto& [name, value] : *headers) urlRequest.addValueForHTTPHeaderField(value.stringValue(), name);
  }
  urlRequest.setHTTPMethod(request->method());
  // The watchdog's delay bounds the whole load as well: a server trickling one byte at a
  // time never lets an idle time-out fire, and no API answer is anywhere near the cap.
  const double delay = CZAPIWatchdogDelay(settings_ ? settings_->timeout() : 0);
  urlRequest.setDeadlineInterval(delay);
  urlRequest.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
  if (request->body()) {
    auto text = request->serializedBody();
    if (!text) {
      // A body that cannot be written would go out empty and unsigned-for; fail it instead.
      requestFailed(request, queued);
      return;
    }
    urlRequest.setHTTPBody(std::string_view(*text));
  }

  auto record = std::make_shared<Record>();
  record->request = request;
  record->queued = std::move(queued);
  activeConnections_[tag] = record;
  record->connection = platform::URLConnection::connectionWithRequestDelegate(
      urlRequest, std::make_shared<Tagged>(shared_from_this(), tag));

  std::weak_ptr<CZAPIConnection> weakSelf = weak_from_this();
  platform::DispatchQueue::main().after(delay, [weakSelf, tag] {
    if (auto self = weakSelf.lock()) self->watchdogFired(tag);
  });
}

void CZAPIConnection::watchdogFired(uint32_t tag) { abandon(tag); }

void CZAPIConnection::abandon(uint32_t tag) {
  auto it = activeConnections_.find(tag);
  if (it == activeConnections_.end()) return;
  if (it->second->connection) it->second->connection->cancel();
  connectionDidFailWithError(tag);
}

void CZAPIConnection::connectionDidReceiveResponse(uint32_t tag, const platform::HTTPURLResponse& response) {
  auto it = activeConnections_.find(tag);
  if (it == activeConnections_.end()) return;
  it->second->response = response;
}

void CZAPIConnection::connectionDidReceiveData(uint32_t tag, const platform::Bytes& data) {
  auto it = activeConnections_.find(tag);
  if (it == activeConnections_.end()) return;
  platform::Bytes& so = it->second->data;
  so.insert(so.end(), data.begin(), data.end());
}

void CZAPIConnection::transportDidFailWithError(uint32_t tag, const platform::Error& error) {
  auto it = activeConnections_.find(tag);
  if (it == activeConnections_.end()) return;
  platform::logf("CZAPIConnection: %@ failed: %@ (%@ %ld)", platform::Value(it->second->request->uri()),
                 platform::Value(error.localizedDescription()), platform::Value(error.domain), error.code);
  connectionDidFailWithError(tag);
}

void CZAPIConnection::connectionDidFailWithError(uint32_t tag) {
  auto it = activeConnections_.find(tag);
  if (it == activeConnections_.end()) return;
  auto self = shared_from_this();
  auto record = it->second;
  activeConnections_.erase(it);
  requestFailed(record->request, record->queued);
}

void CZAPIConnection::connectionDidFinishLoading(uint32_t tag) {
  auto it = activeConnections_.find(tag);
  if (it == activeConnections_.end()) return;
  auto self = shared_from_this();
  auto record = it->second;
  activeConnections_.erase(it);

  auto answer = answerObjectForStatusData(record->response ? record->response->statusCode() : 0, record->data);
  if (!answer) {
    requestFailed(record->request, record->queued);
    return;
  }
  if (record->queued) settleQueued(*record->queued, true);
  if (auto delegate = delegate_.lock()) delegate->didReceiveAPIResponseForRequest(*answer, record->request);
}

std::optional<platform::Dictionary> CZAPIConnection::answerObjectForStatusData(long statusCode,
                                                                              const platform::Bytes& data) {
  if (statusCode < 200 || statusCode > 299) return std::nullopt;
  CZJsonParser parser;
  auto answer = parser.objectWithData(data);
  if (!answer || !answer->isDictionary()) return std::nullopt;
  return answer->dictionary();
}

void CZAPIConnection::didFailForRequest(const std::shared_ptr<CZAPIRequest>& request) {
  if (request->ensureDelivery() && identifier_) {
    auto archived = request->archivedData();
    if (archived) {
      auto& defaults = platform::UserDefaults::standardUserDefaults();
      platform::Value queue = defaults.arrayForKey(queueKey());
      platform::Array items = queue.isArray() ? queue.array() : platform::Array();
      items.push_back(platform::Value(std::move(*archived)));
      defaults.setObjectForKey(platform::Value(std::move(items)), queueKey());
      // On disk now: a request that must arrive survives the process ending right after.
      defaults.synchronize();
      return;
    }
    // Without an archive the request cannot wait; tell the delegate rather than lose it
    // silently.
  }
  if (auto delegate = delegate_.lock()) delegate->didFailToReceiveAPIResponseForRequest(request);
}

void CZAPIConnection::requestFailed(const std::shared_ptr<CZAPIRequest>& request,
                                    const std::optional<platform::Bytes>& queued) {
  // A resent request is still on disk where it waited: queueing it again would send it twice.
  if (queued) {
    settleQueued(*queued, false);
    return;
  }
  didFailForRequest(request);
}

void CZAPIConnection::settleQueued(const platform::Bytes& entry, bool remove) {
  if (auto it = std::find(resending_.begin(), resending_.end(), entry); it != resending_.end()) resending_.erase(it);
  if (!remove) return;
  // Read again: requests that failed meanwhile were added behind this one.
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  platform::Value queue = defaults.arrayForKey(queueKey());
  if (!queue.isArray()) return;
  platform::Array items = queue.array();
  auto it = std::find_if(items.begin(), items.end(),
                         [&](const platform::Value& item) { return item.isData() && item.data() == entry; });
  if (it == items.end()) return;
  items.erase(it);
  defaults.setObjectForKey(platform::Value(std::move(items)), queueKey());
  defaults.synchronize();
}

void CZAPIConnection::retryDeliveries() {
  if (!identifier_ || !CZReachability::isInternetReachable()) return;
  std::optional<std::string> appId = settings_ ? settings_->appId() : std::nullopt;
  std::optional<std::string> appSignature = settings_ ? settings_->appSignature() : std::nullopt;
  if (!appId || !appSignature) return;  // unsigned calls would be refused and requeued

  // Each entry stays on disk while it is resent, so a process that ends before the answer
  // keeps it for the next launch; only an accepted answer, or an entry that can never be
  // sent, takes it off.
  auto& defaults = platform::UserDefaults::standardUserDefaults();
  platform::Value queue = defaults.arrayForKey(queueKey());
  if (!queue.isArray()) return;
  std::vector<platform::Bytes> inFlight = resending_;
  std::vector<std::pair<std::shared_ptr<CZAPIRequest>, platform::Bytes>> resends;
  platform::Array kept;
  for (const auto& item : queue.array()) {
    if (!item.isData()) continue;
    // Already on its way (an earlier retry): one send per entry.
    if (auto it = std::find(inFlight.begin(), inFlight.end(), item.data()); it != inFlight.end()) {
      inFlight.erase(it);
      kept.push_back(item);
      continue;
    }
    auto request = CZAPIRequest::requestWithArchivedData(item.data());
    if (!request) {
      platform::log("CZAPIConnection: dropping a queued request that does not unarchive");
      continue;
    }
    kept.push_back(item);
    resends.emplace_back(std::move(request), item.data());
  }
  if (kept.size() != queue.array().size()) {
    defaults.setObjectForKey(platform::Value(std::move(kept)), queueKey());
    defaults.synchronize();
  }
  // Marked before any is sent: one that fails at once settles before the next goes out.
  for (const auto& resend : resends) resending_.push_back(resend.second);
  for (auto& [request, entry] : resends) {
    request->signWithAppIdAppSignature(appId, appSignature);
    send(request, std::move(entry));
  }
}

}  // namespace cadenzo
