#pragma once
// The device, application and user facts one banner view or interstitial sends with each
// request: gathered once at creation (a fact the device does not give stays absent), with
// the per-request settings its owner copies in and the location fixes of its own location
// manager. Made with create(); main thread only, except the accessors of the strings and the
// location, which may be read from any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/passkey.h"

namespace nubira {

class NBLocationManager;
class NBSDKUtil;
class NBWebViewPrivate;

class NBUserInfo : public std::enable_shared_from_this<NBUserInfo> {
 public:
  static constexpr const char* kUserAgentKey = "nb-user-agent-string";

  // Learns the web user agent (once per installation), starts the location refresh and
  // gathers the facts.
  static std::shared_ptr<NBUserInfo> create();
  ~NBUserInfo();

  using Text = std::optional<std::string>;

  // --- Gathered facts -----------------------------------------------------------------------
  Text appBId() const { return get(appBId_); }
  Text appDisplayName() const { return get(appDisplayName_); }
  Text appVer() const { return get(appVer_); }
  bool onWifi() const { return onWifi_; }
  Text deviceId() const { return get(deviceId_); }
  Text localization() const { return get(localization_); }
  Text deviceModel() const { return get(deviceModel_); }
  Text deviceSystemName() const { return get(deviceSystemName_); }
  Text deviceSystemVersion() const { return get(deviceSystemVersion_); }
  Text userAgent() const { return get(userAgent_); }
  Text deviceStorageSize() const { return get(deviceStorageSize_); }
  Text deviceModelHW() const { return get(deviceModelHW_); }
  Text deviceCpuFqHW() const { return get(deviceCpuFqHW_); }
  Text deviceCpuFqMaxHW() const { return get(deviceCpuFqMaxHW_); }
  Text deviceRAMHW() const { return get(deviceRAMHW_); }
  Text deviceCpuTypeHW() const { return get(deviceCpuTypeHW_); }
  Text deviceCpuSubTypeHW() const { return get(deviceCpuSubTypeHW_); }
  Text deviceBTHW() const { return get(deviceBTHW_); }
  Text deviceMachineHW() const { return get(deviceMachineHW_); }
  Text phoneUserAgent() const { return get(phoneUserAgent_); }

  void setAppBId(Text v) { set(appBId_, std::move(v)); }
  void setAppDisplayName(Text v) { set(appDisplayName_, std::move(v)); }
  void setAppVer(Text v) { set(appVer_, std::move(v)); }
  void setOnWifi(bool v) { onWifi_ = v; }
  void setLocalization(Text v) { set(localization_, std::move(v)); }
  void setDeviceModel(Text v) { set(deviceModel_, std::move(v)); }
  void setDeviceSystemName(Text v) { set(deviceSystemName_, std::move(v)); }
  void setDeviceSystemVersion(Text v) { set(deviceSystemVersion_, std::move(v)); }
  void setUserAgent(Text v) { set(userAgent_, std::move(v)); }
  void setDeviceStorageSize(Text v) { set(deviceStorageSize_, std::move(v)); }
  void setDeviceModelHW(Text v) { set(deviceModelHW_, std::move(v)); }
  void setDeviceCpuFqHW(Text v) { set(deviceCpuFqHW_, std::move(v)); }
  void setDeviceCpuFqMaxHW(Text v) { set(deviceCpuFqMaxHW_, std::move(v)); }
  void setDeviceRAMHW(Text v) { set(deviceRAMHW_, std::move(v)); }
  void setDeviceCpuTypeHW(Text v) { set(deviceCpuTypeHW_, std::move(v)); }
  void setDeviceCpuSubTypeHW(Text v) { set(deviceCpuSubTypeHW_, std::move(v)); }
  void setDeviceBTHW(Text v) { set(deviceBTHW_, std::move(v)); }
  void setDeviceMachineHW(Text v) { set(deviceMachineHW_, std::move(v)); }
  void setPhoneUserAgent(Text v) { set(phoneUserAgent_, std::move(v)); }

