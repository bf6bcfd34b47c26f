#pragma once
// The states of CZJsonStreamParser: one process-wide, immutable singleton per state
// (sharedInstance()), so they are safe to share between threads. Each says which tokens it
// accepts, what parse() answers when input runs out in it, where an accepted token leads,
// whether a string in it is an object key, and its name for error messages.
namespace cadenzo {

class CZJsonStreamParser;

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
  virtual void parserShouldTransitionTo(CZJsonStreamParser&, int /*token*/) const {}
  bool needKey() const { return needKey_; }
  const char* name() const { return name_; }

 protected:
  constexpr CZJsonStreamParserState(unsigned accepted, bool needKey, const char* name)
      : accepted_(accepted), needKey_(needKey), name_(name) {}
  CZJsonStreamParserState() : CZJsonStreamParserState(0, false, "<base state>") {}

 private:
  unsigned accepted_;
  bool needKey_;
  const char* name_;
};

#define CZ_JSON_PARSER_STATE(Name)                                  \
  class Name : public CZJsonStreamParserState {                     \
   public:                                                          \
    static const Name& sharedInstance();                            \
    int parserShouldReturn(CZJsonStreamParser& parser) const override; \
    void parserShouldTransitionTo(CZJsonStreamParser& parser, int token) const override; \
                                                                    \
   private:                                                         \
    Name();                                                         \
  };

CZ_JSON_PARSER_STATE(CZJsonStreamParserStateStart)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateComplete)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateError)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectStart)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectGotKey)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectSeparator)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectGotValue)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateObjectNeedKey)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateArrayStart)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateArrayGotValue)
CZ_JSON_PARSER_STATE(CZJsonStreamParserStateArrayNeedValue)

#undef CZ_JSON_PARSER_STATE

}  // namespace cadenzo
