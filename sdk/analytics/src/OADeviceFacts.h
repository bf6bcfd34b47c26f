#pragma once
// The device facts that go into the user agent and every hit, read in one place.
// Thread-safe (each fact is read from the platform's thread-safe stores).
#include <string>

namespace analytics {

struct OADeviceFacts {
  std::string model;          // "iPhone"
  std::string systemName;     // "iPhone OS"
  std::string systemVersion;  // "6.1"
  std::string languageCode;   // "en"
  std::string countryCode;    // "US"
  int screenWidth = 0;        // main screen, whole points
  int screenHeight = 0;
};

OADeviceFacts currentDeviceFacts();

}  // namespace analytics
