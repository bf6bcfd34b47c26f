#pragma once
// The process-wide hit id that goes into every hit ("ovahid"), and a summary of it with the
// tracker's ids. The hit id is drawn on first use and drawn afresh after a process reset.
// Thread-safe.
#include <optional>
#include <string>

#include "platform/value.h"

namespace analytics {

class OAGlobalStore {
 public:
  static OAGlobalStore& sharedGlobalStore();

  // The decimal text of a random non-negative 31-bit number, the same until the next reset.
  std::string hitID() const;
  // Replaces the hit id with a new random one.
  void initRandomHitID();
  // The ids the summary reports besides the hit id, as the tracker knows them (nullopt while
  // it is not started).
  struct TrackerIDs {
    std::optional<std::string> accountID;
    std::optional<std::string> sessionID;
    std::optional<std::string> visitorID;
  };
  // {"oa_hid", "oa_sid", "oa_vid", "oa_fc": 1, "oa_wpids"} when `ids` has an account, a
  // session and a visitor id; otherwise an empty dictionary.
  platform::Dictionary parameters(const TrackerIDs& ids) const;

  OAGlobalStore(const OAGlobalStore&) = delete;
  OAGlobalStore& operator=(const OAGlobalStore&) = delete;

 private:
  OAGlobalStore() = default;
};

}  // namespace analytics
