#pragma once
// The run's session: its id, the device model, the connection type and the device
// identifiers sent with every request. One shared object, made on first use; main thread.
#include <memory>
#include <optional>
#include <string>

#include "PELODownloadTrack.h"
#include "platform/passkey.h"

namespace pelora {

class PELOSessionInfo : public std::enable_shared_from_this<PELOSessionInfo> {
 public:
  static constexpr const char* kClientWord = "pelo_ios_505";

  static std::shared_ptr<PELOSessionInfo> sessionInfo();
  explicit PELOSessionInfo(platform::Passkey<PELOSessionInfo>) {}

  const std::string& sessionId() const { return sessionId_; }
  const std::string& deviceName();
  // "wifi" or "carrier"; nullopt until known (the first ask schedules a look 0.2 s later).
  std::optional<std::string> connection();
  // The session's part of the request query, its values escaped.
  std::string requestString();
  // Also sends the install ping.
  void sessionStart();
  void updateLocalConnectionStatus();

  static std::string getMd5ForString(const std::string& text);
  static std::string getSha1ForString(const std::string& text);
  // The link-level address of "en0" as "XX:XX:XX:XX:XX:XX"; nullopt when there is none.
  static std::optional<std::string> getMacaddress();

 private:
  std::string sessionId_;
  std::optional<std::string> deviceName_;
  std::optional<std::string> connection_;
  bool connectionLookScheduled_ = false;
  std::string udid_;
  std::optional<std::string> wifiMacMd5_, wifiMacSha1_;
  std::shared_ptr<PELODownloadTrack> downloadTracking_;
};

}  // namespace pelora
