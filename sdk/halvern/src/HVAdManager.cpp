#include "HVAdManager.h"

#include "platform/error.h"

namespace halvern {

HVAdManager::HVAdManager(const std::vector<HVAdSlotDescription>& descriptions) {
  for (const auto& description : descriptions) {
    if (!m_slotDict.emplace(description.name(), HVAdSlot::slotWithDescription(description)).second) {
      throw platform::Exception("Halvern Initialization Failure", "All given slot names must be unique.");
    }
  }
}

std::shared_ptr<HVAdSlot> HVAdManager::slotNamed(const std::string& name) const {
  auto it = m_slotDict.find(name);
  return it == m_slotDict.end() ? nullptr : it->second;
}

bool HVAdManager::isAdFetchedForSlotNamed(const std::string& name) const {
  auto slot = slotNamed(name);
  return slot && slot->isFetched();
}

}  // namespace halvern
