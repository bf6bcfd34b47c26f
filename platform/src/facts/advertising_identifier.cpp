#include "platform/advertising_identifier.h"

#include <mutex>

#include "machine_identity.h"
#include "platform/singleton.h"

namespace platform {
namespace {

Bytes defaultIdentifier() {
  Bytes digest = storage::machineDigest("advertising");
  digest.resize(16);
  return digest;
}

struct AdvertisingState {
  std::mutex mutex;
  Bytes identifier = defaultIdentifier();
  bool trackingEnabled = true;
};

AdvertisingState& state() {
  static AdvertisingState* s = [] {
    auto* created = new AdvertisingState();
    onProcessReset([] { AdvertisingIdentifierManager::sharedManager().resetToDefaults(); });
    return created;
  }();
  return *s;
}

}  // namespace

AdvertisingIdentifierManager& AdvertisingIdentifierManager::sharedManager() {
  static AdvertisingIdentifierManager manager;
  return manager;
}

Bytes AdvertisingIdentifierManager::advertisingIdentifierBytes() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().identifier;
}

std::string AdvertisingIdentifierManager::advertisingIdentifier() const {
  return storage::uuidText(advertisingIdentifierBytes());
}

bool AdvertisingIdentifierManager::isAdvertisingTrackingEnabled() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().trackingEnabled;
}

void AdvertisingIdentifierManager::setAdvertisingIdentifierBytes(const Bytes& bytes) {
  if (bytes.size() != 16) return;
  std::lock_guard<std::mutex> lock(state().mutex);
  state().identifier = bytes;
}

void AdvertisingIdentifierManager::setAdvertisingTrackingEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().trackingEnabled = enabled;
}

void AdvertisingIdentifierManager::resetToDefaults() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().identifier = defaultIdentifier();
  state().trackingEnabled = true;
}

}  // namespace platform
