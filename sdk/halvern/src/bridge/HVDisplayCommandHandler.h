#pragma once
// "BridgeDisplay": what a display page may ask of the view that shows it. Each page has its
// own handler, bound to its own controller and its own slot.
#include <memory>

#include "HVCommandHandler.h"

namespace halvern {

class HVAdViewInternal;

class HVDisplayCommandHandler final : public HVCommandHandler {
 public:
  // How long a page's claim on the full-screen window may stand without content opening.
  static constexpr double kClickthroughClaimTimeLimit = 10.0;

  // The controller owns the handler through its bridge, so it is held weakly here.
  explicit HVDisplayCommandHandler(std::weak_ptr<HVAdViewInternal> adController);

 private:
  // Lets the page take the screen for a click-through when no other ad holds it and the
  // view is not fading between ads; then runs the page's script.
  void requestClickthroughWithCallback(HVAdViewInternal& adController, const std::string& script);

  std::weak_ptr<HVAdViewInternal> m_adController;
};

}  // namespace halvern
