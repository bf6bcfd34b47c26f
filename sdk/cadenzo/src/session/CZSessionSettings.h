#pragma once
// What the application configures on the facade and the parts below it read while they
// work: the credentials that sign calls and the time-out of a call. The facade owns one and
// hands it to each part it makes, so a part never looks the facade up to learn them.
// Thread safety: every member from any thread.
#include <mutex>
#include <optional>
#include <string>

namespace cadenzo {

class CZSessionSettings {
 public:
  std::optional<std::string> appId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return appId_;
  }
  void setAppId(std::optional<std::string> appId) {
    std::lock_guard<std::mutex> lock(mutex_);
    appId_ = std::move(appId);
  }
  std::optional<std::string> appSignature() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return appSignature_;
  }
  void setAppSignature(std::optional<std::string> appSignature) {
    std::lock_guard<std::mutex> lock(mutex_);
    appSignature_ = std::move(appSignature);
  }
  // Seconds; 0 means the connection's own default.
  unsigned long timeout() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeout_;
  }
  void setTimeout(unsigned long seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeout_ = seconds;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> appId_;
  std::optional<std::string> appSignature_;
  unsigned long timeout_ = 0;
};

}  // namespace cadenzo
