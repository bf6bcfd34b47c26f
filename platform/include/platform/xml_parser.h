#pragma once
// The platform's event-driven XML parser.
//
// A parser reads one document, given as bytes, in one synchronous `parse()` call on the
// calling thread, and reports what it meets to its delegate in document order. A parser
// object is used by one thread at a time and parses once.
//
// What it never does: namespace processing (a name "a:b" is reported as written), fetching
// or reading external entities (an external entity reference is skipped, its text never
// appears), and unbounded entity expansion (an expansion far larger than the document is
// stopped with an error; where the XML library cannot bound it, any entity declaration is
// refused).
//
// Encodings: UTF-8, UTF-16, ISO-8859-1 and US-ASCII are read directly; any other encoding a
// document declares is read through ICU when its characters' length is told by their first
// byte (single-byte code pages such as windows-1252, ISO-8859-15 or windows-1251; Shift_JIS,
// EUC-JP, GBK, Big5). Any other (one ICU does not know, GB18030, ISO-2022-JP, UTF-7) is an
// error of code kXMLParserInvalidCharacterError whose message names the encoding, and so
// is a character beyond U+FFFF in an encoding read through ICU.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/value.h"

namespace platform {

class XMLParser;

// The error domain and the codes reported through `parseErrorOccurred`.
inline constexpr const char* kXMLParserErrorDomain = "NSXMLParserErrorDomain";
// userInfo keys of a parse error besides the localized description.
inline constexpr const char* kXMLParserErrorLineKey = "NSXMLParserErrorLineNumber";
inline constexpr const char* kXMLParserErrorColumnKey = "NSXMLParserErrorColumn";
inline constexpr const char* kXMLParserErrorMessageKey = "NSXMLParserErrorMessage";

enum XMLParserErrorCode : long {
  kXMLParserInternalError = 1,
  kXMLParserOutOfMemoryError = 2,
  kXMLParserEmptyDocumentError = 4,
  kXMLParserPrematureDocumentEndError = 5,
  kXMLParserInvalidCharacterError = 9,
  kXMLParserUndeclaredEntityError = 26,
  kXMLParserEntityNotFinishedError = 37,  // also: refused entity declaration
  kXMLParserAttributeRedefinedError = 42,
  kXMLParserMisplacedXMLDeclarationError = 64,
  kXMLParserNameRequiredError = 68,
  kXMLParserGTRequiredError = 73,
  kXMLParserTagNameMismatchError = 76,
  kXMLParserNotWellBalancedError = 85,
  kXMLParserEntityRefLoopError = 89,  // also: entity expansion over the limit
  kXMLParserDelegateAbortedParseError = 512,
};

// Attributes of an element, in the order the document lists them, values as strings.
using XMLAttributes = Dictionary;

// An element's attributes where the parser holds them, for a delegate that reads a few of
// them without having them all copied into an XMLAttributes: names and values as the
// document gives them (entities decoded), each NUL-terminated, valid only during the
// callback that receives the list.
class XMLAttributeList {
 public:
  // `pairs`: name, value, name, value, ..., then nullptr.
  explicit XMLAttributeList(const char* const* pairs) : pairs_(pairs) {}
  // The value of the attribute named exactly `name` (case counts), or nullptr.
  const char* find(std::string_view name) const;
  bool empty() const { return !pairs_[0]; }
  size_t size() const;
  // The i-th attribute in document order, i < size(); nameAt(size()) is nullptr, where a
  // loop over the names may stop without counting them first.
  const char* nameAt(size_t i) const { return pairs_[2 * i]; }
  const char* valueAt(size_t i) const { return pairs_[2 * i + 1]; }
  // Whether the i-th attribute is named exactly `name`, for a delegate that looks for
  // several names in one pass.
  bool nameIs(size_t i, std::string_view name) const;

