#include "CZJsonStreamParserAdapter.h"

namespace cadenzo {

CZJsonStreamParserAdapter::CZJsonStreamParserAdapter() {
  frames_.reserve(32);
  stack_.reserve(64);
}

template <class... Args>
void CZJsonStreamParserAdapter::parserFound(CZJsonStreamParser& parser, Args&&... args) {
  if (!frames_.empty()) {
    stack_.push(std::forward<Args>(args)...);
    return;
  }
  if (auto delegate = delegate_.lock()) {
    platform::Value obj(std::forward<Args>(args)...);
    if (obj.isArray()) {
      delegate->parserFoundArray(parser, std::move(obj));
    } else {
      delegate->parserFoundObject(parser, std::move(obj));
    }
  }
}

void CZJsonStreamParserAdapter::containerStart(bool isObject) {
  if (++depth_ > levelsToSkip_) frames_.push_back(Frame{isObject, stack_.mark()});
}

void CZJsonStreamParserAdapter::containerEnd(CZJsonStreamParser& parser) {
  if (depth_-- <= levelsToSkip_ || frames_.empty()) return;
  const Frame frame = frames_.back();
  frames_.pop_back();
  // The finished container goes straight to where it belongs, without an interim value.
  if (frame.isObject) parserFound(parser, stack_.takeDictionary(frame.members));
  else parserFound(parser, stack_.takeArray(frame.members));
}

void CZJsonStreamParserAdapter::parserFoundObjectStart(CZJsonStreamParser&) { containerStart(true); }

void CZJsonStreamParserAdapter::parserFoundArrayStart(CZJsonStreamParser&) { containerStart(false); }

void CZJsonStreamParserAdapter::parserFoundObjectEnd(CZJsonStreamParser& parser) {
  containerEnd(parser);
}

void CZJsonStreamParserAdapter::parserFoundArrayEnd(CZJsonStreamParser& parser) {
  containerEnd(parser);
}

void CZJsonStreamParserAdapter::parserFoundObjectKey(CZJsonStreamParser&, std::string_view key) {
  // Keys of levels that are skipped have no container to go into.
  // The key's text lasts only until the next token.
  if (!frames_.empty()) stack_.pushKey(key, false);
}

void CZJsonStreamParserAdapter::parserFoundBoolean(CZJsonStreamParser& parser, bool x) {
  parserFound(parser, x);
}

void CZJsonStreamParserAdapter::parserFoundNull(CZJsonStreamParser& parser) {
  parserFound(parser);
}

void CZJsonStreamParserAdapter::parserFoundNumber(CZJsonStreamParser& parser,
                                                  platform::Value&& num) {
  parserFound(parser, std::move(num));
}

void CZJsonStreamParserAdapter::parserFoundString(CZJsonStreamParser& parser,
                                                  std::string_view string) {
  parserFound(parser, string);
}

}  // namespace cadenzo
