#include "PELOHttpConnector.h"

#include "PELOLogger.h"
#include "platform/format.h"
#include "platform/run_loop.h"

namespace pelora {

// Hears the ad connection; only its bytes make the answer.
struct PELOHttpConnector::AdLoad : platform::URLConnectionDelegate {
  std::weak_ptr<PELOHttpConnector> owner;
  platform::Bytes data;

  void connectionDidReceiveData(platform::URLConnection&, const platform::Bytes& chunk) override {
    data.insert(data.end(), chunk.begin(), chunk.end());
  }
  void connectionDidFinishLoading(platform::URLConnection&) override {
    if (auto o = owner.lock(); o && o->adLoad_.get() == this) o->adLoadFinished(data);
  }
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error& error) override {
    if (auto o = owner.lock(); o && o->adLoad_.get() == this) o->adLoadFailed(error);
  }
};

// Hears one beacon; its answer is read and dropped.
struct PELOHttpConnector::BeaconLoad : platform::URLConnectionDelegate {
  std::weak_ptr<PELOHttpConnector> owner;
  std::weak_ptr<platform::URLConnection> connection;

  void connectionDidFinishLoading(platform::URLConnection&) override { end(); }
  void connectionDidFailWithError(platform::URLConnection&, const platform::Error&) override { end(); }
  void end() {
    if (auto o = owner.lock()) o->beaconEnded(this);
  }
};

std::shared_ptr<PELOHttpConnector> PELOHttpConnector::createWith(std::string userAgent,
                                                                 std::shared_ptr<PELOXmlParserProtocol> parser) {
  return std::make_shared<PELOHttpConnector>(platform::Passkey<PELOHttpConnector>{}, std::move(userAgent), std::move(parser));
}

PELOHttpConnector::PELOHttpConnector(platform::Passkey<PELOHttpConnector>, std::string userAgent,
                                     std::shared_ptr<PELOXmlParserProtocol> parser)
    : parser_(std::move(parser)), userAgent_(std::move(userAgent)) {}

PELOHttpConnector::~PELOHttpConnector() {
  // Requests in flight are not cancelled; their listeners find no connector and stop.
}

platform::URLRequest PELOHttpConnector::requestFor(const std::string& url) const {
  platform::URLRequest request(url, platform::URLRequestCachePolicy::UseProtocolCachePolicy, kTimeout);
  request.setValueForHTTPHeaderField(userAgent_, "User-Agent");
  // The time-out alone never ends a server that keeps sending a byte now and then; a load
  // that never ended would keep the downloader "in flight" and skip every later request.
  request.setDeadlineInterval(kTimeout);
  // Ad answers and beacon answers are small; more is not an answer to read.
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
  return request;
}

void PELOHttpConnector::asyncLoadNewBanner(const std::string& url) {
  adLoad_ = std::make_shared<AdLoad>();
  adLoad_->owner = weak_from_this();
  adConnection_ = platform::URLConnection::connectionWithRequestDelegate(requestFor(url), adLoad_);
}

size_t PELOHttpConnector::adBytesReceivedForTesting() const { return adLoad_ ? adLoad_->data.size() : 0; }

void PELOHttpConnector::adLoadFinished(const platform::Bytes& data) {
  auto self = shared_from_this();
  auto banner = parser_->parse(data);
  adLoad_.reset();
  adConnection_.reset();
  if (auto listener = listener_.lock()) listener->bannerDownloadComplete(banner);
  if (banner->status() != kPELOBannerStatusSuccess) return;
  beaconBudget_.reset();
  for (const std::string& url : banner->beacons()) {
    if (!beaconBudget_.allowRequest()) break;
    PELOLogger::debug(platform::format("Requesting beacon %@", url));
    auto beacon = std::make_shared<BeaconLoad>();
    beacon->owner = weak_from_this();
    auto connection = platform::URLConnection::connectionWithRequestDelegate(requestFor(url), beacon);
    beacon->connection = connection;
    beaconConnections_.insert(connection);
  }
}

void PELOHttpConnector::adLoadFailed(const platform::Error& error) {
  auto self = shared_from_this();
  // The connection may be the caller: it goes at the end of the turn, not under it.
  if (adConnection_) platform::RunLoop::main().keepAliveUntilEndOfTurn(adConnection_);
  if (adLoad_) platform::RunLoop::main().keepAliveUntilEndOfTurn(adLoad_);
  adLoad_.reset();
  adConnection_.reset();
  if (auto listener = listener_.lock()) {
    auto banner = std::make_shared<PELOReceivedBanner>();
    banner->setStatus(kPELOBannerStatusError);
    banner->setErrorCode(kPELOErrorCodeNoConnectionError);
    banner->setErrorMessage(kConnectionFailedMessage);
    listener->bannerDownloadComplete(banner);
  }
  PELOLogger::error(platform::format("Server connection failed with error: %@", error.localizedDescription()));
}

void PELOHttpConnector::beaconEnded(BeaconLoad* beacon) {
  if (auto connection = beacon->connection.lock()) beaconConnections_.erase(connection);
}

}  // namespace pelora
