#include "platform/xml_parser.h"

// The entity-expansion limits are declared only when the DTD feature is announced; the
// library Debian ships is built with it, and a library without it fails the setter at
// run time, which the parser then answers by refusing entity declarations.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/keyed_hash.h"
#include "xml_unknown_encoding.h"

namespace platform {
namespace {

#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
#define PLATFORM_XML_HAS_EXPANSION_LIMIT 1
#endif

// Expansion stops once the expanded text is both over 1 MiB and 100 times the input.
constexpr float kMaxAmplification = 100.0f;
constexpr unsigned long long kAmplificationThreshold = 1ull << 20;

long codeFor(XML_Error e, bool sawElement) {
  switch (e) {
    case XML_ERROR_NO_MEMORY: return kXMLParserOutOfMemoryError;
    case XML_ERROR_NO_ELEMENTS:
      return sawElement ? kXMLParserPrematureDocumentEndError : kXMLParserEmptyDocumentError;
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
    case XML_ERROR_PARTIAL_CHAR: return kXMLParserPrematureDocumentEndError;
    case XML_ERROR_INVALID_TOKEN:
    case XML_ERROR_BAD_CHAR_REF:
    case XML_ERROR_INCORRECT_ENCODING:
    case XML_ERROR_UNKNOWN_ENCODING: return kXMLParserInvalidCharacterError;
    case XML_ERROR_UNDEFINED_ENTITY: return kXMLParserUndeclaredEntityError;
    case XML_ERROR_DUPLICATE_ATTRIBUTE: return kXMLParserAttributeRedefinedError;
    case XML_ERROR_MISPLACED_XML_PI: return kXMLParserMisplacedXMLDeclarationError;
    case XML_ERROR_TAG_MISMATCH: return kXMLParserTagNameMismatchError;
    case XML_ERROR_SYNTAX:
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: return kXMLParserNotWellBalancedError;
    case XML_ERROR_RECURSIVE_ENTITY_REF: return kXMLParserEntityRefLoopError;
#ifdef PLATFORM_XML_HAS_EXPANSION_LIMIT
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH: return kXMLParserEntityRefLoopError;
#endif
    default: return kXMLParserInternalError;
  }
}

// The library draws a fresh hash salt for every parser it makes, a system call that costs
// a small answer about a sixth of its reading. One secret salt for the process keeps crafted
// names from flooding the parser's tables just as well: the hash of a fixed text under the
// keyed hash's secret, already drawn once for the process, is one no document can know. 0
// leaves the drawing to the library.
unsigned long processHashSalt() {
  static const unsigned long salt = static_cast<unsigned long>(KeyedHash{}("xml parser hash salt"));
  return salt;
}

}  // namespace

struct XMLParser::Impl {
  XMLParser* owner = nullptr;
  XML_Parser xml = nullptr;
  std::shared_ptr<XMLParserDelegate> delegate;
  // A CDATA section's text where it is not the document's own bytes, or as a delegate that
  // takes it as Bytes gets it.
  Bytes cdata;
  // The section being read: while every run the library reports is the document's own bytes
  // and follows the one before, the section is only where it lies in the document, and
  // nothing is copied. `cdataStart` is known from the first run on.
  bool cdataInDocument = false;
  bool cdataBegun = false;
  size_t cdataStart = 0;
  size_t cdataEnd = 0;
  size_t cdataSectionAt = 0;  // where "<![CDATA[" is
  // Where the library holds the byte after the section's last run, once a run it did not
  // convert showed where that is; only for one call into the library, which may move what
  // it holds between calls.
  const char* cdataNext = nullptr;
  size_t documentSize = 0;
  bool sawElement = false;
  bool inCdata = false;
  // Set by the delegate: where text runs go instead of the delegate.
  std::string* textSink = nullptr;
  bool aborted = false;
  bool parsing = false;
  bool positionKept = false;  // line and column copied out, after a failure
  std::optional<std::pair<long, std::string>> refused;  // our own stop, code and message
  // Kept across events, so that their room is reused: the events copied for a delegate
  // that takes them as strings then mostly allocate nothing.
  std::string name;
  std::string text;
  // The lengths of the names of the open elements.
  std::vector<size_t> nameSizes;
  XMLAttributes attributes;
  const XMLAttributes noAttributes;