 private:
  const char* const* pairs_;
};

// Every method is optional; the defaults do nothing, but for the in-place events below,
// whose defaults report the events above. Callbacks arrive on the thread that called
// `parse()`, inside that call.
class XMLParserDelegate {
 public:
  virtual ~XMLParserDelegate() = default;
  virtual void parserDidStartDocument(XMLParser&) {}
  virtual void parserDidEndDocument(XMLParser&) {}
  virtual void didStartElement(XMLParser&, const std::string& /*elementName*/,
                               const XMLAttributes& /*attributes*/) {}
  virtual void didEndElement(XMLParser&, const std::string& /*elementName*/) {}
  // Text outside CDATA sections, entities decoded. One stretch of text may arrive in
  // several runs (lines, entity references); a delegate appends them.
  virtual void foundCharacters(XMLParser&, const std::string& /*text*/) {}
  // The whole content of one CDATA section (in UTF-8, as all text). It is never also reported
  // as characters, whether or not the delegate overrides this.
  virtual void foundCDATA(XMLParser&, const Bytes& /*block*/) {}
  // At most once; no other callback follows it.
  virtual void parseErrorOccurred(XMLParser&, const Error& /*error*/) {}

  // The element, text and CDATA events with the name, attributes, text and block where the
  // parser holds them, valid only during the call. Each is what the parser sends: by default it
  // copies what it gets and reports the event above. A delegate that overrides one gets that
  // event only there, and nothing is copied for it (for readers that look at a few names of a
  // large document, or keep a large block once).
  virtual void didStartElementInPlace(XMLParser& parser, std::string_view elementName,
                                      const XMLAttributeList& attributes);
  virtual void didEndElementInPlace(XMLParser& parser, std::string_view elementName);
  // Never empty; runs as foundCharacters has them.
  virtual void foundCharactersInPlace(XMLParser& parser, std::string_view text);
  // The whole content of one CDATA section, as foundCDATA has it: mostly the document's own
  // bytes, where a section's text is those bytes as they are.
  virtual void foundCDATAInPlace(XMLParser& parser, std::string_view block);
};

// Asks a parser to read the caller's bytes where they are instead of keeping a copy.
struct XMLParserInPlace {};
inline constexpr XMLParserInPlace kXMLParserInPlace{};

class XMLParser {
 public:
  explicit XMLParser(Bytes data);
  explicit XMLParser(std::string_view text);
  // Reads `data` without copying it: the caller keeps it alive and unchanged until the parser
  // is destroyed. For a caller that parses its own bytes at once (a large answer would
  // otherwise be copied whole before a byte is read).
  XMLParser(const Bytes& data, XMLParserInPlace);
  ~XMLParser();
  XMLParser(const XMLParser&) = delete;
  XMLParser& operator=(const XMLParser&) = delete;

  // Not retained: the parser holds it weakly and keeps it alive only during `parse()`.
  void setDelegate(std::weak_ptr<XMLParserDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<XMLParserDelegate> delegate() const { return delegate_.lock(); }

  // Accepted so callers can set it; namespaces are never processed and external
  // entities never resolved, whatever is set.
  void setShouldProcessNamespaces(bool) {}
  void setShouldResolveExternalEntities(bool) {}

  // Parses the whole document. true when it was well-formed and not aborted; otherwise
  // false, with `parserError()` set and `parseErrorOccurred` sent. A second call returns
  // false without callbacks.
  bool parse();
  // From inside a callback: no further events; `parse()` returns false with the
  // delegate-aborted error (code 512), which the delegate also receives.
  void abortParsing();
  // From inside a callback: until it is called again with nullptr, the text runs outside
  // CDATA sections are appended to `*text` instead of being reported (for a delegate that
  // gathers an element's text whole: most runs then cost no call into the delegate). `*text`
  // must live until the next call or the end of the parse; no effect outside parse().
  void appendCharactersTo(std::string* text);

  const std::optional<Error>& parserError() const { return error_; }
  // Position of the event being reported (1-based line, 0-based column); after `parse()`,
  // where it stopped.
  long lineNumber() const;
  long columnNumber() const;

 private:
  friend class XMLParserDelegate;
  struct Impl;
  // What the in-place events do by default: copy and report the event to `delegate`.
  void reportStart(XMLParserDelegate& delegate, std::string_view name, const XMLAttributeList& attributes);
  void reportEnd(XMLParserDelegate& delegate, std::string_view name);
  void reportCharacters(XMLParserDelegate& delegate, std::string_view text);
  void reportCDATA(XMLParserDelegate& delegate, std::string_view block);

  Bytes data_;
  // What parse() reads: data_, or the caller's bytes in place.
  const uint8_t* bytes_ = nullptr;
  size_t size_ = 0;
  std::weak_ptr<XMLParserDelegate> delegate_;
  std::optional<Error> error_;
  std::unique_ptr<Impl> impl_;
  bool used_ = false;
  long line_ = 0;
  long column_ = 0;
};

}  // namespace platform
