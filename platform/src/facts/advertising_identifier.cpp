#include "platform/advertising_identifier.h"


#include "machine_identity.h"
#include "platform/singleton.h"

namespace platform {
namespace {

Bytes defaultIdentifier() {
  Bytes digest = identity::machineDigest("advertising");
  digest.resize(16);
  return digest;
}

struct AdvertisingFacts {
  Bytes identifier = defaultIdentifier();
  bool trackingEnabled = true;
};

ProcessState<AdvertisingFacts>& facts() {
  return processState<AdvertisingFacts>();
}

}  // namespace

AdvertisingIdentifierManager& AdvertisingIdentifierManager::sharedManager() {
  static AdvertisingIdentifierManager manager;
  return manager;
}

Bytes AdvertisingIdentifierManager::advertisingIdentifierBytes() const {
  return facts().read(&AdvertisingFacts::identifier);
}

std::string AdvertisingIdentifierManager::advertisingIdentifier() const {
  return identity::uuidText(advertisingIdentifierBytes());
}

bool AdvertisingIdentifierManager::isAdvertisingTrackingEnabled() const {
  return facts().read(&AdvertisingFacts::trackingEnabled);
}

void AdvertisingIdentifierManager::setAdvertisingIdentifierBytes(const Bytes& bytes) {
  if (bytes.size() != 16) return;
  facts().write(&AdvertisingFacts::identifier, bytes);
}

void AdvertisingIdentifierManager::setAdvertisingTrackingEnabled(bool enabled) {
  facts().write(&AdvertisingFacts::trackingEnabled, enabled);
}

void AdvertisingIdentifierManager::resetToDefaults() { facts().reset(); }

}  // namespace platform
