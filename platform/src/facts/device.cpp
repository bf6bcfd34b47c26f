#include "platform/device.h"

#include <unistd.h>

#include "machine_identity.h"
#include "platform/crypto.h"
#include "platform/notification_center.h"
#include "platform/singleton.h"

namespace platform {
namespace {

std::string hostName() {
  char host[256] = {};
  return ::gethostname(host, sizeof host - 1) == 0 && host[0] ? host : "localhost";
}

struct DeviceFacts {
  std::string model = "iPhone";
  std::string localizedModel = "iPhone";
  std::string systemName = "iPhone OS";
  std::string systemVersion = "6.1";
  std::string name = hostName();
  std::string uniqueIdentifier = crypto::hexString(identity::machineDigest("device"));
  std::string identifierForVendor = identity::uuidText(identity::machineDigest("vendor"));
  std::optional<UserInterfaceIdiom> idiom = UserInterfaceIdiom::Phone;
  DeviceOrientation orientation = DeviceOrientation::Portrait;
  std::optional<DeviceBatteryState> batteryState = DeviceBatteryState::Unknown;
  double batteryLevel = -1;
  bool multitasking = true;
  int orientationObservers = 0;
};

ProcessState<DeviceFacts>& facts() {
  return processState<DeviceFacts>();
}

template <class T>
T read(T DeviceFacts::*field) {
  return facts().read(field);
}

template <class T>
void write(T DeviceFacts::*field, T value) {
  facts().write(field, std::move(value));
}

}  // namespace

Device& Device::currentDevice() {
  static Device device;
  return device;
}

std::string Device::model() const { return read(&DeviceFacts::model); }
std::string Device::localizedModel() const { return read(&DeviceFacts::localizedModel); }
std::string Device::systemName() const { return read(&DeviceFacts::systemName); }
std::string Device::systemVersion() const { return read(&DeviceFacts::systemVersion); }
std::string Device::name() const { return read(&DeviceFacts::name); }
std::string Device::uniqueIdentifier() const { return read(&DeviceFacts::uniqueIdentifier); }
std::string Device::identifierForVendor() const { return read(&DeviceFacts::identifierForVendor); }
std::optional<UserInterfaceIdiom> Device::userInterfaceIdiom() const { return read(&DeviceFacts::idiom); }
DeviceOrientation Device::orientation() const { return read(&DeviceFacts::orientation); }
std::optional<DeviceBatteryState> Device::batteryState() const { return read(&DeviceFacts::batteryState); }
double Device::batteryLevel() const { return read(&DeviceFacts::batteryLevel); }
bool Device::isMultitaskingSupported() const { return read(&DeviceFacts::multitasking); }

void Device::beginGeneratingDeviceOrientationNotifications() {
  facts().with([](DeviceFacts& f) { ++f.orientationObservers; });
}

void Device::endGeneratingDeviceOrientationNotifications() {
  facts().with([](DeviceFacts& f) {
    if (f.orientationObservers > 0) --f.orientationObservers;
  });
}

bool Device::isGeneratingDeviceOrientationNotifications() const {
  return read(&DeviceFacts::orientationObservers) > 0;
}

void Device::setOrientation(DeviceOrientation orientation) {
  bool changed = facts().with([orientation](DeviceFacts& f) {
    if (f.orientation == orientation) return false;
    f.orientation = orientation;
    return true;
  });
  if (!changed) return;
  // Outside the lock: observers read the new orientation.
  NotificationCenter::defaultCenter().postNotificationName(kDeviceOrientationDidChangeNotification, this);
}

void Device::setModel(const std::string& model) { write(&DeviceFacts::model, model); }
void Device::setLocalizedModel(const std::string& model) { write(&DeviceFacts::localizedModel, model); }
void Device::setSystemName(const std::string& name) { write(&DeviceFacts::systemName, name); }
void Device::setSystemVersion(const std::string& version) { write(&DeviceFacts::systemVersion, version); }
void Device::setName(const std::string& name) { write(&DeviceFacts::name, name); }
void Device::setUniqueIdentifier(const std::string& id) { write(&DeviceFacts::uniqueIdentifier, id); }
void Device::setIdentifierForVendor(const std::string& id) { write(&DeviceFacts::identifierForVendor, id); }
void Device::setUserInterfaceIdiom(std::optional<UserInterfaceIdiom> idiom) { write(&DeviceFacts::idiom, idiom); }
void Device::setBatteryState(std::optional<DeviceBatteryState> s) { write(&DeviceFacts::batteryState, s); }
void Device::setBatteryLevel(double level) { write(&DeviceFacts::batteryLevel, level); }
void Device::setMultitaskingSupported(bool supported) { write(&DeviceFacts::multitasking, supported); }

void Device::resetToDefaults() { facts().reset(); }

}  // namespace platform
