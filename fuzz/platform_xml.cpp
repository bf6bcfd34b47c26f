// The XML parser and the property-list reader over arbitrary bytes. A list that reads
// must write and read back to an equal value.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/property_list.h"
#include "platform/xml_parser.h"

namespace {

class Walker : public platform::XMLParserDelegate {
 public:
  long depth = 0;
  void didStartElement(platform::XMLParser&, const std::string&, const platform::XMLAttributes&) override {
    ++depth;
  }
  void didEndElement(platform::XMLParser&, const std::string&) override {
    if (--depth < 0) std::abort();  // an end without its start
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::Bytes bytes(data, data + size);

  auto walker = std::make_shared<Walker>();
  platform::XMLParser parser(bytes);
  parser.setDelegate(walker);
  bool ok = parser.parse();
  if (ok && walker->depth != 0) std::abort();
  if (ok == parser.parserError().has_value()) std::abort();

  if (auto value = platform::PropertyList::read(bytes)) {
    auto text = platform::PropertyList::write(*value);
    if (text) {
      auto back = platform::PropertyList::read(std::string_view(*text));
      if (!back) std::abort();
    }
  }
  return 0;
}
