#include "kelvane/KelvaneAd.h"

#include "KvAdServer.h"
#include "KvAdViewController.h"
#include "platform/reachability.h"

namespace kelvane {

bool KelvaneAd::DisplayAdWithTypeWithRootWithReload(const std::string& appId, int type,
                                                    const std::shared_ptr<platform::View>& root, int reload) {
  return DisplayAdWithTypeWithRootWithReloadWithParams(appId, type, root, reload, std::nullopt);
}

bool KelvaneAd::DisplayAdWithTypeWithRootWithReloadWithParams(const std::string& appId, int type,
                                                              const std::shared_ptr<platform::View>& root, int reload,
                                                              const std::optional<KelvaneParams>& params) {
  auto target = platform::Reachability::createWithName(KvAdServer::hostName());
  if (!target) return false;
  auto flags = target->flags();
  if (!flags) return false;
  if (!(*flags & platform::Reachability::kReachable)) return false;
  const uint32_t needsUser = platform::Reachability::kConnectionRequired | platform::Reachability::kInterventionRequired;
  if ((*flags & needsUser) == needsUser) return false;
  if (appId.empty()) return false;
  if (type <= 0 || type > 3) return false;
  if ((type == kKelvaneAdTypeBanner || type == kKelvaneAdTypeText) && !root) return false;
  KvAdViewController::create()->initWithAppIdWithTypeWithRootWithReloadWithParams(appId, type, root, reload, params);
  return true;
}

void KelvaneAd::setServerHost(std::string host) { KvAdServer::setHost(std::move(host)); }

std::string KelvaneAd::serverHost() { return KvAdServer::host(); }

}  // namespace kelvane
