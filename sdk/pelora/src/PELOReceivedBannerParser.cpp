#include "PELOReceivedBannerParser.h"

#include <array>
#include <string_view>

#include "PELOEnumConverter.h"

namespace pelora {
namespace {

constexpr std::array<std::string_view, 9> kTextElements{"sessionid", "status", "mediadata", "beacon", "mediafile",
                                                        "adtext",    "link",   "code",      "desc"};

bool isTextElement(std::string_view name) {
  for (auto e : kTextElements)
    if (e == name) return true;
  return false;
}

}  // namespace

struct PELOReceivedBannerParser::Reader : platform::XMLParserDelegate {
  std::shared_ptr<PELOReceivedBanner> banner = std::make_shared<PELOReceivedBanner>();
  // The one buffer; `collecting` says whether there is one. Its room is kept between
  // elements, so a long answer does not allocate for every element.
  std::string buffer;
  bool collecting = false;

  void didStartElement(platform::XMLParser&, const std::string& name, const platform::XMLAttributes& attributes) override {
    if (isTextElement(name)) {
      buffer.clear();
      collecting = true;
    } else if (name == "ad") {
      if (const platform::Value* type = attributes.find("type"))
        banner->setAdType(PELOAdTypeEnumConverter::valueForString(type->stringValue()));
    } else if (name == "action") {
      if (const platform::Value* target = attributes.find("target")) banner->setClickUrl(target->stringValue());
    }
  }

  void foundCharacters(platform::XMLParser&, const std::string& chars) override {
    if (collecting) buffer.append(chars);
  }

  void didEndElement(platform::XMLParser&, const std::string& name) override {
    if (!isTextElement(name)) return;
    // An element whose buffer an inner one took has no text of its own left.
    const bool hadText = collecting;
    std::string value = hadText ? buffer : std::string();
    collecting = false;
    if (name == "sessionid") banner->setSessionId(std::move(value));
    // Any word but "ERROR" reads as success.
    else if (name == "status") banner->setStatus(PELOBannerStatusEnumConverter::valueForString(value));
    else if (name == "mediadata") banner->setRichMediaData(std::move(value));
    else if (name == "beacon") {
      if (hadText) banner->addBeacon(std::move(value));
    } else if (name == "mediafile") banner->setMediaFile(std::move(value));
    else if (name == "adtext") banner->setAdText(std::move(value));
    else if (name == "link") banner->setImageUrl(std::move(value));
    else if (name == "code") banner->setErrorCode(PELOErrorCodeEnumConverter::valueForString(value));
    else if (name == "desc") banner->setErrorMessage(std::move(value));
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
  platform::XMLParser parser(data);
  parser.setDelegate(reader);
  parser.setShouldProcessNamespaces(false);
  parser.setShouldResolveExternalEntities(false);
  parser.parse();
  return reader->banner;
}

}  // namespace pelora
