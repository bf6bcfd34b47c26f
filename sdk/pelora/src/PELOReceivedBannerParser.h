#pragma once
// The ad answer's XML. Element text is collected in one flat buffer: the start of any of
// the nine text elements begins a fresh one (dropping the text of an enclosing one), and
// the end of one of them takes it. Text inside CDATA sections is not collected. An answer
// that is not well-formed gives an ERROR banner with code 5 and the parser's description.
#include <memory>
#include <string>

#include "PELOXmlParserProtocol.h"
#include "platform/xml_parser.h"

namespace pelora {

class PELOReceivedBannerParser : public PELOXmlParserProtocol {
 public:
  std::shared_ptr<PELOReceivedBanner> parse(const platform::Bytes& data) override;

 private:
  struct Reader;
};

}  // namespace pelora
