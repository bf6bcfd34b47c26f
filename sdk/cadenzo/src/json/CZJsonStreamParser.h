#pragma once
// The streaming JSON parser: pulls tokens from its CZJsonTokeniser, checks each against the
// current state (a CZJsonStreamParserState singleton) and reports the document's structure
// to its delegate. Input may arrive in any number of pieces; a token cut by the end of the
// bytes so far is read again when more arrive, so the events and errors are the same however
// the text is split.
//
// Ownership: the delegate is not retained (weak); it is locked once per parse() call.
// Not thread-safe: one thread drives a parser.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CZJsonTokeniser.h"
#include "platform/value.h"

namespace cadenzo {

class CZJsonStreamParser;
class CZJsonStreamParserState;

// Structural events, in document order. Strings and keys are views valid during the call;
// a number may be moved from.
class CZJsonStreamParserDelegate {
 public:
  virtual ~CZJsonStreamParserDelegate() = default;
  virtual void parserFoundObjectStart(CZJsonStreamParser& parser) = 0;
  virtual void parserFoundObjectKey(CZJsonStreamParser& parser, std::string_view key) = 0;
  virtual void parserFoundObjectEnd(CZJsonStreamParser& parser) = 0;
  virtual void parserFoundArrayStart(CZJsonStreamParser& parser) = 0;
  virtual void parserFoundArrayEnd(CZJsonStreamParser& parser) = 0;
  virtual void parserFoundBoolean(CZJsonStreamParser& parser, bool x) = 0;
  virtual void parserFoundNull(CZJsonStreamParser& parser) = 0;
  virtual void parserFoundNumber(CZJsonStreamParser& parser, platform::Value&& num) = 0;
  virtual void parserFoundString(CZJsonStreamParser& parser, std::string_view string) = 0;
};

class CZJsonStreamParser {
 public:
  // Results of parse().
  enum Status : int { CZJsonStreamParserComplete = 0, CZJsonStreamParserWaitingForData = 1,
                      CZJsonStreamParserError = 2 };

  CZJsonStreamParser();

  // Appends the bytes and parses as far as they go: 0 when the outer-most container is
  // complete, 1 when more input is needed, 2 on error (error() tells why). Once in error,
  // every later call answers 2.
  int parse(const uint8_t* bytes, size_t length);
  int parse(std::string_view text) {
    return parse(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  // Tells the parser that no more bytes will come, so a number at the very end counts as
  // complete ("5" alone is then refused as a number before the outer-most container rather
  // than awaited), and answers as parse() does. Only whitespace may follow a complete
  // document, so a token the input cut short after it is refused ("Unexpected end of
  // input") instead of being awaited.
  int parseEndOfInput();

  unsigned maxDepth() const { return maxDepth_; }
  void setMaxDepth(unsigned maxDepth) { maxDepth_ = maxDepth; }
  bool supportMultipleDocuments() const { return supportMultipleDocuments_; }
  void setSupportMultipleDocuments(bool v) { supportMultipleDocuments_ = v; }
  std::weak_ptr<CZJsonStreamParserDelegate> delegate() const { return delegate_; }
  void setDelegate(std::weak_ptr<CZJsonStreamParserDelegate> d) { delegate_ = std::move(d); }
  const CZJsonStreamParserState* state() const { return state_; }
  void setState(const CZJsonStreamParserState* state) { state_ = state; }
  const std::vector<const CZJsonStreamParserState*>& stateStack() const { return stateStack_; }
  const std::string& error() const { return error_; }
  void setError(std::string error) { error_ = std::move(error); }

  // The name a token has in error messages ("start of array", "number", ...).
  static const char* tokenName(int token);

 private:
  void maxDepthError();
  int parseAppended(const uint8_t* bytes, size_t length);
  // The token loop, for a delegate of exactly the type `Delegate` (or none).
  template <class Delegate>
  int parseTokens(Delegate* delegate);

  unsigned maxDepth_ = 32;
  std::vector<const CZJsonStreamParserState*> stateStack_;
  const CZJsonStreamParserState* state_;
  CZJsonTokeniser tokeniser_;
  std::weak_ptr<CZJsonStreamParserDelegate> delegate_;
  bool supportMultipleDocuments_ = false;
  std::string error_;
  CZJsonTokenValue token_;
};

}  // namespace cadenzo
