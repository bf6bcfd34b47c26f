#pragma once
// Composes the ad request, sends it through its connector and hands each banner to its
// listeners in the order they were added. One request at a time: a call while one is in
// flight is skipped ("Skipping call"). Made by the factory; main thread only.
#include <memory>
#include <string>
#include <vector>

#include "PELOAutoReloadTimer.h"
#include "PELOHttpConnectorProtocol.h"
#include "pelora/PELOAdDownloaderProtocol.h"
#include "platform/passkey.h"

namespace pelora {

class PELOAdDownloader : public PELOAdDownloaderProtocol, public std::enable_shared_from_this<PELOAdDownloader> {
 public:
  static constexpr double kStartDelay = 0.01;

  static std::shared_ptr<PELOAdDownloader> create();
  explicit PELOAdDownloader(platform::Passkey<PELOAdDownloader>);
  ~PELOAdDownloader() override;

  void addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& listener) override;
  void removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& listener) override;
  void asyncLoadNewBanner() override;
  void startBannerLoad();
  // The full request URL, each value escaped.
  std::string requestString() const;
  void bannerDownloadComplete(const std::shared_ptr<PELOReceivedBanner>& banner);

  std::shared_ptr<PELOAdSettings> adSettings() const override { return adSettings_; }
  void setAdSettings(std::shared_ptr<PELOAdSettings> settings) override { adSettings_ = std::move(settings); }
  bool isLocationUpdateEnabled() const override;
  void setLocationUpdateEnabled(bool enabled) override;
  bool autoReloadEnabled() const override { return reloadTimer_->autoReloadEnabled(); }
  void setAutoReloadEnabled(bool enabled) override { reloadTimer_->setAutoReloadEnabled(enabled); }
  int autoReloadFrequency() const override { return reloadTimer_->autoReloadFrequency(); }
  void setAutoReloadFrequency(int seconds) override { reloadTimer_->setAutoReloadFrequency(seconds); }

  const std::string& userAgentForTesting() const { return userAgent_; }
  const std::shared_ptr<PELOHttpConnectorProtocol>& connectorForTesting() const { return httpConnector_; }

 private:
  struct ConnectorListener;
  // The request with its values as given, and as sent (each value escaped).
  std::string composeRequest(bool escaped) const;

  std::shared_ptr<PELOAdSettings> adSettings_ = std::make_shared<PELOAdSettings>();
  std::vector<std::weak_ptr<PELOAdListenerProtocol>> adListeners_;
  std::shared_ptr<PELOHttpConnectorProtocol> httpConnector_;
  std::shared_ptr<ConnectorListener> connectorListener_;
  std::string userAgent_;
  bool downloading_ = false;
  std::shared_ptr<PELOAutoReloadTimer> reloadTimer_;
};

}  // namespace pelora
