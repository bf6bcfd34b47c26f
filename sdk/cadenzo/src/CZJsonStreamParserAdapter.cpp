#include "CZJsonStreamParserAdapter.h"

namespace cadenzo {

CZJsonStreamParserAdapter::CZJsonStreamParserAdapter() {
  keyStack_.reserve(32);
  stack_.reserve(32);
}

void CZJsonStreamParserAdapter::pop() {
  stack_.pop_back();
  array_ = nullptr;
  dict_ = nullptr;
  if (stack_.empty()) {
    currentType_ = CZJsonStreamParserAdapterNone;
  } else if (stack_.back().isArray()) {
    currentType_ = CZJsonStreamParserAdapterArray;
    array_ = &stack_.back().mutableArray();
  } else {
    currentType_ = CZJsonStreamParserAdapterObject;
    dict_ = &stack_.back().mutableDictionary();
  }
}

template <class... Args>
void CZJsonStreamParserAdapter::parserFound(CZJsonStreamParser& parser, Args&&... args) {
  switch (currentType_) {
    case CZJsonStreamParserAdapterArray:
      array_->emplace_back(std::forward<Args>(args)...);
      break;
    case CZJsonStreamParserAdapterObject:
      dict_->set(std::move(keyStack_.back()), platform::Value(std::forward<Args>(args)...));
      keyStack_.pop_back();
      break;
    case CZJsonStreamParserAdapterNone:
      if (auto delegate = delegate_.lock()) {
        platform::Value obj(std::forward<Args>(args)...);
        if (obj.isArray()) {
          delegate->parserFoundArray(parser, std::move(obj));
        } else {
          delegate->parserFoundObject(parser, std::move(obj));
        }
      }
      break;
  }
}

void CZJsonStreamParserAdapter::parserFoundObjectStart(CZJsonStreamParser&) {
  if (++depth_ > levelsToSkip_) {
    stack_.emplace_back(platform::Dictionary());
    dict_ = &stack_.back().mutableDictionary();
    array_ = nullptr;
    currentType_ = CZJsonStreamParserAdapterObject;
  }
}

void CZJsonStreamParserAdapter::parserFoundArrayStart(CZJsonStreamParser&) {
  if (++depth_ > levelsToSkip_) {
    stack_.emplace_back(platform::Array());
    array_ = &stack_.back().mutableArray();
    dict_ = nullptr;
    currentType_ = CZJsonStreamParserAdapterArray;
  }
}

void CZJsonStreamParserAdapter::containerEnd(CZJsonStreamParser& parser) {
  if (depth_-- > levelsToSkip_) {
    platform::Value finished = std::move(stack_.back());
    pop();
    parserFound(parser, std::move(finished));
  }
}

void CZJsonStreamParserAdapter::parserFoundObjectEnd(CZJsonStreamParser& parser) {
  containerEnd(parser);
}

void CZJsonStreamParserAdapter::parserFoundArrayEnd(CZJsonStreamParser& parser) {
  containerEnd(parser);
}

void CZJsonStreamParserAdapter::parserFoundObjectKey(CZJsonStreamParser&, std::string_view key) {
  keyStack_.emplace_back(key);
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
