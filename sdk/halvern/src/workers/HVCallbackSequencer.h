#pragma once
// Puts the outcomes of commands sent to either worker back on the main loop in the order the
// commands were sent, whichever worker finishes first. Every ticket taken must be settled,
// with a delivery or with none (a command that calls nothing back, or one dropped unrun).
// Thread-safe; deliveries run on the main loop.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace halvern {

class HVCallbackSequencer : public std::enable_shared_from_this<HVCallbackSequencer> {
 public:
  uint64_t takeTicket();
  void settle(uint64_t ticket, std::function<void()> delivery);
  // Every ticket taken has been settled and its delivery run.
  bool isIdle() const;

 private:
  void deliverReady();

  mutable std::mutex mutex_;
  uint64_t nextTicket_ = 0;
  uint64_t nextToDeliver_ = 0;
  std::map<uint64_t, std::function<void()>> settled_;
  bool deliveryPosted_ = false;
};

}  // namespace halvern
