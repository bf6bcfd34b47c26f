#pragma once
// Process-wide settings: the log level of the client's console lines (0 writes nothing,
// 1 errors, 2 warnings, 3 information, 4 debugging), the alert switch, the user's
// targeting data, and where the ad server is. Made on first use; thread-safe to reach,
// its fields main thread only.
#include <memory>
#include <string>

#include "pelora/PELOUserSettings.h"

namespace pelora {

class PELOGlobalSettings {
 public:
  static std::shared_ptr<PELOGlobalSettings> globalSettings();

  bool showAlertPopup() const { return showAlertPopup_; }
  void setShowAlertPopup(bool v) { showAlertPopup_ = v; }
  int logLevel() const { return logLevel_; }
  void setLogLevel(int v) { logLevel_ = v; }
  const std::shared_ptr<PELOUserSettings>& userSettings() const { return userSettings_; }
  void setUserSettings(std::shared_ptr<PELOUserSettings> v) { userSettings_ = std::move(v); }

  // The ad server's host, with ":port" when not 80 ("ads.pelora.com" unless set); requests
  // made afterwards go there over http.
  const std::string& adHost() const { return adHost_; }
  void setAdHost(std::string host) { adHost_ = std::move(host); }

 private:
  bool showAlertPopup_ = false;
  int logLevel_ = 0;
  std::shared_ptr<PELOUserSettings> userSettings_ = std::make_shared<PELOUserSettings>();
  std::string adHost_ = "ads.pelora.com";
};

}  // namespace pelora
