#pragma once
// The device identity every API request carries: a BSON document {"uuid", "macid", "ifa"}
// of up to three identifiers (null elements for those the device lacks), sent as lowercase
// hex; and whether advertising tracking is enabled.
//
// The identifiers come from the platform: the device's legacy per-device identifier (when
// the device answers for it), SHA-1 of the "en0" interface's 6-byte hardware address, and
// the advertising identifier (when its manager class exists). Facts can also be given
// explicitly (CZIdentityFacts) for the encoding alone.
// Thread safety: every function may be called from any thread.
#include <optional>
#include <string>

#include "platform/value.h"

namespace cadenzo {

struct CZIdentityFacts {
  std::optional<std::string> uuid;   // the legacy per-device identifier
  std::optional<std::string> macid;  // 40 lowercase hex characters
  std::optional<std::string> ifa;    // 32 lowercase hex characters
};

class CZIdentity {
 public:
  // hexRepresentationOfData of combinedIdentifier.
  static std::string hexIdentifier();
  // The BSON document of the current device's identifiers.
  static platform::Bytes combinedIdentifier();
  // The same for explicit facts.
  static platform::Bytes combinedIdentifierWithFacts(const CZIdentityFacts& facts);
  // The current device's facts, as the three accessors below give them.
  static CZIdentityFacts currentFacts();

  // The legacy per-device identifier; nullopt when the device does not answer for it.
  static std::optional<std::string> czui();
  // The 6 hardware-address bytes of "en0"; nullopt without that interface or address.
  static std::optional<platform::Bytes> czma();
  // Lowercase hex of SHA-1 of czma().
  static std::optional<std::string> czhhna();
  // Lowercase hex of the advertising identifier's 16 bytes; nullopt without the manager class.
  static std::optional<std::string> czuia();
  // The manager's answer; true without the manager class.
  static bool advertisingTrackingEnabled();

  // The support page named by the console warning printed when the manager class is
  // missing on a system of version 6.0 or later (configuration).
  static std::string supportPageAddress();
  static void setSupportPageAddress(const std::string& address);
};

}  // namespace cadenzo
