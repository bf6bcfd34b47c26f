#pragma once
// Turns the stream parser's events into nested arrays and dictionaries and hands each
// finished top-level container (or each container below `levelsToSkip` outer levels) to its
// delegate. Booleans become boolean values, null the null value; numbers and strings pass
// as they are. A key repeated inside one object keeps its first position and the last value.
//
// Ownership: the delegate is not retained (weak). Not thread-safe: it follows its parser.
// The class is final and its event handlers are inline, so a parser that finds an adapter as
// its delegate can make the calls directly, one token at a time, rather than through the
// delegate interface.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CZJsonStreamParser.h"
#include "platform/value.h"
#include "platform/value_stack.h"

namespace cadenzo {

class CZJsonStreamParserAdapterDelegate {
 public:
  virtual ~CZJsonStreamParserAdapterDelegate() = default;
  virtual void parserFoundArray(CZJsonStreamParser& parser, platform::Value array) = 0;
  virtual void parserFoundObject(CZJsonStreamParser& parser, platform::Value dict) = 0;
};

class CZJsonStreamParserAdapter final : public CZJsonStreamParserDelegate {
 public:
  enum CurrentType { CZJsonStreamParserAdapterNone = 0, CZJsonStreamParserAdapterArray = 1,
                     CZJsonStreamParserAdapterObject = 2 };

  CZJsonStreamParserAdapter();

  std::weak_ptr<CZJsonStreamParserAdapterDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<CZJsonStreamParserAdapterDelegate> d) { delegate_ = std::move(d); }
  unsigned levelsToSkip() const { return levelsToSkip_; }
  void setLevelsToSkip(unsigned levels) { levelsToSkip_ = levels; }
  // The size of the text about to be read, when it is known, to size the values' memory.
  void expectText(size_t bytes) { stack_.expectText(bytes); }

  void parserFoundObjectStart(CZJsonStreamParser&) override { containerStart(true); }
  void parserFoundObjectKey(CZJsonStreamParser&, std::string_view key) override {
    // Keys of levels that are skipped have no container to go into.
    if (!frames_.empty()) stack_.pushKey(key);
  }
  void parserFoundObjectEnd(CZJsonStreamParser& parser) override { containerEnd(parser); }
  void parserFoundArrayStart(CZJsonStreamParser&) override { containerStart(false); }
  void parserFoundArrayEnd(CZJsonStreamParser& parser) override { containerEnd(parser); }
  void parserFoundBoolean(CZJsonStreamParser& parser, bool x) override { parserFound(parser, x); }
  void parserFoundNull(CZJsonStreamParser& parser) override { parserFound(parser, nullptr); }
  void parserFoundNumber(CZJsonStreamParser& parser, platform::Value&& num) override {
    parserFound(parser, std::move(num));
  }
  void parserFoundString(CZJsonStreamParser& parser, std::string_view string) override {
    parserFound(parser, string);
  }
  // The same as parserFoundNumber(parser, number.number()), for a parser that hands its
  // token over directly: a number goes straight where it belongs, made from its parts.
  void parserFoundNumberToken(CZJsonStreamParser& parser, const CZJsonTokenValue& number) {
    if (frames_.empty()) {
      deliver(parser, number.number());
      return;
    }
    switch (number.numberKind) {
      case CZJsonTokenValue::kUnsigned: stack_.push(number.integer); break;
      case CZJsonTokenValue::kSigned: stack_.push(static_cast<int64_t>(number.integer)); break;
      default: stack_.pushText(platform::Value::Type::Decimal, number.string); break;
    }
  }

 private:
  // Puts a value, made from `args`, where the innermost open container wants it: built in
  // place in an array, so the hot path makes no temporary values.
  template <class... Args>
  void parserFound(CZJsonStreamParser& parser, Args&&... args) {
    if (!frames_.empty()) {
      stack_.push(std::forward<Args>(args)...);
      return;
    }
    deliver(parser, platform::Value(std::forward<Args>(args)...));
  }
  void deliver(CZJsonStreamParser& parser, platform::Value obj);
  void containerStart(bool isObject) {
    if (++depth_ > levelsToSkip_) frames_.push_back(Frame{isObject, stack_.mark()});
  }
  void containerEnd(CZJsonStreamParser& parser);

  // Open containers gather their members and keys on stacks shared by every depth and become
  // a value of exactly the right size when they close, so no container grows and reallocates
  // while it fills, and the stacks' memory serves every document the adapter reads.
  struct Frame {
    bool isObject;
    platform::ValueStack::Mark members;
  };
  std::vector<Frame> frames_;
  platform::ValueStack stack_;
  std::weak_ptr<CZJsonStreamParserAdapterDelegate> delegate_;
  unsigned depth_ = 0;
  unsigned levelsToSkip_ = 0;
};

}  // namespace cadenzo
