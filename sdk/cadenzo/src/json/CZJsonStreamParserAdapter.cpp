#include "CZJsonStreamParserAdapter.h"

#include <iterator>

namespace cadenzo {

CZJsonStreamParserAdapter::CZJsonStreamParserAdapter() {
  frames_.reserve(32);
  values_.reserve(64);
  keys_.reserve(64);
}

template <class... Args>
void CZJsonStreamParserAdapter::parserFound(CZJsonStreamParser& parser, Args&&... args) {
  if (!frames_.empty()) {
    values_.emplace_back(std::forward<Args>(args)...);
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
  if (++depth_ > levelsToSkip_) frames_.push_back(Frame{isObject, values_.size(), keys_.size()});
}

void CZJsonStreamParserAdapter::containerEnd(CZJsonStreamParser& parser) {
  if (depth_-- <= levelsToSkip_ || frames_.empty()) return;
  const Frame frame = frames_.back();
  frames_.pop_back();
  const size_t count = values_.size() - frame.firstValue;
  // The finished container goes straight to where it belongs, without an interim value.
  if (frame.isObject) {
    std::vector<platform::Dictionary::Entry> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i)
      entries.emplace_back(std::move(keys_[frame.firstKey + i]), std::move(values_[frame.firstValue + i]));
    values_.resize(frame.firstValue);
    keys_.resize(frame.firstKey);
    parserFound(parser, platform::Dictionary(std::move(entries)));
  } else {
    platform::Array array(std::make_move_iterator(values_.begin() + static_cast<std::ptrdiff_t>(frame.firstValue)),
                          std::make_move_iterator(values_.end()));
    values_.resize(frame.firstValue);
    parserFound(parser, std::move(array));
  }
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
  if (!frames_.empty()) keys_.emplace_back(key);
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
