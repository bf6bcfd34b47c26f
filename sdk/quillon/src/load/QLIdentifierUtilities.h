#pragma once
// Facts about the device and the application that ad requests and pages ask for. Facts that
// cannot change while the application runs are read once and kept by the shared instance.
// Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/passkey.h"
#include "platform/value.h"

namespace quillon {

class QLIdentifierUtilities {
 public:
  static std::shared_ptr<QLIdentifierUtilities> sharedInstance();

  // The device and application facts of an ad request, each only when it has a value.
  platform::Dictionary parameters();

  // Each URL text with whether the application can open it (a boolean).
  static platform::Dictionary canOpenURLs(const std::vector<std::string>& urls);
  // The system version split on "."; missing parts are 0.
  static void getOSMajorMinorBugFix(int* major, int* minor, int* bugFix);
  static bool isOSAtLeastMajorMinorBug(int major, int minor, int bug);
  // The hardware model ("hw.machine"), when the platform tells it.
  std::optional<std::string> deviceSubmodel();

  using Passkey = platform::Passkey<QLIdentifierUtilities>;
  explicit QLIdentifierUtilities(Passkey);

 private:
  platform::Dictionary iTunesMetadata();
  std::optional<std::string> locale();
  int audioRoute();

  bool isPhoneIdiom_;
  std::optional<platform::Dictionary> iTunesMetadata_;
  std::optional<std::string> deviceIdentifier_;
  std::optional<std::optional<std::string>> deviceSubmodel_;
  std::optional<std::optional<std::string>> locale_;
};

}  // namespace quillon
