#pragma once
// Keeps the last top-level array or dictionary the adapter finished.
// Not thread-safe: it follows its parser.
#include "CZJsonStreamParserAdapter.h"
#include "platform/value.h"

namespace cadenzo {

class CZJsonStreamParserAccumulator : public CZJsonStreamParserAdapterDelegate {
 public:
  void parserFoundArray(CZJsonStreamParser&, platform::Value array) override {
    value_ = std::move(array);
  }
  void parserFoundObject(CZJsonStreamParser&, platform::Value dict) override {
    value_ = std::move(dict);
  }
  const platform::Value& value() const { return value_; }
  platform::Value takeValue() { return std::move(value_); }

 private:
  platform::Value value_;
};

}  // namespace cadenzo
