#pragma once
// What the XML benches set a client's reading against: expat alone over the same bytes, with
// handlers that only count what they see (the least any reader built on it must do), and the
// platform's XML parser with a delegate that does nothing (what the client's own reading adds
// on top of it).
#include <expat.h>

#include <memory>
#include <string>
#include <vector>

#include "bench_interleaved.h"
#include "platform/xml_parser.h"

namespace benchexpat {

struct Counts {
  long elements = 0, chars = 0;
};

inline void XMLCALL onStart(void* data, const XML_Char*, const XML_Char**) { ++static_cast<Counts*>(data)->elements; }
inline void XMLCALL onEnd(void*, const XML_Char*) {}
inline void XMLCALL onChars(void* data, const XML_Char*, int len) { static_cast<Counts*>(data)->chars += len; }

// Elements plus characters seen, or -1 when the text is not well-formed.
inline long expatAlone(std::string_view text) {
  Counts counts;
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetUserData(parser, &counts);
  XML_SetElementHandler(parser, onStart, onEnd);
  XML_SetCharacterDataHandler(parser, onChars);
  const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok ? counts.elements + counts.chars : -1;
}

// The platform parser's side and expat's, in that order, to follow the client's side; both
// read `text`, which must outlive them.
inline std::vector<benchrounds::Side> references(const std::string& text) {
  auto bytes = std::make_shared<platform::Bytes>(text.begin(), text.end());
  auto idle = std::make_shared<platform::XMLParserDelegate>();
  return {{"platform parser, idle delegate",
           [bytes, idle] {
             platform::XMLParser xml(*bytes, platform::kXMLParserInPlace);
             xml.setDelegate(idle);
             return static_cast<long>(xml.parse());
           }},
          {"expat alone", [&text] { return expatAlone(text); }}};
}

}  // namespace benchexpat
