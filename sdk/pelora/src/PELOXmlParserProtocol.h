#pragma once
// Reads an ad answer into a banner; always gives one (an ERROR banner when it cannot read).
#include <memory>

#include "PELOReceivedBanner.h"
#include "platform/value.h"

namespace pelora {

class PELOXmlParserProtocol {
 public:
  virtual ~PELOXmlParserProtocol() = default;
  virtual std::shared_ptr<PELOReceivedBanner> parse(const platform::Bytes& data) = 0;
};

}  // namespace pelora
