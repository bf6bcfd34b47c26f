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
  deliver(parser, platform::Value(std::forward<Args>(args)...));
}

void CZJsonStreamParserAdapter::deliver(CZJsonStreamParser& parser, platform::Value obj) {
  if (auto delegate = delegate_.lock()) {
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
  // The finished container takes its members' place in the one below; at the top, it goes
  // to the delegate.
  if (frame.isObject) stack_.closeDictionary(frame.members);
  else stack_.closeArray(frame.members);
  if (frames_.empty()) deliver(parser, stack_.take());
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
  if (!frames_.empty()) stack_.pushKey(key);
}

void CZJsonStreamParserAdapter::parserFoundBoolean(CZJsonStreamParser& parser, bool x) {
  parserFound(parser, x);
}

void CZJsonStreamParserAdapter::parserFoundNull(CZJsonStreamParser& parser) {
  parserFound(parser, nullptr);
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
