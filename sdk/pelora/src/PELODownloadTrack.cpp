#include "PELODownloadTrack.h"

#include "PELOQuery.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/bundle.h"
#include "platform/device.h"
#include "platform/singleton.h"
#include "platform/user_defaults.h"

namespace pelora {

std::string PELODownloadTrack::pingURL() {
  const bool answered = platform::UserDefaults::standardUserDefaults().boolForKey(kStartResultKey);
  std::string url = "http://" + PELOGlobalSettings::globalSettings()->adHost() + "/pelora/install";
  url += "?app=" + escapedQueryValue(platform::Bundle::mainBundle().bundleIdentifier());
  url += queryPair("ownid", platform::Device::currentDevice().uniqueIdentifier());
  url += answered ? "&firststart=false" : "&firststart=true";
  return url;
}

std::shared_ptr<platform::RequestBudget> PELODownloadTrack::pingBudget() {
  static platform::ResettableSingleton<platform::RequestBudget> shared;
  return shared.get([] { return std::make_shared<platform::RequestBudget>(kPingBudgetExceededLine); });
}

void PELODownloadTrack::sendPingToPELOServer() {
  if (!pingBudget()->allowRequest()) return;
  platform::URLRequest request(pingURL());
  request.setDeadlineInterval(kDeadline);
  request.setMaximumContentLength(platform::kURLDefaultMaximumContentLength);
  platform::URLConnection::connectionWithRequestDelegate(request, shared_from_this());
}

void PELODownloadTrack::connectionDidReceiveResponse(platform::URLConnection&, const platform::HTTPURLResponse& response) {
  if (response.statusCode() == 200) platform::UserDefaults::standardUserDefaults().setBoolForKey(true, kStartResultKey);
}

}  // namespace pelora
