#include "OADeviceFacts.h"

#include "platform/device.h"
#include "platform/locale.h"
#include "platform/screen.h"

namespace analytics {

OADeviceFacts currentDeviceFacts() {
  OADeviceFacts facts;
  auto& device = platform::Device::currentDevice();
  facts.model = device.model();
  facts.systemName = device.systemName();
  facts.systemVersion = device.systemVersion();
  auto& locale = platform::Locale::currentLocale();
  facts.languageCode = locale.languageCode();
  facts.countryCode = locale.countryCode();
  auto bounds = platform::Screen::mainScreen().bounds();
  facts.screenWidth = static_cast<int>(bounds.size.width);
  facts.screenHeight = static_cast<int>(bounds.size.height);
  return facts;
}

}  // namespace analytics
