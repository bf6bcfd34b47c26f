#pragma once
// Turns the stream parser's events into nested arrays and dictionaries and hands each
// finished top-level container (or each container below `levelsToSkip` outer levels) to its
// delegate. Booleans become boolean values, null the null value; numbers and strings pass
// as they are. A key repeated inside one object keeps its first position and the last value.
//
// Ownership: the delegate is not retained (weak). Not thread-safe: it follows its parser.
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

class CZJsonStreamParserAdapter : public CZJsonStreamParserDelegate {
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

  void parserFoundObjectStart(CZJsonStreamParser& parser) override;
  void parserFoundObjectKey(CZJsonStreamParser& parser, std::string_view key) override;
  void parserFoundObjectEnd(CZJsonStreamParser& parser) override;
  void parserFoundArrayStart(CZJsonStreamParser& parser) override;
  void parserFoundArrayEnd(CZJsonStreamParser& parser) override;
  void parserFoundBoolean(CZJsonStreamParser& parser, bool x) override;
  void parserFoundNull(CZJsonStreamParser& parser) override;
  void parserFoundNumber(CZJsonStreamParser& parser, platform::Value&& num) override;
  void parserFoundString(CZJsonStreamParser& parser, std::string_view string) override;

 private:
  // Puts a value, made from `args`, where the innermost open container wants it: built in
  // place in an array, so the hot path makes no temporary values.
  template <class... Args>
  void parserFound(CZJsonStreamParser& parser, Args&&... args);
  void deliver(CZJsonStreamParser& parser, platform::Value obj);
  void containerStart(bool isObject);
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
