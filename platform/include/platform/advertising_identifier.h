#pragma once
// The advertising identifier and the user's tracking choice. Whether the class exists at
// all is Runtime::isAvailable("ASIdentifierManager"); the clients ask that first.
// Defaults: an identifier stable per machine (16 bytes derived from /etc/machine-id, else
// the host name) and tracking enabled. Tests and the demo set both; test reset restores them.
// Thread safety: every member may be called from any thread.
#include <string>

#include "platform/value.h"

namespace platform {

class AdvertisingIdentifierManager {
 public:
  static AdvertisingIdentifierManager& sharedManager();

  // The 16 bytes of the identifier.
  Bytes advertisingIdentifierBytes() const;
  // The same bytes as an upper-case UUID: "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
  std::string advertisingIdentifier() const;
  bool isAdvertisingTrackingEnabled() const;

  // Exactly 16 bytes; other sizes are ignored.
  void setAdvertisingIdentifierBytes(const Bytes& bytes);
  void setAdvertisingTrackingEnabled(bool enabled);
  void resetToDefaults();

 private:
  AdvertisingIdentifierManager() = default;
};

}  // namespace platform
