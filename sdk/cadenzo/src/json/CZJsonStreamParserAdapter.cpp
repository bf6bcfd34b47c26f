#include "CZJsonStreamParserAdapter.h"

namespace cadenzo {

CZJsonStreamParserAdapter::CZJsonStreamParserAdapter() {
  frames_.reserve(32);
  stack_.reserve(64);
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

}  // namespace cadenzo
