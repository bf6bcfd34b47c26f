#include "PELOSessionInfo.h"

#include <cstdio>

#include "PELOQuery.h"
#include "PELOReachability.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/run_loop.h"
#include "platform/singleton.h"
#include "platform/system_info.h"

namespace pelora {
namespace {

// Seconds from 1970 to the platform's reference date, 2001-01-01.
constexpr double kReferenceDateOffset = 978307200;

std::string hostWithoutPort(const std::string& host) { return host.substr(0, host.rfind(':')); }

}  // namespace

std::shared_ptr<PELOSessionInfo> PELOSessionInfo::sessionInfo() {
  static platform::ResettableSingleton<PELOSessionInfo> shared;
  bool made = false;
  auto info = shared.get([] { return std::make_shared<PELOSessionInfo>(platform::Passkey<PELOSessionInfo>{}); }, {}, &made);
  if (made) info->sessionStart();
  return info;
}

void PELOSessionInfo::sessionStart() {
  udid_ = platform::Device::currentDevice().uniqueIdentifier();
  auto mac = getMacaddress();
  if (mac) {
    wifiMacMd5_ = getMd5ForString(*mac);
    wifiMacSha1_ = getSha1ForString(*mac);
  }
  const std::string base = mac ? *wifiMacMd5_ : udid_;
  const long long absolute = static_cast<long long>(platform::Clock::current().now() - kReferenceDateOffset);
  sessionId_ = getMd5ForString(base + std::to_string(absolute));
  downloadTracking_ = std::make_shared<PELODownloadTrack>();
  downloadTracking_->sendPingToPELOServer();
}

const std::string& PELOSessionInfo::deviceName() {
  if (!deviceName_) deviceName_ = platform::SystemInfo::stringProbe("hw.machine").value_or("");
  return *deviceName_;
}

std::optional<std::string> PELOSessionInfo::connection() {
  if (!connection_ && !connectionLookScheduled_) {
    connectionLookScheduled_ = true;
    std::weak_ptr<PELOSessionInfo> weak = weak_from_this();
    platform::RunLoop::main().postAfter(0.2, [weak] {
      if (auto self = weak.lock()) {
        self->connectionLookScheduled_ = false;
        self->updateLocalConnectionStatus();
      }
    });
  }
  return connection_;
}

void PELOSessionInfo::updateLocalConnectionStatus() {
  auto reachability = PELOReachability::reachabilityWithHostName(hostWithoutPort(PELOGlobalSettings::globalSettings()->adHost()));
  if (!reachability) return;
  switch (reachability->currentReachabilityStatus()) {
    case PELOReachability::kReachableViaWiFi: connection_ = "wifi"; break;
    case PELOReachability::kReachableViaWWAN: connection_ = "carrier"; break;
    default: break;
  }
}

std::string PELOSessionInfo::requestString() {
  std::string out;
  if (auto c = connection()) out += queryPair("connection", *c);
  out += queryPair("devicemodel", deviceName());
  out += queryPair("session", sessionId_);
  out += queryPair("ownid", udid_);
  out += queryPair("client", kClientWord);
  if (wifiMacMd5_) {
    out += queryPair("ownid2", *wifiMacMd5_);
    out += queryPair("ownid3", *wifiMacSha1_);
  }
  return out;
}

std::string PELOSessionInfo::getMd5ForString(const std::string& text) { return platform::crypto::md5Hex(text); }
std::string PELOSessionInfo::getSha1ForString(const std::string& text) { return platform::crypto::sha1Hex(text); }

std::optional<std::string> PELOSessionInfo::getMacaddress() {
  auto interface = platform::SystemInfo::interfaceNamed("en0");
  if (!interface) {
    std::printf("Error: if_nametoindex error\n");
    return std::nullopt;
  }
  if (!interface->hardwareAddress || interface->hardwareAddress->size() < 6) {
    std::printf("Error: sysctl, take 2\n");
    return std::nullopt;
  }
  const auto& a = *interface->hardwareAddress;
  return platform::format("%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
}

}  // namespace pelora
