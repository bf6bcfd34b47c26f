#pragma once
// The ad request over HTTP GET and the answer's beacons. The ad connection and each beacon
// connection have a listener object of their own, so a beacon's answer never mixes with
// an ad answer. Every request ends within kTimeout seconds from its start, however slowly
// the server sends, and carries the platform's size cap for small answers. A failed ad
// connection (refused, dropped, too slow, too large, redirected for ever) gives an ERROR
// banner with code 2 and one error line in the log, so the downloader takes the next
// request. Beacons of a SUCCESS banner are requested after the listener has been told,
// within the ad's beacon budget (a new budget for each ad answer; past it they are dropped
// and kBeaconBudgetExceededLine is logged once); their answers are dropped.
// Made by the factory; main thread only.
#include <memory>
#include <set>
#include <string>

#include "PELOHttpConnectorProtocol.h"
#include "PELOXmlParserProtocol.h"
#include "platform/passkey.h"
#include "platform/request_budget.h"
#include "platform/url_connection.h"

namespace pelora {

class PELOHttpConnector : public PELOHttpConnectorProtocol, public std::enable_shared_from_this<PELOHttpConnector> {
 public:
  // Both the idle time-out and the total deadline of every request.
  static constexpr double kTimeout = 60;
  static constexpr const char* kConnectionFailedMessage = "Server connection failed.";
  static constexpr const char* kBeaconBudgetExceededLine =
      "[iPELO  WARN] The ad names more beacons than the client requests; the rest are dropped";

  static std::shared_ptr<PELOHttpConnector> createWith(std::string userAgent, std::shared_ptr<PELOXmlParserProtocol> parser);
  PELOHttpConnector(platform::Passkey<PELOHttpConnector>, std::string userAgent, std::shared_ptr<PELOXmlParserProtocol> parser);
  ~PELOHttpConnector() override;

  void asyncLoadNewBanner(const std::string& url) override;
  std::shared_ptr<PELOReceivedBanner> loadNewBanner(const std::string&) override { return nullptr; }
  void setConnectionListener(std::weak_ptr<PELOHttpConnectorListener> listener) override { listener_ = std::move(listener); }
  std::shared_ptr<PELOHttpConnectorListener> connectionListener() const { return listener_.lock(); }

  const std::string& userAgent() const { return userAgent_; }
  size_t beaconConnectionCountForTesting() const { return beaconConnections_.size(); }
  size_t beaconLimit() const { return beaconBudget_.limit(); }
  // Bytes of the ad answer in flight read so far (0 when none is in flight).
  size_t adBytesReceivedForTesting() const;

 private:
  struct AdLoad;
  struct BeaconLoad;

  platform::URLRequest requestFor(const std::string& url) const;
  void adLoadFinished(const platform::Bytes& data);
  void adLoadFailed(const platform::Error& error);
  void beaconEnded(BeaconLoad* beacon);

  std::weak_ptr<PELOHttpConnectorListener> listener_;
  std::shared_ptr<PELOXmlParserProtocol> parser_;
  std::string userAgent_;
  std::shared_ptr<AdLoad> adLoad_;
  std::shared_ptr<platform::URLConnection> adConnection_;
  std::set<std::shared_ptr<platform::URLConnection>> beaconConnections_;
  platform::RequestBudget beaconBudget_{kBeaconBudgetExceededLine};
};

}  // namespace pelora
