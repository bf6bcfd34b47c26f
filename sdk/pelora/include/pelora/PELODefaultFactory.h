#pragma once
// Makes the parts a banner view loads with. A host may replace the shared factory with a
// subclass; views created afterwards use the replacement. Thread-safe to reach and replace.
#include <memory>
#include <string>

#include "pelora/PELOAdDownloaderProtocol.h"

namespace pelora {

class PELOHttpConnectorProtocol;
class PELOXmlParserProtocol;

class PELODefaultFactory {
 public:
  virtual ~PELODefaultFactory() = default;

  // The shared factory, a plain PELODefaultFactory unless replaced.
  static std::shared_ptr<PELODefaultFactory> sharedFactory();
  static void setPELODefaultFactory(std::shared_ptr<PELODefaultFactory> factory);

  virtual std::shared_ptr<PELOAdDownloaderProtocol> createPELOAdDownloader();
  virtual std::shared_ptr<PELOHttpConnectorProtocol> createPELOHttpConnector(const std::string& userAgent);
  virtual std::shared_ptr<PELOXmlParserProtocol> createPELOXmlParser();
};

}  // namespace pelora
