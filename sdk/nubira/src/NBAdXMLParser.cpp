#include "NBAdXMLParser.h"

#include <cstdint>
#include <cstdlib>

#include "NBSDKUtil.h"
#include "platform/text_helpers.h"
#include "platform/xml_parser.h"

namespace nubira {

namespace {

// What a number attribute reads as: its leading decimal integer (0 for none, saturated past
// the range of 64 bits), cut to int; 0 when the attribute is absent. Plain digits, as the
// server writes them, are read here; anything else (signs, spaces, long numbers) by strtoll.
int intValue(const char* text) {
  if (!text) return 0;
  // At most 18 digits, which cannot overflow.
  uint64_t value = 0;
  const char* end = text;
  for (unsigned digit; end - text < 18 && (digit = static_cast<unsigned char>(*end) - unsigned{'0'}) <= 9; ++end)
    value = value * 10 + digit;
  if (end == text || *end != '\0') return static_cast<int>(std::strtoll(text, nullptr, 10));
  return static_cast<int>(value);
}

bool isAsciiSpaceOrLineEnd(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

[[gnu::noinline]] std::string_view trimmedInto(std::string_view text, std::string& room) {
  room = platform::trimWhitespaceAndNewlines(text);
  return room;
}

// `text` without white space and line ends at either end. Text the server writes has none
// there, and is then taken as it is; otherwise it is cut into `room`.
inline std::string_view trimmedView(std::string_view text, std::string& room) {
  if (!text.empty() && static_cast<unsigned char>(text.front()) < 0x80 && static_cast<unsigned char>(text.back()) < 0x80 &&
      !isAsciiSpaceOrLineEnd(text.front()) && !isAsciiSpaceOrLineEnd(text.back()))
    return text;
  return trimmedInto(text, room);
}

// Sets `field` to `text` in the room of the last ad's value, when there was one (appending
// to an emptied string takes a shorter path than assigning to it).
void keep(std::optional<std::string>& field, std::string_view text) {
  if (!field) {
    field.emplace(text);
    return;
  }
  field->clear();
  field->append(text);
}

}  // namespace

// Reads the events in place: a reply of many ads has a few names and attributes per ad to
// look at, and copying every one of them would cost more than the reading.
class NBAdXMLParser::Listener : public platform::XMLParserDelegate {
 public:
  explicit Listener(NBAdUnit& ad) : ad_(ad) {}

  void didStartElementInPlace(platform::XMLParser& parser, std::string_view name,
                              const platform::XMLAttributeList& attributes) override {
    if (platform::equalsIgnoringAsciiCase(name, "Ad")) {
      readAd(attributes);
    } else if (platform::equalsIgnoringAsciiCase(name, "AdURL")) {
      isAdUrl_ = true;
      adUrlText_.clear();
      // A URL written with character entities arrives in several runs: all of them make it.
      parser.appendCharactersTo(&adUrlText_);
    } else if (platform::equalsIgnoringAsciiCase(name, "TitleText")) {
      isTitleText_ = true;
    }
  }

  // The attributes of an Ad, looked for in one pass; names are exact. Of both spellings of
  // the action type, the lower-case one counts.
  [[gnu::noinline]] void readAd(const platform::XMLAttributeList& attributes) {
    const char *type = nullptr, *actionType = nullptr, *actiontype = nullptr, *width = nullptr, *height = nullptr;
    for (size_t i = 0; const char* key = attributes.nameAt(i); ++i) {
      const char* value = attributes.valueAt(i);
      switch (key[0]) {
        case 't': if (attributes.nameIs(i, "type")) type = value; break;
        case 'a':
          if (attributes.nameIs(i, "actionType")) actionType = value;
          else if (attributes.nameIs(i, "actiontype")) actiontype = value;
          break;
        case 'w': if (attributes.nameIs(i, "width")) width = value; break;
        case 'h': if (attributes.nameIs(i, "height")) height = value; break;
      }
    }
    if (type) ad_.adType = NBAdUnit::getAdType(trimmedView(type, trimmed_));
    if (actiontype || actionType) ad_.adActionType = intValue(actiontype ? actiontype : actionType);
    ad_.width = intValue(width);
    ad_.height = intValue(height);
  }

  // Only the URL's text is wanted, and it goes straight to adUrlText_.
  void foundCharactersInPlace(platform::XMLParser&, std::string_view) override {}

  // Where the parser holds it (mostly the reply's own bytes): the ad's copy is the only one.
  void foundCDATAInPlace(platform::XMLParser&, std::string_view block) override { keep(ad_.CDATABlock, block); }

  void didEndElementInPlace(platform::XMLParser& parser, std::string_view name) override {
    if (platform::equalsIgnoringAsciiCase(name, "AdURL")) {
      parser.appendCharactersTo(nullptr);
      if (isAdUrl_ && !adUrlText_.empty()) {
        const std::string_view url = trimmedView(adUrlText_, trimmed_);
        if (ad_.targetUrl && url.size() == adUrlText_.size()) {
          // Untrimmed text is the URL as it is: the last ad's URL leaves its room to the next.
          ad_.targetUrl->swap(adUrlText_);
        } else {
          keep(ad_.targetUrl, url);
        }
      }
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
  // Room for text that had to be trimmed.
  std::string trimmed_;
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
