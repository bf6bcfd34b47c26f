#include "CZJsonStreamParserState.h"

#include "CZJsonStreamParser.h"

namespace cadenzo {

namespace {

constexpr unsigned bits(std::initializer_list<int> tokens) {
  unsigned mask = 0;
  for (int t : tokens) mask |= 1u << t;
  return mask;
}

constexpr unsigned kValueTokens =
    bits({CZJsonTokenArrayStart, CZJsonTokenObjectStart, CZJsonTokenNumber, CZJsonTokenString,
          CZJsonTokenTrue, CZJsonTokenFalse, CZJsonTokenNull});

}  // namespace

const CZJsonStreamParserState& CZJsonStreamParserState::sharedInstance() {
  static const CZJsonStreamParserState instance;
  return instance;
}

#define CZ_SHARED_INSTANCE(Name)             \
  const Name& Name::sharedInstance() {       \
    static const Name instance;              \
    return instance;                         \
  }

CZ_SHARED_INSTANCE(CZJsonStreamParserStateStart)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateComplete)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateError)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectStart)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectGotKey)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectSeparator)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectGotValue)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectNeedKey)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateArrayStart)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateArrayGotValue)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateArrayNeedValue)

#undef CZ_SHARED_INSTANCE

// Start: only a container may open the document; when the outer-most one closes, the
// document is complete (or a next one may begin).
CZJsonStreamParserStateStart::CZJsonStreamParserStateStart()
    : CZJsonStreamParserState(bits({CZJsonTokenArrayStart, CZJsonTokenObjectStart}), false,
                              "before outer-most array or object") {}
int CZJsonStreamParserStateStart::parserShouldReturn(CZJsonStreamParser&) const { return 1; }
void CZJsonStreamParserStateStart::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                            int token) const {
  switch (token) {
    case CZJsonTokenArrayStart:
      parser.setState(&CZJsonStreamParserStateArrayStart::sharedInstance());
      break;
    case CZJsonTokenObjectStart:
      parser.setState(&CZJsonStreamParserStateObjectStart::sharedInstance());
      break;
    case CZJsonTokenArrayEnd:
    case CZJsonTokenObjectEnd:
      if (parser.supportMultipleDocuments()) {
        parser.setState(&CZJsonStreamParserStateStart::sharedInstance());
      } else {
        parser.setState(&CZJsonStreamParserStateComplete::sharedInstance());
      }
      break;
    default:
      parser.setState(&CZJsonStreamParserStateError::sharedInstance());
      break;
  }
}

CZJsonStreamParserStateComplete::CZJsonStreamParserStateComplete()
    : CZJsonStreamParserState(0, false, "after outer-most array or object") {}
int CZJsonStreamParserStateComplete::parserShouldReturn(CZJsonStreamParser&) const { return 0; }
void CZJsonStreamParserStateComplete::parserShouldTransitionTo(CZJsonStreamParser&, int) const {}

CZJsonStreamParserStateError::CZJsonStreamParserStateError()
    : CZJsonStreamParserState(0, false, "in error") {}
int CZJsonStreamParserStateError::parserShouldReturn(CZJsonStreamParser&) const { return 2; }
void CZJsonStreamParserStateError::parserShouldTransitionTo(CZJsonStreamParser&, int) const {}

CZJsonStreamParserStateObjectStart::CZJsonStreamParserStateObjectStart()
    : CZJsonStreamParserState(bits({CZJsonTokenObjectEnd, CZJsonTokenString}), true,
                              "at beginning of object") {}
int CZJsonStreamParserStateObjectStart::parserShouldReturn(CZJsonStreamParser&) const { return 1; }
void CZJsonStreamParserStateObjectStart::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                  int) const {
  parser.setState(&CZJsonStreamParserStateObjectGotKey::sharedInstance());
}

CZJsonStreamParserStateObjectGotKey::CZJsonStreamParserStateObjectGotKey()
    : CZJsonStreamParserState(bits({CZJsonTokenKeyValueSeparator}), false, "after object key") {}
int CZJsonStreamParserStateObjectGotKey::parserShouldReturn(CZJsonStreamParser&) const { return 1; }
void CZJsonStreamParserStateObjectGotKey::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                   int) const {
  parser.setState(&CZJsonStreamParserStateObjectSeparator::sharedInstance());
}

CZJsonStreamParserStateObjectSeparator::CZJsonStreamParserStateObjectSeparator()
    : CZJsonStreamParserState(kValueTokens, false, "as object value") {}
int CZJsonStreamParserStateObjectSeparator::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}
void CZJsonStreamParserStateObjectSeparator::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                      int) const {
  parser.setState(&CZJsonStreamParserStateObjectGotValue::sharedInstance());
}

CZJsonStreamParserStateObjectGotValue::CZJsonStreamParserStateObjectGotValue()
    : CZJsonStreamParserState(bits({CZJsonTokenObjectEnd, CZJsonTokenValueSeparator}), false,
                              "after object value") {}
int CZJsonStreamParserStateObjectGotValue::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}
void CZJsonStreamParserStateObjectGotValue::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                     int) const {
  parser.setState(&CZJsonStreamParserStateObjectNeedKey::sharedInstance());
}

CZJsonStreamParserStateObjectNeedKey::CZJsonStreamParserStateObjectNeedKey()
    : CZJsonStreamParserState(bits({CZJsonTokenString}), true, "in place of object key") {}
int CZJsonStreamParserStateObjectNeedKey::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}
void CZJsonStreamParserStateObjectNeedKey::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                    int) const {
  parser.setState(&CZJsonStreamParserStateObjectGotKey::sharedInstance());
}

CZJsonStreamParserStateArrayStart::CZJsonStreamParserStateArrayStart()
    : CZJsonStreamParserState(kValueTokens | bits({CZJsonTokenArrayEnd}), false,
                              "at array start") {}
int CZJsonStreamParserStateArrayStart::parserShouldReturn(CZJsonStreamParser&) const { return 1; }
void CZJsonStreamParserStateArrayStart::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                 int) const {
  parser.setState(&CZJsonStreamParserStateArrayGotValue::sharedInstance());
}

CZJsonStreamParserStateArrayGotValue::CZJsonStreamParserStateArrayGotValue()
    : CZJsonStreamParserState(bits({CZJsonTokenArrayEnd, CZJsonTokenValueSeparator}), false,
                              "after array value") {}
int CZJsonStreamParserStateArrayGotValue::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}
void CZJsonStreamParserStateArrayGotValue::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                    int token) const {
  if (token == CZJsonTokenValueSeparator) {
    parser.setState(&CZJsonStreamParserStateArrayNeedValue::sharedInstance());
  }
}

CZJsonStreamParserStateArrayNeedValue::CZJsonStreamParserStateArrayNeedValue()
    : CZJsonStreamParserState(kValueTokens, false, "as array value") {}
int CZJsonStreamParserStateArrayNeedValue::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}
void CZJsonStreamParserStateArrayNeedValue::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                     int) const {
  parser.setState(&CZJsonStreamParserStateArrayGotValue::sharedInstance());
}

}  // namespace cadenzo
