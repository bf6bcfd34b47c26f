#pragma once
// What the Halvern client tells its host about a slot. Every message is optional: a delegate
// names the ones it implements with respondedMessages() (all, unless it narrows them).
// Main thread.
#include <string>

namespace halvern {

class HalvernDelegate {
 public:
  enum Message : unsigned {
    kAdReadyForSlotNamed = 1u << 0,
    kFullScreenDisplayWillOpen = 1u << 1,
    kFullScreenDisplayWillClose = 1u << 2,
    kDidReceiveMemoryWarning = 1u << 3,
    kAllMessages = (1u << 4) - 1,
  };
  virtual ~HalvernDelegate() = default;
  virtual unsigned respondedMessages() const { return kAllMessages; }

  virtual void halvernAdReadyForSlotNamed(const std::string& name) { (void)name; }
  virtual void halvernFullScreenDisplayWillOpen() {}
  virtual void halvernFullScreenDisplayWillClose() {}
  virtual void halvernDidReceiveMemoryWarning() {}
};

}  // namespace halvern
