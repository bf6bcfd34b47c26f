#pragma once
// Keeps the registered slots by name. Made once by the controller's start-up. Main thread.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HVAdSlot.h"

namespace halvern {

class HVAdManager {
 public:
  // Throws platform::Exception ("Halvern Initialization Failure") when two descriptions share a name.
  explicit HVAdManager(const std::vector<HVAdSlotDescription>& descriptions);

  const std::map<std::string, std::shared_ptr<HVAdSlot>>& slotDict() const { return m_slotDict; }
  std::shared_ptr<HVAdSlot> slotNamed(const std::string& name) const;
  // A slot of that name exists and an ad waits for it.
  bool isAdFetchedForSlotNamed(const std::string& name) const;

 private:
  std::map<std::string, std::shared_ptr<HVAdSlot>> m_slotDict;
};

}  // namespace halvern
