#include "pelora/PELOGlobalSettings.h"

#include "platform/singleton.h"

namespace pelora {

std::shared_ptr<PELOGlobalSettings> PELOGlobalSettings::globalSettings() {
  static platform::ResettableSingleton<PELOGlobalSettings> shared;
  return shared.get([] { return std::make_shared<PELOGlobalSettings>(); });
}

}  // namespace pelora
