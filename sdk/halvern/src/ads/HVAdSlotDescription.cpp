#include "halvern/HVAdSlotDescription.h"

#include "platform/device.h"
#include "platform/error.h"
#include "platform/text_helpers.h"

namespace halvern {

bool isValidSlotName(const std::string& name) { return name.empty() || platform::isAlphanumeric(name); }

HVAdSlotDescription::HVAdSlotDescription(HVAdSize size, std::string name) : m_size(size) {
  if (!isValidSlotName(name)) {
    throw platform::Exception("NSInvalidArgumentException",
                              "Unable to create HVAdSlotDescription because name contains at least one "
                              "non-alphanumeric character");
  }
  // A device that does not say what it is counts as a phone.
  if (size == HVAdSizeFullScreen &&
      platform::Device::currentDevice().userInterfaceIdiom() == platform::UserInterfaceIdiom::Pad) {
    throw platform::Exception("NSInvalidArgumentException",
                              "Unable to create iPhone Full Screen HVAdSlotDescription on an iPad");
  }
  m_name = std::move(name);
}

uint32_t HVAdSlotDescription::hash() const {
  // FNV-1a stands in for the string hash; only the combination below is fixed.
  uint32_t nameHash = 2166136261u;
  for (unsigned char c : m_name) nameHash = (nameHash ^ c) * 16777619u;
  return (nameHash + 527u) * 31u + static_cast<uint32_t>(m_size);
}

}  // namespace halvern
