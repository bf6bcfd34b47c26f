#pragma once
// The device the application runs on, as the clients ask about it. Defaults describe the
// phone the clients were written for, with what Linux knows filled in:
//   model and localizedModel "iPhone", systemName "iPhone OS", systemVersion "6.1",
//   name: the host name; idiom phone; orientation portrait; battery state unknown and
//   level -1; multitasking supported;
//   uniqueIdentifier: 40 lowercase hex characters and identifierForVendor: an upper-case
//   UUID, both stable per machine (derived from /etc/machine-id, else the host name).
// Every fact can be set by tests and the demo; test reset restores the defaults.
// Thread safety: every member may be called from any thread. setOrientation posts its
// notification synchronously on the calling thread (the platform posts it on the main
// thread, so callers should be there).
#include <optional>
#include <string>

namespace platform {

inline constexpr const char* kDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";

enum class DeviceOrientation : int {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeLeft = 3,
  LandscapeRight = 4,
  FaceUp = 5,
  FaceDown = 6,
};

enum class UserInterfaceIdiom : int { Phone = 0, Pad = 1 };

enum class DeviceBatteryState : int { Unknown = 0, Unplugged = 1, Charging = 2, Full = 3 };

class Device {
 public:
  static Device& currentDevice();

  std::string model() const;
  std::string localizedModel() const;
  std::string systemName() const;
  std::string systemVersion() const;
  std::string name() const;
  std::string uniqueIdentifier() const;
  std::string identifierForVendor() const;
  // nullopt: the device does not answer the question (older systems).
  std::optional<UserInterfaceIdiom> userInterfaceIdiom() const;
  DeviceOrientation orientation() const;
  // nullopt: the device does not answer.
  std::optional<DeviceBatteryState> batteryState() const;
  double batteryLevel() const;  // 0 … 1, or -1 when unknown
  bool isMultitaskingSupported() const;

  // Counted, as the platform's begin/end pair is; informative only: the orientation
  // notification is posted whether or not anyone asked for it.
  void beginGeneratingDeviceOrientationNotifications();
  void endGeneratingDeviceOrientationNotifications();
  bool isGeneratingDeviceOrientationNotifications() const;

  // Facts. Setting the orientation to a different value posts
  // "UIDeviceOrientationDidChangeNotification" with this device as the sender; setting the
  // same value posts nothing.
  void setOrientation(DeviceOrientation orientation);
  void setModel(const std::string& model);
  void setLocalizedModel(const std::string& model);
  void setSystemName(const std::string& name);
  void setSystemVersion(const std::string& version);
  void setName(const std::string& name);
  void setUniqueIdentifier(const std::string& identifier);
  void setIdentifierForVendor(const std::string& identifier);
  void setUserInterfaceIdiom(std::optional<UserInterfaceIdiom> idiom);
  void setBatteryState(std::optional<DeviceBatteryState> state);
  void setBatteryLevel(double level);
  void setMultitaskingSupported(bool supported);

  void resetToDefaults();

 private:
  Device() = default;
};

}  // namespace platform
