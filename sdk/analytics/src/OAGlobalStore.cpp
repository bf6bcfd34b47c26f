#include "OAGlobalStore.h"

#include "platform/format.h"
#include "platform/random.h"
#include "platform/singleton.h"

namespace analytics {

namespace {

// Empty until first asked for, so making the record draws nothing from the random source.
struct HitIDState {
  std::string hitID;
};

// Never destroyed: hits may be built while the process is shutting down.
platform::ProcessState<HitIDState>& hitIDState() {
  static auto* const state = new platform::ProcessState<HitIDState>();
  return *state;
}

std::string randomHitID() {
  return platform::format("%d", static_cast<int32_t>(platform::Random::random()));
}

}  // namespace

OAGlobalStore& OAGlobalStore::sharedGlobalStore() {
  static OAGlobalStore store;  // holds nothing of its own
  return store;
}

std::string OAGlobalStore::hitID() const {
  return hitIDState().with([](HitIDState& state) {
    if (state.hitID.empty()) state.hitID = randomHitID();
    return state.hitID;
  });
}

void OAGlobalStore::initRandomHitID() {
  hitIDState().write(&HitIDState::hitID, randomHitID());
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