  // --- Settings of the owner ------------------------------------------------------------------
  Text appId() const { return get(appId_); }
  void setAppId(Text v) { set(appId_, std::move(v)); }
  bool isInterstitial() const { return isInterstitial_; }
  void setIsInterstitial(bool v) { isInterstitial_ = v; }
  int adUnitSlot() const { return adUnitSlot_; }
  void setAdUnitSlot(int v) { adUnitSlot_ = v; }
  Text hRefTag() const { return get(hRefTag_); }
  void setHRefTag(Text v) { set(hRefTag_, std::move(v)); }
  Text hRefKey() const { return get(hRefKey_); }
  void setHRefKey(Text v) { set(hRefKey_, std::move(v)); }
  bool testMode() const { return testMode_; }
  void setTestMode(bool v) { testMode_ = v; }
  Text testModeAdActionType() const { return get(testModeAdActionType_); }
  void setTestModeAdActionType(Text v) { set(testModeAdActionType_, std::move(v)); }

  // Stores the flag and recomputes the device id at once: hashed when true, plain when not.
  void setUseHashedUDID(bool hashed);
  bool useHashedUDID() const { return useHashedUDID_; }
  void useMD5HashForUDID();
  void usePlainUDID();

  // Passes the flag on to the location manager (twice, so that a flag just turned on
  // starts a lookup); off also withdraws the last fix from the requests.
  void setLocationInquiryAllowed(bool allowed);
  bool locationInquiryAllowed() const { return locationInquiryAllowed_; }

  // --- Location ---------------------------------------------------------------------------------
  double lat() const;
  double lon() const;
  double locAccuracy() const;
  bool validGeoInfo() const;
  void setLat(double v);
  void setLon(double v);
  void setValidGeoInfo(bool v);

  // --- Fact gathering ------------------------------------------------------------------------
  void fillDeviceInfo();
  static Text machineHW();
  static Text modelHW();
  static Text cpuFreqHW();
  static Text cpuFreqMaxHW();
  static Text ramHW();
  static Text cpuTypeHW();
  static Text cpuSubTypeHW();
  static Text bootTimeHW();
  static Text requestSysCtlByNameUseIntType(const std::string& name, bool integer);
  static Text boottime();
  static Text getTotalDiskSpace();
  // "%.2f" of the byte count reduced by 1024 up to three times, with its unit.
  static std::string diskSizeText(double bytes);
  static bool localWiFiAvailable();

  std::shared_ptr<NBLocationManager> nbLocationManager() const { return nbLocationManager_; }
  std::shared_ptr<NBWebViewPrivate> nbWebViewPrivate() const { return nbWebViewPrivate_; }

  explicit NBUserInfo(platform::Passkey<NBUserInfo>);

 private:
  Text get(const Text& field) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return field;
  }
  void set(Text& field, Text value) {
    std::lock_guard<std::mutex> lock(mutex_);
    field = std::move(value);
  }

  mutable std::mutex mutex_;
  Text appBId_, appDisplayName_, appVer_;
  bool onWifi_ = false;
  bool isInterstitial_ = false;
  std::shared_ptr<NBSDKUtil> util_;
  Text deviceId_, localization_, deviceModel_, deviceSystemName_, deviceSystemVersion_, userAgent_;
  Text deviceStorageSize_, deviceModelHW_, deviceCpuFqHW_, deviceCpuFqMaxHW_, deviceRAMHW_;
  Text deviceCpuTypeHW_, deviceCpuSubTypeHW_, deviceBTHW_, deviceMachineHW_;
  Text appId_;
  bool locationInquiryAllowed_ = false;
  double lat_ = 0, lon_ = 0, locAccuracy_ = 0;
  bool validGeoInfo_ = false;
  bool testMode_ = false;
  bool useHashedUDID_ = true;
  Text testModeAdActionType_;
  int adUnitSlot_ = 0;
  Text phoneUserAgent_;
  Text hRefTag_, hRefKey_;
  std::shared_ptr<NBWebViewPrivate> nbWebViewPrivate_;
  std::shared_ptr<NBLocationManager> nbLocationManager_;
};

}  // namespace nubira
