#pragma once
// The client's record of one registered slot, made and owned by the ad manager. The two
// download times are read from the display side while worker results update them, hence
// atomic.
#include <atomic>
#include <cstdint>
#include <memory>

#include "halvern/HVAdSlotDescription.h"

namespace halvern {

class HVAdSlot {
 public:
  explicit HVAdSlot(HVAdSlotDescription description) : m_slotDescription(std::move(description)) {}
  static std::shared_ptr<HVAdSlot> slotWithDescription(const HVAdSlotDescription& description) {
    return std::make_shared<HVAdSlot>(description);
  }

  const HVAdSlotDescription& slotDescription() const { return m_slotDescription; }
  bool isDisplayed() const { return m_isDisplayed; }
  void setIsDisplayed(bool displayed) { m_isDisplayed = displayed; }
  int64_t dlTime() const { return m_dlTime.load(); }
  void setDlTime(int64_t time) { m_dlTime.store(time); }
  int64_t nextAdDlTime() const { return m_nextAdDlTime.load(); }
  void setNextAdDlTime(int64_t time) { m_nextAdDlTime.store(time); }
  bool isFetched() const { return nextAdDlTime() != 0; }
  bool hasNextAdDownloaded() const { return isFetched(); }

 private:
  HVAdSlotDescription m_slotDescription;
  bool m_isDisplayed = false;
  std::atomic<int64_t> m_dlTime{0};
  std::atomic<int64_t> m_nextAdDlTime{0};
};

}  // namespace halvern
