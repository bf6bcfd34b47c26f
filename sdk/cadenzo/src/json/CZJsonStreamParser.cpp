#include "CZJsonStreamParser.h"

#include <type_traits>
#include <typeinfo>

#include "CZJsonStreamParserAdapter.h"
#include "CZJsonStreamParserState.h"
#include "platform/format.h"

namespace cadenzo {

CZJsonStreamParser::CZJsonStreamParser()
    : state_(&CZJsonStreamParserStateStart::sharedInstance()) {
  stateStack_.reserve(maxDepth_);
}

const char* CZJsonStreamParser::tokenName(int token) {
  switch (token) {
    case CZJsonTokenArrayStart: return "start of array";
    case CZJsonTokenArrayEnd: return "end of array";
    case CZJsonTokenObjectStart: return "start of object";
    case CZJsonTokenObjectEnd: return "end of object";
    case CZJsonTokenValueSeparator: return "value separator";
    case CZJsonTokenKeyValueSeparator: return "key-value separator";
    case CZJsonTokenNumber: return "number";
    case CZJsonTokenString: return "string";
    case CZJsonTokenTrue:
    case CZJsonTokenFalse: return "boolean";
    case CZJsonTokenNull: return "null";
    default: return "";
  }
}

void CZJsonStreamParser::maxDepthError() {
  error_ = platform::format("Input depth exceeds max depth of %lu",
                            static_cast<unsigned long>(maxDepth_));
  state_ = &CZJsonStreamParserStateError::sharedInstance();
}

int CZJsonStreamParser::parse(const uint8_t* bytes, size_t length) {
  int status = parseAppended(bytes, length);
  // The caller's bytes may go away once this returns: keep what is still unread.
  tokeniser_.retainRemainder();
  return status;
}

int CZJsonStreamParser::parseEndOfInput() {
  tokeniser_.setEndOfInput(true);
  int status = parse(nullptr, 0);
  if (status == CZJsonStreamParserComplete && tokeniser_.hasUnreadBytes()) {
    // Whitespace is skipped before every token: what is left is a token that never ends.
    error_ = "Unexpected end of input";
    state_ = &CZJsonStreamParserStateError::sharedInstance();
    return CZJsonStreamParserError;
  }
  return status;
}

int CZJsonStreamParser::parseAppended(const uint8_t* bytes, size_t length) {
  // Held for the whole call, so the delegate cannot go away between two events.
  std::shared_ptr<CZJsonStreamParserDelegate> strongDelegate = delegate_.lock();
  CZJsonStreamParserDelegate* delegate = strongDelegate.get();
  tokeniser_.appendData(bytes, length);
  // The tree builder, the usual delegate, is called directly rather than through the
  // interface: the events are the same, without a virtual call per token.
  if (delegate && typeid(*delegate) == typeid(CZJsonStreamParserAdapter)) {
    return parseTokens(static_cast<CZJsonStreamParserAdapter*>(delegate));
  }
  return parseTokens(delegate);
}

template <class Delegate>
int CZJsonStreamParser::parseTokens(Delegate* delegate) {
  const CZJsonStreamParserState* const errorState = &CZJsonStreamParserStateError::sharedInstance();
  const CZJsonStreamParserState* const arrayStart = &CZJsonStreamParserStateArrayStart::sharedInstance();
  const CZJsonStreamParserState* const objectStart = &CZJsonStreamParserStateObjectStart::sharedInstance();
  // Takes `separator` when it is the very next byte and the state accepts it, just as a turn
  // of the loop would, where a token makes one likely to follow.
  auto takeSeparatorAhead = [this](int separator) {
    if (tokeniser_.peekSeparator() == separator && state_->parserShouldAcceptToken(*this, separator)) {
      tokeniser_.skipSeparator();
      state_ = state_->successor(supportMultipleDocuments_);
    }
  };
  for (;;) {
    if (state_ == errorState) return CZJsonStreamParserError;
    int token = tokeniser_.getToken(&token_);
    if (token == CZJsonTokenError) {
      state_ = errorState;
      error_ = tokeniser_.error();
      return CZJsonStreamParserError;
    }
    if (token == CZJsonTokenEOF) return state_->parserShouldReturn(*this);
    if (!state_->parserShouldAcceptToken(*this, token)) {
      error_ = platform::format("Token '%@' not expected %@", tokenName(token), state_->name());
      state_ = errorState;
      return CZJsonStreamParserError;
    }
    // Each accepted token that neither opens nor closes a container moves the state to its
    // successor, as does closing one in the state it was opened in.
    switch (token) {
      case CZJsonTokenArrayStart:
      case CZJsonTokenObjectStart:
        if (stateStack_.size() >= maxDepth_) {
          maxDepthError();
          break;
        }
        if (delegate) {
          if (token == CZJsonTokenArrayStart) {
            delegate->parserFoundArrayStart(*this);
          } else {
            delegate->parserFoundObjectStart(*this);
          }
        }
        stateStack_.push_back(state_);
        state_ = token == CZJsonTokenArrayStart ? arrayStart : objectStart;
        break;
      case CZJsonTokenArrayEnd:
      case CZJsonTokenObjectEnd:
        state_ = stateStack_.back()->successor(supportMultipleDocuments_);
        stateStack_.pop_back();
        if (delegate) {
          if (token == CZJsonTokenArrayEnd) {
            delegate->parserFoundArrayEnd(*this);
          } else {
            delegate->parserFoundObjectEnd(*this);
          }
        }
        break;
      case CZJsonTokenValueSeparator:
      case CZJsonTokenKeyValueSeparator:
        state_ = state_->successor(supportMultipleDocuments_);
        break;
      case CZJsonTokenNumber:
        if (delegate) {
          if constexpr (std::is_same_v<Delegate, CZJsonStreamParserAdapter>) {
            delegate->parserFoundNumberToken(*this, token_);
          } else {
            delegate->parserFoundNumber(*this, token_.number());
          }
        }
        state_ = state_->successor(supportMultipleDocuments_);
        // A number in a row of them is followed at once by a comma.
        takeSeparatorAhead(CZJsonTokenValueSeparator);
        break;
      case CZJsonTokenString:
        if (state_->needKey()) {
          if (delegate) delegate->parserFoundObjectKey(*this, token_.string);
          state_ = state_->successor(supportMultipleDocuments_);
          // A key is nearly always followed at once by its separator.
          takeSeparatorAhead(CZJsonTokenKeyValueSeparator);
        } else {
          if (delegate) delegate->parserFoundString(*this, token_.string);
          state_ = state_->successor(supportMultipleDocuments_);
        }
        break;
      case CZJsonTokenTrue:
      case CZJsonTokenFalse:
        if (delegate) delegate->parserFoundBoolean(*this, token == CZJsonTokenTrue);
        state_ = state_->successor(supportMultipleDocuments_);
        break;
      case CZJsonTokenNull:
        if (delegate) delegate->parserFoundNull(*this);
        state_ = state_->successor(supportMultipleDocuments_);
        break;
      default:
        break;
    }
  }
}

}  // namespace cadenzo
