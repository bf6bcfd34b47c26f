#include "CZJsonStreamParser.h"

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

void CZJsonStreamParser::handleObjectStart(CZJsonStreamParserDelegate* delegate) {
  if (stateStack_.size() >= maxDepth_) {
    maxDepthError();
    return;
  }
  if (delegate) delegate->parserFoundObjectStart(*this);
  stateStack_.push_back(state_);
  state_ = &CZJsonStreamParserStateObjectStart::sharedInstance();
}

void CZJsonStreamParser::handleArrayStart(CZJsonStreamParserDelegate* delegate) {
  if (stateStack_.size() >= maxDepth_) {
    maxDepthError();
    return;
  }
  if (delegate) delegate->parserFoundArrayStart(*this);
  stateStack_.push_back(state_);
  state_ = &CZJsonStreamParserStateArrayStart::sharedInstance();
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
  const auto* errorState = &CZJsonStreamParserStateError::sharedInstance();
  // Held for the whole call, so the delegate cannot go away between two events.
  std::shared_ptr<CZJsonStreamParserDelegate> strongDelegate = delegate_.lock();
  CZJsonStreamParserDelegate* delegate = strongDelegate.get();
  tokeniser_.appendData(bytes, length);
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
    switch (token) {
      case CZJsonTokenArrayStart:
        handleArrayStart(delegate);
        break;
      case CZJsonTokenObjectStart:
        handleObjectStart(delegate);
        break;
      case CZJsonTokenArrayEnd:
      case CZJsonTokenObjectEnd:
        state_ = stateStack_.back();
        stateStack_.pop_back();
        state_->parserShouldTransitionTo(*this, token);
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
        state_->parserShouldTransitionTo(*this, token);
        break;
      case CZJsonTokenNumber:
        if (delegate) delegate->parserFoundNumber(*this, std::move(token_.number));
        state_->parserShouldTransitionTo(*this, token);
        break;
      case CZJsonTokenString:
        if (delegate) {
          if (state_->needKey()) {
            delegate->parserFoundObjectKey(*this, token_.string);
          } else {
            delegate->parserFoundString(*this, token_.string);
          }
        }
        state_->parserShouldTransitionTo(*this, token);
        break;
      case CZJsonTokenTrue:
      case CZJsonTokenFalse:
        if (delegate) delegate->parserFoundBoolean(*this, token == CZJsonTokenTrue);
        state_->parserShouldTransitionTo(*this, token);
        break;
      case CZJsonTokenNull:
        if (delegate) delegate->parserFoundNull(*this);
        state_->parserShouldTransitionTo(*this, token);
        break;
      default:
        break;
    }
  }
}

}  // namespace cadenzo
