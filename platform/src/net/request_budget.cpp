#include "platform/request_budget.h"

#include <utility>

#include "platform/log.h"

namespace platform {

RequestBudget::RequestBudget(std::string logLine, size_t limit)
    : logLine_(std::move(logLine)), limit_(limit) {}

bool RequestBudget::allowRequest() {
  bool logNow = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (used_ < limit_) {
      ++used_;
      return true;
    }
    logNow = !logged_;
    logged_ = true;
  }
  // Outside the lock: a log sink may do anything, including asking this budget again.
  if (logNow) log(logLine_);
  return false;
}

void RequestBudget::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  used_ = 0;
  logged_ = false;
}

size_t RequestBudget::used() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return used_;
}

}  // namespace platform
