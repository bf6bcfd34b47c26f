#pragma once
// What the full-screen window asks of the controller whose view it shows: a full-screen
// ad's controller, or a banner's display view whose content expands. The display view
// implements it; the window holds it while it is shown. Main thread only.
#include <memory>

#include "platform/view_controller.h"

namespace halvern {

class HVFullScreenAdWindowContent : public platform::ViewController {
 public:
  // True for the controller of full-screen slots, false for a banner's display view.
  virtual bool controlsFullScreenSlot() const = 0;
  // The content was navigated away from the ad (a click-through page).
  virtual bool shouldWipeContentOnDismiss() const = 0;
  // The view whose alpha fades the content in and out of its banner place (nullptr: none).
  virtual std::shared_ptr<platform::View> containerView() = 0;
  virtual void fullScreenAdWindowWillOpen() = 0;
  virtual void fullScreenAdWindowWillClose() = 0;
  virtual void adViewWillExpand() = 0;
  virtual void adViewDidCollapse() = 0;
  virtual void prepareAdViewBrowserMode(bool browserMode) = 0;
  // Lays the content out in the view's current bounds.
  virtual void layout() = 0;
};

}  // namespace halvern
