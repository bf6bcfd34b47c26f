#pragma once
// The window that full-screen content takes, as far as the banners and their pages need it:
// the mark that one ad holds the screen, taken and tested under the window's lock so that at
// most one ad at a time may take it. A mark taken for content that never opens is given
// back: claims are numbered, and releaseUnopenedClaim drops the mark only when it is still
// that claim's and nothing was opened under it. Thread-safe.
#include <cstdint>
#include <memory>
#include <mutex>

namespace halvern {

class HVAdViewInternal;

class HVFullScreenAdWindow {
 public:
  std::recursive_mutex& lock() { return m_lock; }

  bool isDisplaying() const;
  void setIsDisplaying(bool displaying);
  // Marks the window displaying unless it already is; answers the claim's number, 0 when
  // refused.
  uint64_t claimForDisplay();
  // False when the mark has meanwhile been released, claimed anew or used for content.
  bool releaseUnopenedClaim(uint64_t claim);

  // The controller whose content the window shows while it is open.
  std::shared_ptr<HVAdViewInternal> contentController() const;
  void setContentController(std::weak_ptr<HVAdViewInternal> controller);

 private:
  mutable std::recursive_mutex m_lock;
  bool m_isDisplaying = false;
  uint64_t m_claims = 0;
  std::weak_ptr<HVAdViewInternal> m_contentController;
};

}  // namespace halvern
