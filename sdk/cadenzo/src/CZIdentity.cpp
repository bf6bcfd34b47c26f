#include "CZIdentity.h"

#include <mutex>
#include <vector>

#include "CZBSON.h"
#include "CZCrypto.h"
#include "platform/singleton.h"
#include "platform/version_compare.h"
#include "platform/advertising_identifier.h"
#include "platform/device.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/system_info.h"

namespace cadenzo {

namespace {

constexpr const char* kManagerClass = "ASIdentifierManager";

// Where the hint about a missing advertising framework points; configuration for the process.
platform::ProcessState<std::string>& address() {
  static platform::ProcessState<std::string> state([] { return std::string("https://help.cadenzo.com/sdk/adsupport"); });
  return state;
}

// Whether the advertising-identifier manager exists; on systems that always have it, its
// absence means the application was not linked against it, which deserves a loud hint.
bool managerAvailable() {
  if (platform::Runtime::classExists(kManagerClass)) return true;
  if (platform::compareVersions(platform::Device::currentDevice().systemVersion(), "6.0") >= 0) {
    platform::log("==================================");
    platform::log("WARNING: It looks like you've forgotten to link to the AdSupport framework.");
    platform::log("More information here:");
    platform::log(CZIdentity::supportPageAddress());
    platform::log("==================================");
  }
  return false;
}

}  // namespace

std::string CZIdentity::supportPageAddress() {
  return address().with([](std::string& a) { return a; });
}

void CZIdentity::setSupportPageAddress(const std::string& a) {
  address().with([&](std::string& stored) { stored = a; });
}

std::optional<std::string> CZIdentity::czui() {
  // The selector's name is kept in pieces and joined when asked.
  static const std::string selector = std::string("uniq") + "ueIdent" + "ifier";
  if (!platform::Runtime::respondsToSelector("UIDevice", selector)) return std::nullopt;
  return platform::Device::currentDevice().uniqueIdentifier();
}

std::optional<platform::Bytes> CZIdentity::czma() {
  auto en0 = platform::SystemInfo::interfaceNamed("en0");
  if (!en0 || !en0->hardwareAddress || en0->hardwareAddress->size() != 6) return std::nullopt;
  return en0->hardwareAddress;
}

std::optional<std::string> CZIdentity::czhhna() {
  return CZCrypto::hexRepresentationOfData(CZCrypto::SHA1DataWithData(czma()));
}

std::optional<std::string> CZIdentity::czuia() {
  if (!managerAvailable()) return std::nullopt;
  return CZCrypto::hexRepresentationOfData(
      platform::AdvertisingIdentifierManager::sharedManager().advertisingIdentifierBytes());
}

bool CZIdentity::advertisingTrackingEnabled() {
  if (!managerAvailable()) return true;
  return platform::AdvertisingIdentifierManager::sharedManager().isAdvertisingTrackingEnabled();
}

CZIdentityFacts CZIdentity::currentFacts() { return CZIdentityFacts{czui(), czhhna(), czuia()}; }

platform::Bytes CZIdentity::combinedIdentifierWithFacts(const CZIdentityFacts& facts) {
  auto valueOf = [](const std::optional<std::string>& s) {
    return s ? platform::Value(*s) : platform::Value();
  };
  platform::Dictionary dict;
  dict.set("uuid", valueOf(facts.uuid));
  dict.set("macid", valueOf(facts.macid));
  dict.set("ifa", valueOf(facts.ifa));
  return CZBSON::BSONFromDictionary(dict);
}

platform::Bytes CZIdentity::combinedIdentifier() {
  return combinedIdentifierWithFacts(currentFacts());
}

std::string CZIdentity::hexIdentifier() {
  return *CZCrypto::hexRepresentationOfData(combinedIdentifier());
}

}  // namespace cadenzo
