#include "PELOReceivedBannerParser.h"

#include <array>
#include <string_view>
#include <vector>

#include "PELOEnumConverter.h"

namespace pelora {
namespace {

constexpr std::array<std::string_view, 9> kTextElements{"sessionid", "status", "mediadata", "beacon", "mediafile",
                                                        "adtext",    "link",   "code",      "desc"};

// The place of `name` in kTextElements, or -1.
int textElementIndex(std::string_view name) {
  for (size_t i = 0; i < kTextElements.size(); ++i)
    if (kTextElements[i] == name) return static_cast<int>(i);
  return -1;
}

bool isTextElement(std::string_view name) { return textElementIndex(name) >= 0; }

// Longer element text leaves the buffer with the value that takes it.
constexpr size_t kCopiedTextSize = 512;

}  // namespace

// Reads the events in place, and has the parser append element text to the buffer itself:
// rich-media text arrives in many short runs (one per entity and line), and a call and a copy
// for each would cost more than the reading.
struct PELOReceivedBannerParser::Reader : platform::XMLParserDelegate {
  std::shared_ptr<PELOReceivedBanner> banner = std::make_shared<PELOReceivedBanner>();
  // The one buffer; `collecting` says whether there is one. Its room is kept between
  // elements, so a long answer does not allocate for every element.
  std::string buffer;
  bool collecting = false;
  // Gathered here and handed to the banner once, so that its list is allocated once.
  std::vector<std::string> beacons;

  void didStartElementInPlace(platform::XMLParser& parser, std::string_view name,
                              const platform::XMLAttributeList& attributes) override {
    if (isTextElement(name)) {
      buffer.clear();
      collecting = true;
      parser.appendCharactersTo(&buffer);
    } else if (name == "ad") {
      if (const char* type = attributes.find("type")) banner->setAdType(PELOAdTypeEnumConverter::valueForString(type));
    } else if (name == "action") {
      if (const char* target = attributes.find("target")) banner->setClickUrl(target);
    }
  }

  // Text outside the text elements is not wanted; inside them it goes straight to the buffer.
  void foundCharactersInPlace(platform::XMLParser&, std::string_view) override {}

  void didEndElementInPlace(platform::XMLParser& parser, std::string_view name) override {
    const int element = textElementIndex(name);
    if (element < 0) return;
    parser.appendCharactersTo(nullptr);
    // An element whose buffer an inner one took has no text of its own left.
    const bool hadText = collecting;
    // Short text is copied, leaving the buffer's room to the next element; long text (rich
    // media) is handed over rather than copied again, unless most of the room would go with it.
    std::string value;
    if (hadText) value = buffer.size() > kCopiedTextSize && buffer.size() * 2 >= buffer.capacity() ? std::move(buffer) : buffer;
    collecting = false;
    // In the order of kTextElements.
    switch (element) {
      case 0: banner->setSessionId(std::move(value)); break;
      // Any word but "ERROR" reads as success.
      case 1: banner->setStatus(PELOBannerStatusEnumConverter::valueForString(value)); break;
      case 2: banner->setRichMediaData(std::move(value)); break;
      case 3:
        if (hadText) {
          if (beacons.empty()) beacons.reserve(4);
          beacons.push_back(std::move(value));
        }
        break;
      case 4: banner->setMediaFile(std::move(value)); break;
      case 5: banner->setAdText(std::move(value)); break;
      case 6: banner->setImageUrl(std::move(value)); break;
      case 7: banner->setErrorCode(PELOErrorCodeEnumConverter::valueForString(value)); break;
      case 8: banner->setErrorMessage(std::move(value)); break;
    }
  }

  void parseErrorOccurred(platform::XMLParser&, const platform::Error& error) override {
    banner->setStatus(kPELOBannerStatusError);
    banner->setErrorCode(kPELOErrorCodeParsingError);
    banner->setErrorMessage(error.localizedDescription());
    collecting = false;
  }
};

std::shared_ptr<PELOReceivedBanner> PELOReceivedBannerParser::parse(const platform::Bytes& data) {
  auto reader = std::make_shared<Reader>();
  // Element text is hardly ever longer than the answer: with this room the buffer does not
  // grow by copying itself. Pages of it that no text reaches are never touched.
  reader->buffer.reserve(data.size());
  platform::XMLParser parser(data, platform::kXMLParserInPlace);
  parser.setDelegate(reader);
  parser.setShouldProcessNamespaces(false);
  parser.setShouldResolveExternalEntities(false);
  parser.parse();
  if (!reader->beacons.empty()) reader->banner->setBeacons(std::move(reader->beacons));
  return reader->banner;
}

}  // namespace pelora
