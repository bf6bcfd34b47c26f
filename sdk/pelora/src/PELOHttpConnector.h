#pragma once
// The ad request over HTTP GET and the answer's beacons. The ad connection and each beacon
// connection have a listener object of their own, so a beacon's answer never mixes with
// an ad answer. A failed ad connection, and an answer past kMaxAnswerBytes (refused at its
// head when it declares its length, else cancelled when it reaches the bound), give an
// ERROR banner with code 2 and one error line in the log. Beacons of a
// SUCCESS banner are requested after the listener has been told, at most kMaxBeacons of
// them (each is a connection of its own; the rest are logged and dropped); their answers are
// dropped. Made by the factory; main thread only.
#include <memory>
#include <set>
#include <string>

#include "PELOHttpConnectorProtocol.h"
#include "PELOXmlParserProtocol.h"
#include "platform/passkey.h"
#include "platform/url_connection.h"

namespace pelora {

class PELOHttpConnector : public PELOHttpConnectorProtocol, public std::enable_shared_from_this<PELOHttpConnector> {
 public:
  static constexpr double kTimeout = 60;
  static constexpr const char* kConnectionFailedMessage = "Server connection failed.";
  // No ad answer comes near this; a server sending more is not answering an ad request.
  static constexpr size_t kMaxAnswerBytes = 2 * 1024 * 1024;
  static constexpr const char* kAnswerTooLargeMessage = "The ad answer was too large.";
  static constexpr size_t kMaxBeacons = 16;

  static std::shared_ptr<PELOHttpConnector> createWith(std::string userAgent, std::shared_ptr<PELOXmlParserProtocol> parser);
  PELOHttpConnector(platform::Passkey<PELOHttpConnector>, std::string userAgent, std::shared_ptr<PELOXmlParserProtocol> parser);
  ~PELOHttpConnector() override;

  void asyncLoadNewBanner(const std::string& url) override;
  std::shared_ptr<PELOReceivedBanner> loadNewBanner(const std::string&) override { return nullptr; }
  void setConnectionListener(std::weak_ptr<PELOHttpConnectorListener> listener) override { listener_ = std::move(listener); }
  std::shared_ptr<PELOHttpConnectorListener> connectionListener() const { return listener_.lock(); }

  const std::string& userAgent() const { return userAgent_; }
  size_t beaconConnectionCountForTesting() const { return beaconConnections_.size(); }

 private:
  struct AdLoad;
  struct BeaconLoad;

  platform::URLRequest requestFor(const std::string& url) const;
  void adLoadFinished(const platform::Bytes& data);
  void adLoadFailed(const platform::Error& error);
  void adLoadTooLarge(unsigned long long bytes);
  // Ends the ad load with an ERROR banner of code 2.
  void failAdLoad(const std::string& message);
  void beaconEnded(BeaconLoad* beacon);

  std::weak_ptr<PELOHttpConnectorListener> listener_;
  std::shared_ptr<PELOXmlParserProtocol> parser_;
  std::string userAgent_;
  std::shared_ptr<AdLoad> adLoad_;
  std::shared_ptr<platform::URLConnection> adConnection_;
  std::set<std::shared_ptr<platform::URLConnection>> beaconConnections_;
};

}  // namespace pelora
