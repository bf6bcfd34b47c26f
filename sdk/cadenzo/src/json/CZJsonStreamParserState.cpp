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

// Every state at once, so each can point at the one that follows it: the states form a
// cycle (a key leads to a value, a value back to a key), which states made one at a time
// on first use could not.
struct CZJsonStreamParserStateSet {
  CZJsonStreamParserStateStart start{*this};
  CZJsonStreamParserStateComplete complete{*this};
  CZJsonStreamParserStateError error{*this};
  CZJsonStreamParserStateObjectStart objectStart{*this};
  CZJsonStreamParserStateObjectGotKey objectGotKey{*this};
  CZJsonStreamParserStateObjectSeparator objectSeparator{*this};
  CZJsonStreamParserStateObjectGotValue objectGotValue{*this};
  CZJsonStreamParserStateObjectNeedKey objectNeedKey{*this};
  CZJsonStreamParserStateArrayStart arrayStart{*this};
  CZJsonStreamParserStateArrayGotValue arrayGotValue{*this};
  CZJsonStreamParserStateArrayNeedValue arrayNeedValue{*this};

  static const CZJsonStreamParserStateSet& shared() {
    static const CZJsonStreamParserStateSet states;
    return states;
  }
};

const CZJsonStreamParserState& CZJsonStreamParserState::sharedInstance() {
  static const CZJsonStreamParserState instance;
  return instance;
}

void CZJsonStreamParserState::parserShouldTransitionTo(CZJsonStreamParser& parser, int) const {
  parser.setState(successor(parser.supportMultipleDocuments()));
}

#define CZ_SHARED_INSTANCE(Name, member)                                       \
  const Name& Name::sharedInstance() { return CZJsonStreamParserStateSet::shared().member; }

CZ_SHARED_INSTANCE(CZJsonStreamParserStateStart, start)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateComplete, complete)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateError, error)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectStart, objectStart)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectGotKey, objectGotKey)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectSeparator, objectSeparator)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectGotValue, objectGotValue)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateObjectNeedKey, objectNeedKey)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateArrayStart, arrayStart)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateArrayGotValue, arrayGotValue)
CZ_SHARED_INSTANCE(CZJsonStreamParserStateArrayNeedValue, arrayNeedValue)

#undef CZ_SHARED_INSTANCE

// Start: only a container may open the document; when the outer-most one closes, the
// document is complete (or a next one may begin).
CZJsonStreamParserStateStart::CZJsonStreamParserStateStart(const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(bits({CZJsonTokenArrayStart, CZJsonTokenObjectStart}), false,
                              "before outer-most array or object", &states.complete, this) {}
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
      parser.setState(successor(parser.supportMultipleDocuments()));
      break;
    default:
      parser.setState(&CZJsonStreamParserStateError::sharedInstance());
      break;
  }
}

// Complete and error lead nowhere else.
CZJsonStreamParserStateComplete::CZJsonStreamParserStateComplete(const CZJsonStreamParserStateSet&)
    : CZJsonStreamParserState(0, false, "after outer-most array or object", this) {}
int CZJsonStreamParserStateComplete::parserShouldReturn(CZJsonStreamParser&) const { return 0; }

CZJsonStreamParserStateError::CZJsonStreamParserStateError(const CZJsonStreamParserStateSet&)
    : CZJsonStreamParserState(0, false, "in error", this) {}
int CZJsonStreamParserStateError::parserShouldReturn(CZJsonStreamParser&) const { return 2; }

CZJsonStreamParserStateObjectStart::CZJsonStreamParserStateObjectStart(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(bits({CZJsonTokenObjectEnd, CZJsonTokenString}), true,
                              "at beginning of object", &states.objectGotKey) {}
int CZJsonStreamParserStateObjectStart::parserShouldReturn(CZJsonStreamParser&) const { return 1; }

CZJsonStreamParserStateObjectGotKey::CZJsonStreamParserStateObjectGotKey(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(bits({CZJsonTokenKeyValueSeparator}), false, "after object key",
                              &states.objectSeparator) {}
int CZJsonStreamParserStateObjectGotKey::parserShouldReturn(CZJsonStreamParser&) const { return 1; }

CZJsonStreamParserStateObjectSeparator::CZJsonStreamParserStateObjectSeparator(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(kValueTokens, false, "as object value", &states.objectGotValue) {}
int CZJsonStreamParserStateObjectSeparator::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}

CZJsonStreamParserStateObjectGotValue::CZJsonStreamParserStateObjectGotValue(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(bits({CZJsonTokenObjectEnd, CZJsonTokenValueSeparator}), false,
                              "after object value", &states.objectNeedKey) {}
int CZJsonStreamParserStateObjectGotValue::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}

CZJsonStreamParserStateObjectNeedKey::CZJsonStreamParserStateObjectNeedKey(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(bits({CZJsonTokenString}), true, "in place of object key",
                              &states.objectGotKey) {}
int CZJsonStreamParserStateObjectNeedKey::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}

CZJsonStreamParserStateArrayStart::CZJsonStreamParserStateArrayStart(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(kValueTokens | bits({CZJsonTokenArrayEnd}), false,
                              "at array start", &states.arrayGotValue) {}
int CZJsonStreamParserStateArrayStart::parserShouldReturn(CZJsonStreamParser&) const { return 1; }

// After a value only a separator leads on; the end of the array closes it instead.
CZJsonStreamParserStateArrayGotValue::CZJsonStreamParserStateArrayGotValue(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(bits({CZJsonTokenArrayEnd, CZJsonTokenValueSeparator}), false,
                              "after array value", &states.arrayNeedValue) {}
int CZJsonStreamParserStateArrayGotValue::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}
void CZJsonStreamParserStateArrayGotValue::parserShouldTransitionTo(CZJsonStreamParser& parser,
                                                                    int token) const {
  if (token == CZJsonTokenValueSeparator) parser.setState(successor(false));
}

CZJsonStreamParserStateArrayNeedValue::CZJsonStreamParserStateArrayNeedValue(
    const CZJsonStreamParserStateSet& states)
    : CZJsonStreamParserState(kValueTokens, false, "as array value", &states.arrayGotValue) {}
int CZJsonStreamParserStateArrayNeedValue::parserShouldReturn(CZJsonStreamParser&) const {
  return 1;
}

}  // namespace cadenzo
