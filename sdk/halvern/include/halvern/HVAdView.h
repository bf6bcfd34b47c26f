#pragma once
// The banner view the host places on screen for one slot. A thin host: its internal
// controller runs the downloaded display page and shows the slot's ads; an ad counts as
// shown when this view is actually drawn. One view per slot name for the life of the
// process. Main thread only.
#include <memory>
#include <string>

#include "halvern/HVAdSlotDescription.h"
#include "halvern/HalvernDelegate.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace halvern {

class HVAdSlot;
class HVAdViewInternal;

class HVAdView : public platform::View {
 public:
  // The view registered for the slot (given the delegate and interval), else a new one.
  // Throws platform::Exception ("HVAdView retrieval failure.") for a slot name that was not
  // registered, and ("NSInvalidArgumentException") for an interval above 0 and below 5 s.
  static std::shared_ptr<HVAdView> adViewForSlotNamedDelegate(const std::string& name,
                                                              std::shared_ptr<HalvernDelegate> delegate);
  static std::shared_ptr<HVAdView> adViewForSlotNamedDelegateRefreshInterval(const std::string& name,
                                                                             std::shared_ptr<HalvernDelegate> delegate,
                                                                             double refreshInterval);
  // Points; throws ("NSInvalidArgumentException") for an unknown code.
  static platform::Size sizeForHVAdSize(HVAdSize size);

  HVAdView(platform::Passkey<HVAdView>, const std::shared_ptr<HVAdSlot>& slot);

  void refresh();
  void setDelegate(std::shared_ptr<HalvernDelegate> delegate);
  void setRefreshInterval(double seconds);
  void applicationWillEnterForeground();
  const std::shared_ptr<HVAdViewInternal>& controller() const { return m_adViewInternal; }

  void drawRect(const platform::Rect& rect) override;

 private:
  std::shared_ptr<HVAdViewInternal> m_adViewInternal;
};

}  // namespace halvern
