#include "CZJsonParser.h"

#include <memory>

#include "CZJsonStreamParser.h"
#include "CZJsonStreamParserAccumulator.h"
#include "CZJsonStreamParserAdapter.h"

namespace cadenzo {

std::string CZJsonParser::error() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return error_;
}

void CZJsonParser::setError(std::string error) {
  std::lock_guard<std::mutex> lock(errorMutex_);
  error_ = std::move(error);
}

std::optional<platform::Value> CZJsonParser::objectWithData(const uint8_t* bytes, size_t length) {
  if (!bytes) {
    setError("Input was 'nil'");
    return std::nullopt;
  }
  auto accumulator = std::make_shared<CZJsonStreamParserAccumulator>();
  auto adapter = std::make_shared<CZJsonStreamParserAdapter>();
  adapter->setDelegate(accumulator);
  adapter->expectText(length);
  CZJsonStreamParser parser;
  parser.setMaxDepth(maxDepth());
  parser.setDelegate(adapter);
  int status = parser.parse(bytes, length);
  // These bytes are all there is: a number may run to their very end, and nothing but
  // whitespace may follow the document.
  if (status != CZJsonStreamParser::CZJsonStreamParserError) status = parser.parseEndOfInput();
  switch (status) {
    case CZJsonStreamParser::CZJsonStreamParserComplete:
      return accumulator->takeValue();
    case CZJsonStreamParser::CZJsonStreamParserWaitingForData:
      setError("Unexpected end of input");
      return std::nullopt;
    default:
      setError(parser.error());
      return std::nullopt;
  }
}

std::optional<platform::Value> CZJsonParser::objectWithStringError(std::string_view text,
                                                                   platform::Error* error) {
  auto result = objectWithString(text);
  if (!result && error) {
    platform::Dictionary info;
    info.set(platform::kLocalizedDescriptionKey, platform::Value(this->error()));
    *error = platform::Error{kErrorDomain, 0, platform::Value(std::move(info))};
  }
  return result;
}

std::optional<platform::Value> JSONValue(std::string_view text) {
  CZJsonParser parser;
  return parser.objectWithString(text);
}

}  // namespace cadenzo
