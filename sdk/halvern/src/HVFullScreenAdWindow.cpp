#include "HVFullScreenAdWindow.h"

namespace halvern {

bool HVFullScreenAdWindow::isDisplaying() const {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_isDisplaying;
}

void HVFullScreenAdWindow::setIsDisplaying(bool displaying) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  // Every taking of the mark counts as a claim of its own, so an older claim cannot drop it.
  if (displaying && !m_isDisplaying) ++m_claims;
  m_isDisplaying = displaying;
}

uint64_t HVFullScreenAdWindow::claimForDisplay() {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_isDisplaying) return 0;
  m_isDisplaying = true;
  return ++m_claims;
}

bool HVFullScreenAdWindow::releaseUnopenedClaim(uint64_t claim) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (!m_isDisplaying || claim != m_claims || m_contentController.lock()) return false;
  m_isDisplaying = false;
  return true;
}

std::shared_ptr<HVAdViewInternal> HVFullScreenAdWindow::contentController() const {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  return m_contentController.lock();
}

void HVFullScreenAdWindow::setContentController(std::weak_ptr<HVAdViewInternal> controller) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_contentController = std::move(controller);
}

}  // namespace halvern
