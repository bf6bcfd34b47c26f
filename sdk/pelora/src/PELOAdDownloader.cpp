#include "PELOAdDownloader.h"

#include <algorithm>
#include <cstdlib>

#include "PELOEnumConverter.h"
#include "PELOLocationManager.h"
#include "PELOLogger.h"
#include "PELOSessionInfo.h"
#include "pelora/PELODefaultFactory.h"
#include "pelora/PELOGlobalSettings.h"
#include "platform/device.h"
#include "platform/format.h"
#include "platform/run_loop.h"
#include "platform/web_view.h"

namespace pelora {

struct PELOAdDownloader::ConnectorListener : PELOHttpConnectorListener {
  std::weak_ptr<PELOAdDownloader> owner;
  void bannerDownloadComplete(const std::shared_ptr<PELOReceivedBanner>& banner) override {
    if (auto o = owner.lock()) o->bannerDownloadComplete(banner);
  }
};

namespace {

// What the platform's web view sends as its agent.
std::string webViewUserAgent() {
  auto probe = platform::WebView::create(platform::Rect(0, 0, 1, 1));
  probe->setHidden(true);
  return probe->stringByEvaluatingJavaScriptFromString("navigator.userAgent");
}

}  // namespace

std::shared_ptr<PELOAdDownloader> PELOAdDownloader::create() {
  auto downloader = std::make_shared<PELOAdDownloader>(platform::Passkey<PELOAdDownloader>{});
  downloader->connectorListener_ = std::make_shared<ConnectorListener>();
  downloader->connectorListener_->owner = downloader;
  downloader->httpConnector_->setConnectionListener(downloader->connectorListener_);
  std::weak_ptr<PELOAdDownloader> weak = downloader;
  downloader->reloadTimer_->setSelector([weak] {
    if (auto self = weak.lock()) self->asyncLoadNewBanner();
  });
  return downloader;
}

PELOAdDownloader::PELOAdDownloader(platform::Passkey<PELOAdDownloader>)
    : userAgent_(webViewUserAgent()),
      reloadTimer_(PELOAutoReloadTimer::createTimerWithTargetWithSelector(nullptr)) {
  httpConnector_ = PELODefaultFactory::sharedFactory()->createPELOHttpConnector(userAgent_);
}

PELOAdDownloader::~PELOAdDownloader() {
  platform::RunLoop::main().cancelPerforms(this);
  if (httpConnector_) httpConnector_->setConnectionListener({});
}

void PELOAdDownloader::addAdListener(const std::weak_ptr<PELOAdListenerProtocol>& listener) {
  auto added = listener.lock();
  if (!added) return;
  for (const auto& l : adListeners_)
    if (l.lock() == added) return;
  adListeners_.push_back(listener);
}

void PELOAdDownloader::removeAdListener(const std::shared_ptr<PELOAdListenerProtocol>& listener) {
  std::erase_if(adListeners_, [&](const auto& l) { return l.expired() || l.lock() == listener; });
}

bool PELOAdDownloader::isLocationUpdateEnabled() const { return PELOLocationManager::locationManager()->locationUpdateEnabled(); }

void PELOAdDownloader::setLocationUpdateEnabled(bool enabled) {
  PELOLocationManager::locationManager()->setLocationUpdateEnabled(enabled);
}

void PELOAdDownloader::asyncLoadNewBanner() {
  if (downloading_) {
    PELOLogger::info("Skipping call");
    return;
  }
  downloading_ = true;
  std::weak_ptr<PELOAdDownloader> weak = weak_from_this();
  platform::RunLoop::main().postAfter(kStartDelay, [weak] {
    if (auto self = weak.lock()) self->startBannerLoad();
  }, this);
}

void PELOAdDownloader::startBannerLoad() { httpConnector_->asyncLoadNewBanner(requestString()); }

std::string PELOAdDownloader::composeRequest(bool escaped) const {
  auto global = PELOGlobalSettings::globalSettings();
  std::string out = "http://" + global->adHost() + "/pelora/request?response=XML";
  if (std::strtod(platform::Device::currentDevice().systemVersion().c_str(), nullptr) >= 3.2)
    out += "&modifyRM=true&formatstrict=true";
  out += "&beacon=true&user=900";
  if (adSettings_->adDimension() == kPELOAdDimensionSky) out += "&dimensionstrict=true";
  if (adSettings_->publisherId() == 0) out += "&pub=0";
  if (adSettings_->adspaceId() == 0) out += "&adspace=0";
  std::string tail = PELOSessionInfo::sessionInfo()->requestString() + adSettings_->requestString();
  if (global->userSettings()->userProfileEnabled()) tail += global->userSettings()->requestString();
  if (!escaped) tail = platform::replacingPercentEscapes(tail).value_or(tail);
  return out + tail;
}

std::string PELOAdDownloader::requestString() const {
  if (adSettings_->publisherId() == 0 || adSettings_->adspaceId() == 0)
    PELOLogger::info("Publisher or adspace id is 0. You will receive a demo ad.");
  PELOLogger::debug(platform::format("Requesting url: %@", composeRequest(false)));
  return composeRequest(true);
}

void PELOAdDownloader::bannerDownloadComplete(const std::shared_ptr<PELOReceivedBanner>& banner) {
  auto self = shared_from_this();
  if (banner->status() == kPELOBannerStatusError) {
    PELOLogger::debug(platform::format("Error %@ at ad request: %@", PELOErrorCodeEnumConverter::stringForValue(banner->errorCode()),
                                       banner->errorMessage()));
  } else {
    PELOLogger::debug(platform::format("Received ad of type %@", PELOAdTypeEnumConverter::stringForValue(banner->adType())));
    PELOLogger::debug(platform::format("Text: %@, Image: %@, Target: %@, MediaData: %@", banner->adText(), banner->imageUrl(),
                                       banner->clickUrl(), banner->richMediaData()));
  }
  const auto listeners = adListeners_;
  for (const auto& weakListener : listeners)
    if (auto listener = weakListener.lock()) listener->onReceiveAdWithReceivedBanner(self, banner);
  downloading_ = false;
}

}  // namespace pelora
