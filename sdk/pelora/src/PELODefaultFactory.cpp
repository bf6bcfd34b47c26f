#include "pelora/PELODefaultFactory.h"

#include "PELOAdDownloader.h"
#include "PELOHttpConnector.h"
#include "PELOReceivedBannerParser.h"
#include "platform/singleton.h"

namespace pelora {
namespace {

struct FactoryState {
  std::shared_ptr<PELODefaultFactory> factory;
};

}  // namespace

std::shared_ptr<PELODefaultFactory> PELODefaultFactory::sharedFactory() {
  return platform::processState<FactoryState>().with([](FactoryState& state) {
    if (!state.factory) state.factory = std::make_shared<PELODefaultFactory>();
    return state.factory;
  });
}

void PELODefaultFactory::setPELODefaultFactory(std::shared_ptr<PELODefaultFactory> factory) {
  platform::processState<FactoryState>().write(&FactoryState::factory, std::move(factory));
}

std::shared_ptr<PELOAdDownloaderProtocol> PELODefaultFactory::createPELOAdDownloader() { return PELOAdDownloader::create(); }

std::shared_ptr<PELOHttpConnectorProtocol> PELODefaultFactory::createPELOHttpConnector(const std::string& userAgent) {
  return PELOHttpConnector::createWith(userAgent, createPELOXmlParser());
}

std::shared_ptr<PELOXmlParserProtocol> PELODefaultFactory::createPELOXmlParser() {
  return std::make_shared<PELOReceivedBannerParser>();
}

}  // namespace pelora