  ~Impl() {
    if (xml) XML_ParserFree(xml);
  }

  static Impl& of(void* user) { return *static_cast<Impl*>(user); }
  // Appending to an emptied string takes a shorter path than assigning to it.
  static void copyInto(std::string& to, std::string_view s) {
    to.clear();
    to.append(s.data(), s.size());
  }
  // The library may still report the event it was in after a stop; nothing reaches the
  // delegate then.
  bool stopped() const { return aborted || refused.has_value(); }

  // Whether `list` names exactly the keys of `attributes`, in their order. The library never
  // reports a name twice, so these keys are then the attributes' keys.
  static bool sameNames(const XMLAttributes& attributes, const XMLAttributeList& list) {
    size_t i = 0;
    for (const auto& entry : attributes) {
      if (i == list.size() || entry.key() != list.nameAt(i)) return false;
      ++i;
    }
    return i == list.size();
  }

  // The attributes as a dictionary, in the room of the last element's.
  const XMLAttributes& attributesOf(const XMLAttributeList& list) {
    if (list.empty()) return noAttributes;
    if (sameNames(attributes, list)) {
      // The same attributes as the last element that had any (an element of the same kind,
      // usually): only the values change, and the keys and their room stay.
      size_t i = 0;
      for (auto& entry : attributes) entry.second = Value(list.valueAt(i++));
    } else {
      attributes.clear();
      for (size_t i = 0; i < list.size(); ++i) attributes.set(list.nameAt(i), Value(list.valueAt(i)));
    }
    return attributes;
  }

