#include "OAGlobalStore.h"

#include "platform/format.h"
#include "platform/random.h"

namespace analytics {

OAGlobalStore& OAGlobalStore::sharedGlobalStore() {
  // Leaked on purpose: hits may be built while the process is shutting down.
  static OAGlobalStore* const store = new OAGlobalStore();
  return *store;
}

OAGlobalStore::OAGlobalStore() { initRandomHitID(); }

std::string OAGlobalStore::hitID() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hitID_;
}

void OAGlobalStore::initRandomHitID() {
  std::string id = platform::format("%d", static_cast<int32_t>(platform::Random::random()));
  std::lock_guard<std::mutex> lock(mutex_);
  hitID_ = std::move(id);
}

platform::Dictionary OAGlobalStore::parameters(const TrackerIDs& ids) const {
  if (!ids.accountID || !ids.sessionID || !ids.visitorID) return {};
  return platform::Dictionary{{"oa_hid", hitID()},
                              {"oa_sid", *ids.sessionID},
                              {"oa_vid", *ids.visitorID},
                              {"oa_fc", 1},
                              {"oa_wpids", *ids.accountID}};
}

}  // namespace analytics
