#pragma once
// The process-wide hit id that goes into every hit ("ovahid"), and a summary of the
// tracker's ids. Created once, on first use, never destroyed. Thread-safe.
#include <mutex>
#include <string>

#include "platform/value.h"

namespace analytics {

class OAGlobalStore {
 public:
  static OAGlobalStore& sharedGlobalStore();

  // The decimal text of a random non-negative 31-bit number, the same for the whole run.
  std::string hitID() const;
  // Replaces the hit id with a new random one.
  void initRandomHitID();
  // {"oa_hid", "oa_sid", "oa_vid", "oa_fc": 1, "oa_wpids"} while the shared tracker has an
  // account, a session and a visitor id; otherwise an empty dictionary.
  platform::Dictionary parameters() const;

  OAGlobalStore(const OAGlobalStore&) = delete;
  OAGlobalStore& operator=(const OAGlobalStore&) = delete;

 private:
  OAGlobalStore();
  mutable std::mutex mutex_;
  std::string hitID_;
};

}  // namespace analytics