  static void onStart(void* user, const XML_Char* name, const XML_Char** atts) {
    Impl& self = of(user);
    const std::string_view element(name);
    self.nameSizes.push_back(element.size());
    if (self.stopped()) return;
    self.sawElement = true;
    self.delegate->didStartElementInPlace(*self.owner, element, XMLAttributeList(atts));
  }
  static void onEnd(void* user, const XML_Char* name) {
    Impl& self = of(user);
    // The library matches every end with its start, so the name is as long as the start's;
    // measuring it again would cost as much as a small delegate's whole work.
    size_t size;
    if (self.nameSizes.empty()) {
      size = std::strlen(name);
    } else {
      size = self.nameSizes.back();
      self.nameSizes.pop_back();
    }
    if (self.stopped()) return;
    self.delegate->didEndElementInPlace(*self.owner, std::string_view(name, size));
  }
  // Text runs come one per line and per entity reference, so this is kept to a call: the
  // text of CDATA sections goes to a handler of its own, set for the length of a section.
  static void onText(void* user, const XML_Char* s, int len) {
    Impl& self = of(user);
    if (self.stopped() || len <= 0) return;
    self.delegate->foundCharactersInPlace(*self.owner, std::string_view(s, static_cast<size_t>(len)));
  }
  static void onTextAppended(void* user, const XML_Char* s, int len) {
    Impl& self = of(user);
    if (self.stopped()) return;
    self.textSink->append(s, static_cast<size_t>(len));
  }
  // Where the text outside CDATA sections goes now.
  XML_CharacterDataHandler textHandler() const { return textSink ? &Impl::onTextAppended : &Impl::onText; }
  static void onCdataText(void* user, const XML_Char* s, int len) {
    Impl& self = of(user);
    if (self.stopped()) return;
    if (self.cdataInDocument) {
      if (self.followsInDocument(s, static_cast<size_t>(len))) return;
      self.gatherFromNowOn();
    }
    // As bytes, so that the run is copied whole rather than converted character by character.
    const auto* bytes = reinterpret_cast<const uint8_t*>(s);
    self.cdata.insert(self.cdata.end(), bytes, bytes + len);
  }
  // Whether a run of the section is the document's own bytes right after the runs before it;
  // it then joins them. The library reports a run it did not convert where it holds the
  // document, at the event; a converted run, and the line feed it reports for every kind of
  // line end, lie elsewhere: such a line end is the document's when the document has a line
  // feed there.
  bool followsInDocument(const XML_Char* s, size_t len) {
    if (cdataNext) {
      // A run the library did not convert came before: the document is in a one-byte
      // encoding, and each run's bytes begin where the last one's end. Asking the library
      // where each run is would cost a large section a twentieth of its reading.
      if (s != cdataNext && !(len == 1 && *s == '\n' && *cdataNext == '\n')) return false;
      cdataNext += len;
      cdataEnd += len;
      return true;
    }
    const XML_Index at = XML_GetCurrentByteIndex(xml);
    if (at < 0 || static_cast<size_t>(at) > documentSize || len > documentSize - static_cast<size_t>(at)) return false;
    const auto position = static_cast<size_t>(at);
    int offset = 0;
    int size = 0;
    const char* held = XML_GetInputContext(xml, &offset, &size);
    const bool unconverted = held && s == held + offset;
    if (!unconverted && !(len == 1 && *s == '\n' && owner->bytes_[position] == '\n')) return false;
    if (!cdataBegun) {
      cdataBegun = true;
      cdataStart = cdataEnd = position;
    }
    if (position != cdataEnd) return false;
    cdataEnd += len;
    if (unconverted) cdataNext = s + len;
    return true;
  }
  // The section's runs so far are copied, and the rest will be.
  void gatherFromNowOn() {
    cdataInDocument = false;
    // What is left of the document is mostly room enough (the pages the section never reaches
    // are never touched); a large block then seldom grows by copying itself, and the room the
    // first section takes serves every later one.
    if (cdata.capacity() == 0 && cdataSectionAt < documentSize) cdata.reserve(documentSize - cdataSectionAt);
    cdata.assign(owner->bytes_ + cdataStart, owner->bytes_ + cdataEnd);
  }
  static void onCdataStart(void* user) {
    Impl& self = of(user);
    self.inCdata = true;
    XML_SetCharacterDataHandler(self.xml, &Impl::onCdataText);
    self.cdata.clear();
    self.cdataInDocument = true;
    self.cdataBegun = false;
    self.cdataStart = self.cdataEnd = 0;
    self.cdataNext = nullptr;
    const XML_Index at = XML_GetCurrentByteIndex(self.xml);
    self.cdataSectionAt = at >= 0 ? static_cast<size_t>(at) : self.documentSize;
  }
  static void onCdataEnd(void* user) {
    Impl& self = of(user);
    self.inCdata = false;
    XML_SetCharacterDataHandler(self.xml, self.textHandler());
    if (self.stopped()) return;
    const auto* block = reinterpret_cast<const char*>(self.cdataInDocument ? self.owner->bytes_ + self.cdataStart
                                                                            : self.cdata.data());
    self.delegate->foundCDATAInPlace(
        *self.owner, std::string_view(block, self.cdataInDocument ? self.cdataEnd - self.cdataStart : self.cdata.size()));
  }
  // A declared encoding the library does not read itself, read through ICU if it can be.
  static int XMLCALL onUnknownEncoding(void* user, const XML_Char* name, XML_Encoding* info) {
    Impl& self = of(user);
    std::string refusal;
    if (describeUnknownEncoding(name, *info, refusal)) return XML_STATUS_OK;
    if (!self.stopped()) self.refused.emplace(kXMLParserInvalidCharacterError, std::move(refusal));
    return XML_STATUS_ERROR;
  }
  // Installed only when the library cannot bound expansion: no entity may be declared.
  static void onEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int,
                           const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
    Impl& self = of(user);
    if (self.stopped()) return;
    self.refused.emplace(kXMLParserEntityNotFinishedError, "entity declarations are not accepted");
    XML_StopParser(self.xml, XML_FALSE);
  }
};

bool XMLAttributeList::nameIs(size_t i, std::string_view name) const {
  const char* key = nameAt(i);
  // Compared byte by byte without measuring the key first: most keys differ in their first
  // bytes, and a shorter key is never read past its end.
  for (size_t k = 0; k < name.size(); ++k)
    if (key[k] != name[k]) return false;
  return key[name.size()] == '\0';
}

