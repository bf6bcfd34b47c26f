#pragma once
// The states of CZJsonStreamParser: one process-wide, immutable singleton per state
// (sharedInstance()), so they are safe to share between threads. Each says which tokens it
// accepts, what parse() answers when input runs out in it, where an accepted token leads,
// whether a string in it is an object key, and its name for error messages.
namespace cadenzo {

class CZJsonStreamParser;
struct CZJsonStreamParserStateSet;

class CZJsonStreamParserState {
 public:
  virtual ~CZJsonStreamParserState() = default;
  static const CZJsonStreamParserState& sharedInstance();

  // Token codes as bits (1 << code), so acceptance is one test.
  bool parserShouldAcceptToken(CZJsonStreamParser&, int token) const {
    return token > 0 && (accepted_ >> token) & 1u;
  }
  // 0 complete, 1 wait for more data, 2 error.
  virtual int parserShouldReturn(CZJsonStreamParser&) const { return 1; }
  // Moves the parser to successor() (states whose next one depends on the token say so).
  virtual void parserShouldTransitionTo(CZJsonStreamParser& parser, int token) const;
  // Where an accepted token that neither opens nor closes a container leads, and where this
  // state leads once a container opened in it closes: one state for each, so the parser
  // moves on without asking. Only the start state's depends on whether documents may follow
  // one another.
  const CZJsonStreamParserState* successor(bool multipleDocuments) const {
    return multipleDocuments ? nextOfMany_ : next_;
  }
  bool needKey() const { return needKey_; }
  const char* name() const { return name_; }

 protected:
  constexpr CZJsonStreamParserState(unsigned accepted, bool needKey, const char* name,
                                    const CZJsonStreamParserState* next,
                                    const CZJsonStreamParserState* nextOfMany)
      : accepted_(accepted), needKey_(needKey), name_(name), next_(next),
        nextOfMany_(nextOfMany) {}
  CZJsonStreamParserState(unsigned accepted, bool needKey, const char* name,
                          const CZJsonStreamParserState* next)
      : CZJsonStreamParserState(accepted, needKey, name, next, next) {}
  CZJsonStreamParserState() : CZJsonStreamParserState(0, false, "<base state>", this) {}

 private:
  unsigned accepted_;
  bool needKey_;
  const char* name_;
  const CZJsonStreamParserState* next_;
  const CZJsonStreamParserState* nextOfMany_;
};

// The states are made together, each knowing its successor (see CZJsonStreamParserStateSet).
#define CZ_JSON_PARSER_STATE(Name, ...)                             \
  class Name : public CZJsonStreamParserState {                     \
   public:                                                          \
    static const Name& sharedInstance();                            \
    int parserShouldReturn(CZJsonStreamParser& parser) const override; \
    __VA_ARGS__                                                     \
                                                                    \
   private:                                                         \
    friend struct CZJsonStreamParserStateSet;                       \
    explicit Name(const CZJsonStreamParserStateSet& states);        \
  };
// For the states whose next state depends on the token.
#define CZ_BY_TOKEN \
  void parserShouldTransitionTo(CZJsonStreamParser& parser, int token) const override;

CZ_JSON_PARSER_STATE(CZJsonStreamParserStateStart, CZ_BY_TOKEN)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateComplete)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateError)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectStart)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectGotKey)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectSeparator)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectGotValue)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectNeedKey)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateArrayStart)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateArrayGotValue, CZ_BY_TOKEN)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateArrayNeedValue)

#undef CZ_BY_TOKEN
#undef CZ_JSON_PARSER_STATE

}  // namespace cadenzo
