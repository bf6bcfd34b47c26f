#include "NBAdXMLParser.h"

#include "NBSDKUtil.h"
#include "platform/text_helpers.h"
#include "platform/xml_parser.h"

namespace nubira {

namespace {

int intValue(const platform::Value& text) { return static_cast<int>(text.integerValue()); }

}  // namespace

class NBAdXMLParser::Listener : public platform::XMLParserDelegate {
 public:
  explicit Listener(NBAdUnit& ad) : ad_(ad) {}

  void didStartElement(platform::XMLParser&, const std::string& name, const platform::XMLAttributes& attributes) override {
    if (platform::equalsIgnoringAsciiCase(name, "Ad")) {
      if (const auto* type = attributes.find("type")) {
        ad_.adType = NBAdUnit::getAdType(platform::trimWhitespaceAndNewlines(type->stringValue()));
      }
      if (const auto* action = attributes.find("actionType")) ad_.adActionType = intValue(*action);
      if (const auto* action = attributes.find("actiontype")) ad_.adActionType = intValue(*action);
      ad_.width = intValue(attributes.get("width"));
      ad_.height = intValue(attributes.get("height"));
    } else if (platform::equalsIgnoringAsciiCase(name, "AdURL")) {
      isAdUrl_ = true;
      adUrlText_.clear();
    } else if (platform::equalsIgnoringAsciiCase(name, "TitleText")) {
      isTitleText_ = true;
    }
  }

  // A URL written with character entities arrives in several runs: all of them make it.
  void foundCharacters(platform::XMLParser&, const std::string& text) override {
    if (isAdUrl_) adUrlText_ += text;
  }

  void foundCDATA(platform::XMLParser&, const platform::Bytes& block) override {
    // Into the room of an earlier block, when there was one.
    if (ad_.CDATABlock) ad_.CDATABlock->assign(block.begin(), block.end());
    else ad_.CDATABlock.emplace(block.begin(), block.end());
  }

  void didEndElement(platform::XMLParser&, const std::string& name) override {
    if (platform::equalsIgnoringAsciiCase(name, "AdURL")) {
      if (isAdUrl_ && !adUrlText_.empty()) ad_.targetUrl = platform::trimWhitespaceAndNewlines(adUrlText_);
      isAdUrl_ = false;
    } else if (platform::equalsIgnoringAsciiCase(name, "TitleText")) {
      isTitleText_ = false;
    }
  }

 private:
  NBAdUnit& ad_;
  bool isTitleText_ = false;
  bool isAdUrl_ = false;
  std::string adUrlText_;
};

NBAdXMLParser::NBAdXMLParser() = default;
NBAdXMLParser::~NBAdXMLParser() = default;

std::shared_ptr<NBAdUnit> NBAdXMLParser::buildAdUnitFromResponseData(const platform::Bytes& data) {
  auto util = NBSDKUtil::util();
  // A view: the reply is copied only when the line is written.
  util->logAbove(1, "res=%@", std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  ad_ = std::make_shared<NBAdUnit>();
  ad_->CDATABlock.reset();
  listener_ = std::make_shared<Listener>(*ad_);
  platform::XMLParser parser(data, platform::kXMLParserInPlace);
  parser.setDelegate(listener_);
  parser.setShouldProcessNamespaces(false);
  parser.setShouldResolveExternalEntities(false);
  if (!parser.parse() && parser.parserError()) {
    util->logAbove(2, "XML parser error : %@", parser.parserError()->localizedDescription());
    ad_->print();
  }
  parser.setDelegate({});
  listener_.reset();
  return ad_->isValid() ? ad_ : nullptr;
}

}  // namespace nubira