const char* XMLAttributeList::find(std::string_view name) const {
  for (size_t i = 0; pairs_[2 * i]; ++i)
    if (nameIs(i, name)) return valueAt(i);
  return nullptr;
}

size_t XMLAttributeList::size() const {
  size_t n = 0;
  while (pairs_[2 * n]) ++n;
  return n;
}

void XMLParserDelegate::didStartElementInPlace(XMLParser& parser, std::string_view elementName,
                                               const XMLAttributeList& attributes) {
  parser.reportStart(*this, elementName, attributes);
}
void XMLParserDelegate::didEndElementInPlace(XMLParser& parser, std::string_view elementName) {
  parser.reportEnd(*this, elementName);
}
void XMLParserDelegate::foundCharactersInPlace(XMLParser& parser, std::string_view text) {
  parser.reportCharacters(*this, text);
}
void XMLParserDelegate::foundCDATAInPlace(XMLParser& parser, std::string_view block) {
  parser.reportCDATA(*this, block);
}

void XMLParser::reportStart(XMLParserDelegate& delegate, std::string_view name, const XMLAttributeList& attributes) {
  Impl& impl = *impl_;
  Impl::copyInto(impl.name, name);
  delegate.didStartElement(*this, impl.name, impl.attributesOf(attributes));
}
void XMLParser::reportEnd(XMLParserDelegate& delegate, std::string_view name) {
  Impl& impl = *impl_;
  Impl::copyInto(impl.name, name);
  delegate.didEndElement(*this, impl.name);
}
void XMLParser::reportCharacters(XMLParserDelegate& delegate, std::string_view text) {
  Impl& impl = *impl_;
  Impl::copyInto(impl.text, text);
  delegate.foundCharacters(*this, impl.text);
}
void XMLParser::reportCDATA(XMLParserDelegate& delegate, std::string_view block) {
  Impl& impl = *impl_;
  // A section the parser gathered itself is handed over as it is, and kept, so the next
  // section reuses its room.
  const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
  if (bytes != impl.cdata.data() || block.size() != impl.cdata.size()) impl.cdata.assign(bytes, bytes + block.size());
  delegate.foundCDATA(*this, impl.cdata);
}

// The room the events are copied into exists from the start: a delegate may also send
// itself events outside parse().
XMLParser::XMLParser(Bytes data)
    : data_(std::move(data)), bytes_(data_.data()), size_(data_.size()), impl_(std::make_unique<Impl>()) {}
XMLParser::XMLParser(std::string_view text)
    : data_(text.begin(), text.end()), bytes_(data_.data()), size_(data_.size()), impl_(std::make_unique<Impl>()) {}
XMLParser::XMLParser(const Bytes& data, XMLParserInPlace)
    : bytes_(data.data()), size_(data.size()), impl_(std::make_unique<Impl>()) {}
XMLParser::~XMLParser() = default;

