#include "HVCallbackSequencer.h"

#include "platform/run_loop.h"

namespace halvern {

uint64_t HVCallbackSequencer::takeTicket() {
  std::lock_guard<std::mutex> lock(mutex_);
  return nextTicket_++;
}

void HVCallbackSequencer::settle(uint64_t ticket, std::function<void()> delivery) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    settled_[ticket] = std::move(delivery);
    if (deliveryPosted_ || ticket != nextToDeliver_) return;
    deliveryPosted_ = true;
  }
  platform::RunLoop::main().post([self = shared_from_this()] { self->deliverReady(); });
}

bool HVCallbackSequencer::isIdle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nextToDeliver_ == nextTicket_ && !deliveryPosted_;
}

void HVCallbackSequencer::deliverReady() {
  for (;;) {
    std::function<void()> delivery;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = settled_.find(nextToDeliver_);
      if (it == settled_.end()) {
        deliveryPosted_ = false;
        return;
      }
      delivery = std::move(it->second);
      settled_.erase(it);
      ++nextToDeliver_;
    }
    // Outside the lock: a callback may send further commands.
    if (delivery) delivery();
  }
}

}  // namespace halvern
