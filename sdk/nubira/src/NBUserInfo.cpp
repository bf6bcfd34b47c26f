#include "nubira/NBUserInfo.h"

#include <cstdio>

#include "NBLocationManager.h"
#include "NBSDKUtil.h"
#include "NBUtilities.h"
#include "NBWebViewPrivate.h"
#include "platform/bundle.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/format.h"
#include "platform/locale.h"
#include "platform/sandbox.h"
#include "platform/system_info.h"
#include "platform/user_defaults.h"

namespace nubira {

NBUserInfo::NBUserInfo(platform::Passkey<NBUserInfo>) : util_(NBSDKUtil::util()) {}

std::shared_ptr<NBUserInfo> NBUserInfo::create() {
  auto info = std::make_shared<NBUserInfo>(platform::Passkey<NBUserInfo>());
  auto stored = platform::UserDefaults::standardUserDefaults().objectForKey(kUserAgentKey);
  if (stored.isString()) info->phoneUserAgent_ = stored.string();
  if (!info->phoneUserAgent_) {
    info->nbWebViewPrivate_ = NBWebViewPrivate::create();
    info->nbWebViewPrivate_->setUserInfo(info);
    info->nbWebViewPrivate_->fetchUserAgent();
  }
  info->nbLocationManager_ = NBLocationManager::create();
  info->nbLocationManager_->setNbUserInfo(info);
  info->useHashedUDID_ = true;
  info->useMD5HashForUDID();
  info->nbLocationManager_->initialize();
  info->fillDeviceInfo();
  return info;
}

NBUserInfo::~NBUserInfo() {
  nbWebViewPrivate_.reset();
  if (nbLocationManager_) {
    nbLocationManager_->setNbUserInfo({});
    nbLocationManager_->deinitialize();
    nbLocationManager_.reset();
  }
  util_->logAbove(2, "NBUserInfo dealloced");
}

void NBUserInfo::setUseHashedUDID(bool hashed) {
  useHashedUDID_ = hashed;
  if (hashed) {
    useMD5HashForUDID();
  } else {
    usePlainUDID();
  }
}

void NBUserInfo::useMD5HashForUDID() {
  std::string udid = platform::Device::currentDevice().uniqueIdentifier();
  std::string hashed = HashMD5::inputString(udid);
  util_->logAbove(1, "UDID=%@", udid);
  util_->logAbove(1, "hashed UDID=%@", hashed);
  set(deviceId_, hashed);
}

void NBUserInfo::usePlainUDID() { set(deviceId_, platform::Device::currentDevice().uniqueIdentifier()); }

void NBUserInfo::setLocationInquiryAllowed(bool allowed) {
  locationInquiryAllowed_ = allowed;
  if (nbLocationManager_) {
    nbLocationManager_->setIsLocationServiceEnabled(allowed);
    nbLocationManager_->setIsLocationServiceEnabled(allowed);
  }
  if (!allowed) setValidGeoInfo(false);
}

double NBUserInfo::lat() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lat_;
}
double NBUserInfo::lon() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lon_;
}
double NBUserInfo::locAccuracy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return locAccuracy_;
}
bool NBUserInfo::validGeoInfo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return validGeoInfo_;
}
void NBUserInfo::setLat(double v) {
  std::lock_guard<std::mutex> lock(mutex_);
  lat_ = v;
}
void NBUserInfo::setLon(double v) {
  std::lock_guard<std::mutex> lock(mutex_);
  lon_ = v;
}
void NBUserInfo::setValidGeoInfo(bool v) {
  std::lock_guard<std::mutex> lock(mutex_);
  validGeoInfo_ = v;
}