bool XMLParser::parse() {
  if (used_) return false;
  used_ = true;
  // A delegate that is gone gets nothing; the document is still checked.
  std::shared_ptr<XMLParserDelegate> delegate = delegate_.lock();
  if (!delegate) delegate = std::make_shared<XMLParserDelegate>();

  Impl& impl = *impl_;
  impl.owner = this;
  impl.documentSize = size_;
  // Room for the names and the text runs of a typical document at once.
  impl.name.reserve(32);
  impl.nameSizes.reserve(16);
  impl.text.reserve(128);
  impl.delegate = delegate;
  impl.xml = XML_ParserCreate(nullptr);
  if (!impl.xml) {
    error_ = Error{kXMLParserErrorDomain, kXMLParserOutOfMemoryError, Value()};
    delegate->parseErrorOccurred(*this, *error_);
    return false;
  }
  if (const unsigned long salt = processHashSalt()) XML_SetHashSalt(impl.xml, salt);
  XML_SetUserData(impl.xml, &impl);
  XML_SetElementHandler(impl.xml, &Impl::onStart, &Impl::onEnd);
  XML_SetCharacterDataHandler(impl.xml, &Impl::onText);
  XML_SetCdataSectionHandler(impl.xml, &Impl::onCdataStart, &Impl::onCdataEnd);
  XML_SetUnknownEncodingHandler(impl.xml, &Impl::onUnknownEncoding, &impl);
  // No external entity handler: references to external entities are skipped, never read.
  XML_SetParamEntityParsing(impl.xml, XML_PARAM_ENTITY_PARSING_NEVER);
  bool bounded = false;
#ifdef PLATFORM_XML_HAS_EXPANSION_LIMIT
  bounded = XML_SetBillionLaughsAttackProtectionMaximumAmplification(impl.xml, kMaxAmplification) &&
            XML_SetBillionLaughsAttackProtectionActivationThreshold(impl.xml, kAmplificationThreshold);
#endif
  if (!bounded) XML_SetEntityDeclHandler(impl.xml, &Impl::onEntityDecl);

  impl.parsing = true;
  delegate->parserDidStartDocument(*this);
  bool ok = true;
  if (!impl.aborted) {
    // Fed in slices so that sizes beyond int never reach the library, but as few as can be:
    // at the end of every slice but the last the library works out the line and column by
    // going over the whole slice again, which adds about a tenth to the reading.
    constexpr size_t kSlice = 1 << 30;
    size_t offset = 0;
    do {
      size_t n = std::min(kSlice, size_ - offset);
      bool last = offset + n == size_;
      impl.cdataNext = nullptr;
      if (XML_Parse(impl.xml, reinterpret_cast<const char*>(bytes_) + offset, static_cast<int>(n),
                    last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
        ok = false;
        break;
      }
      offset += n;
    } while (offset < size_);
  } else {
    ok = false;
  }
  impl.parsing = false;

  if (ok && !impl.aborted) {
    // Where it stopped is asked of the library only when someone wants it: finding the line
    // means going over the whole document again.
    delegate->parserDidEndDocument(*this);
    return true;
  }
  line_ = static_cast<long>(XML_GetCurrentLineNumber(impl.xml));
  column_ = static_cast<long>(XML_GetCurrentColumnNumber(impl.xml));
  impl.positionKept = true;
  long code;
  std::string message;
  if (impl.aborted) {
    code = kXMLParserDelegateAbortedParseError;
    message = "parsing aborted by the delegate";
  } else if (impl.refused) {
    code = impl.refused->first;
    message = impl.refused->second;
  } else {
    XML_Error e = XML_GetErrorCode(impl.xml);
    code = codeFor(e, impl.sawElement);
    const XML_LChar* text = XML_ErrorString(e);
    message = text ? text : "unknown error";
  }
  Dictionary info;
  info.set(kLocalizedDescriptionKey, Value(message));
  info.set(kXMLParserErrorMessageKey, Value(message));
  info.set(kXMLParserErrorLineKey, Value(line_));
  info.set(kXMLParserErrorColumnKey, Value(column_));
  error_ = Error{kXMLParserErrorDomain, code, Value(std::move(info))};
  delegate->parseErrorOccurred(*this, *error_);
  return false;
}

void XMLParser::abortParsing() {
  if (!impl_ || !impl_->parsing || impl_->stopped()) return;
  impl_->aborted = true;
  XML_StopParser(impl_->xml, XML_FALSE);
}

void XMLParser::appendCharactersTo(std::string* text) {
  if (!impl_->parsing) return;
  impl_->textSink = text;
  // Inside a CDATA section its own handler stays; the section's end sets this one.
  if (!impl_->inCdata) XML_SetCharacterDataHandler(impl_->xml, impl_->textHandler());
}

long XMLParser::lineNumber() const {
  if (impl_ && impl_->xml && !impl_->positionKept) return static_cast<long>(XML_GetCurrentLineNumber(impl_->xml));
  return line_;
}

long XMLParser::columnNumber() const {
  if (impl_ && impl_->xml && !impl_->positionKept) return static_cast<long>(XML_GetCurrentColumnNumber(impl_->xml));
  return column_;
}

}  // namespace platform