// Every fact is taken on its own: one the device does not give stays absent (and its key is
// left out of the requests) without costing the others.
void NBUserInfo::fillDeviceInfo() {
  auto& device = platform::Device::currentDevice();
  setDeviceModel(device.model());
  setDeviceSystemName(device.systemName());
  setDeviceSystemVersion(device.systemVersion());

  setDeviceMachineHW(machineHW());
  setDeviceStorageSize(getTotalDiskSpace());
  setDeviceModelHW(modelHW());
  setDeviceCpuFqHW(cpuFreqHW());
  setDeviceCpuFqMaxHW(cpuFreqMaxHW());
  setDeviceRAMHW(ramHW());
  setDeviceCpuTypeHW(cpuTypeHW());
  setDeviceCpuSubTypeHW(cpuSubTypeHW());
  setDeviceBTHW(bootTimeHW());

  setLocalization(platform::Locale::currentLocale().localeIdentifier());

  setUserAgent(std::string("nubira_iossdk=") + NBSDKUtil::kSDKVersion + " (" + deviceModel().value_or("") + "; " +
               deviceSystemName().value_or("") + " " + deviceSystemVersion().value_or("") + "; HW " +
               deviceMachineHW().value_or("") + ")");

  auto& bundle = platform::Bundle::mainBundle();
  Text identifier = bundle.bundleIdentifier();
  if (identifier->empty()) identifier.reset();
  setAppBId(identifier);
  setAppVer(platform::format("%X", bundle.versionNumber()));
  setAppDisplayName(platform::FileManager::displayNameAtPath(bundle.bundlePath()));

  setOnWifi(localWiFiAvailable());
}

NBUserInfo::Text NBUserInfo::requestSysCtlByNameUseIntType(const std::string& name, bool integer) {
  if (integer) {
    auto value = platform::SystemInfo::integerProbe(name);
    if (!value) return std::nullopt;
    return platform::format("%lld", static_cast<long long>(*value));
  }
  auto text = platform::SystemInfo::stringProbe(name);
  if (!text || text->empty()) return std::nullopt;
  return text;
}

NBUserInfo::Text NBUserInfo::machineHW() { return requestSysCtlByNameUseIntType("hw.machine", false); }
NBUserInfo::Text NBUserInfo::modelHW() { return requestSysCtlByNameUseIntType("hw.model", false); }
NBUserInfo::Text NBUserInfo::cpuFreqHW() { return requestSysCtlByNameUseIntType("hw.cpufrequency", true); }
NBUserInfo::Text NBUserInfo::cpuFreqMaxHW() { return requestSysCtlByNameUseIntType("hw.cpufrequency_max", true); }
NBUserInfo::Text NBUserInfo::ramHW() { return requestSysCtlByNameUseIntType("hw.memsize", true); }
NBUserInfo::Text NBUserInfo::cpuTypeHW() { return requestSysCtlByNameUseIntType("hw.cputype", true); }
NBUserInfo::Text NBUserInfo::cpuSubTypeHW() { return requestSysCtlByNameUseIntType("hw.cpusubtype", true); }
NBUserInfo::Text NBUserInfo::bootTimeHW() { return boottime(); }

NBUserInfo::Text NBUserInfo::boottime() {
  auto seconds = platform::SystemInfo::bootTime();
  if (!seconds) {
    std::fputs("sysctl(kern.boottime): the boot time is not available\n", stderr);
    return std::nullopt;
  }
  return platform::Value::date(static_cast<double>(*seconds)).description();
}

std::string NBUserInfo::diskSizeText(double bytes) {
  const char* unit = "";
  for (const char* next : {" KB", " MB", " GB"}) {
    if (!(bytes > 1024.0)) break;
    bytes /= 1024.0;
    unit = next;
  }
  return platform::format("%.2f", bytes) + unit;
}

NBUserInfo::Text NBUserInfo::getTotalDiskSpace() {
  auto bytes = platform::FileManager::fileSystemSize(platform::Sandbox::documents());
  if (!bytes) return std::nullopt;
  return diskSizeText(*bytes);
}

bool NBUserInfo::localWiFiAvailable() {
  for (const auto& interface : platform::SystemInfo::networkInterfaces()) {
    if (interface.name == "en0" && !interface.loopback && !interface.ipv4Addresses.empty()) return true;
  }
  return false;
}

}  // namespace nubira
