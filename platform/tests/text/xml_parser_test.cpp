#include "platform/xml_parser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

// Writes every event as one line, so a test compares a whole document's events at once.
class Recorder : public XMLParserDelegate {
 public:
  std::vector<std::string> events;
  std::vector<std::string> runs;
  std::vector<long> startLines;
  std::optional<Error> error;
  int errors = 0;
  std::string abortAt;

  void parserDidStartDocument(XMLParser&) override { events.push_back("begin"); }
  void parserDidEndDocument(XMLParser&) override { events.push_back("end"); }
  void didStartElement(XMLParser& p, const std::string& name, const XMLAttributes& attrs) override {
    std::string line = "<" + name;
    for (const auto& [k, v] : attrs) line += " " + k + "=" + v.string();
    addStart(p, name, line + ">");
  }
  void didEndElement(XMLParser&, const std::string& name) override { events.push_back("</" + name + ">"); }
  void foundCharacters(XMLParser&, const std::string& text) override { addText(text); }
  void foundCDATA(XMLParser&, const Bytes& block) override {
    events.push_back("cdata:" + std::string(block.begin(), block.end()));
  }
  void parseErrorOccurred(XMLParser&, const Error& e) override {
    ++errors;
    error = e;
    events.push_back("error");
  }

 protected:
  void addStart(XMLParser& p, std::string_view name, std::string line) {
    events.push_back(std::move(line));
    startLines.push_back(p.lineNumber());
    if (name == abortAt) p.abortParsing();
  }
  void addText(std::string_view text) {
    runs.emplace_back(text);
    if (!events.empty() && events.back().starts_with("text:")) events.back() += text;
    else events.push_back("text:" + std::string(text));
  }
};

// The same lines from the events read in place; an event that still arrives copied shows as
// a line of its own.
class InPlaceRecorder : public Recorder {
 public:
  void didStartElementInPlace(XMLParser& p, std::string_view name, const XMLAttributeList& attrs) override {
    std::string line = "<" + std::string(name);
    for (size_t i = 0; i < attrs.size(); ++i) line += " " + std::string(attrs.nameAt(i)) + "=" + attrs.valueAt(i);
    addStart(p, name, line + ">");
  }
  void didEndElementInPlace(XMLParser&, std::string_view name) override {
    events.push_back("</" + std::string(name) + ">");
  }
  void foundCharactersInPlace(XMLParser&, std::string_view text) override { addText(text); }
  void foundCDATAInPlace(XMLParser&, std::string_view block) override { events.push_back("cdata:" + std::string(block)); }
  void didStartElement(XMLParser&, const std::string&, const XMLAttributes&) override { events.push_back("copied"); }
  void didEndElement(XMLParser&, const std::string&) override { events.push_back("copied"); }
  void foundCharacters(XMLParser&, const std::string&) override { events.push_back("copied"); }
  void foundCDATA(XMLParser&, const Bytes&) override { events.push_back("copied"); }
};

struct Run {
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  bool ok = false;
  std::optional<Error> error;
};

Run parse(std::string_view text, std::string abortAt = "", bool inPlace = false,
          std::shared_ptr<Recorder> recorder = nullptr) {
  Run run;
  if (recorder) run.recorder = std::move(recorder);
  run.recorder->abortAt = std::move(abortAt);
  const Bytes bytes(text.begin(), text.end());
  XMLParser parser = inPlace ? XMLParser(bytes, kXMLParserInPlace) : XMLParser(text);
  parser.setDelegate(run.recorder);
  run.ok = parser.parse();
  run.error = parser.parserError();
  return run;
}

using Events = std::vector<std::string>;

TEST(XMLParserTest, ReportsElementsAttributesInOrderAndText) {
  auto run = parse(
      "<?xml version=\"1.0\"?>\n"
      "<ad z=\"1\" b=\"two\" m=\"&amp;&lt;&#x41;\"><x:t x:k=\"v\" xmlns:x=\"urn:u\">hi</x:t><e/></ad>");
  EXPECT_TRUE(run.ok);
  EXPECT_FALSE(run.error);
  EXPECT_EQ(run.recorder->events,
            (Events{"begin", "<ad z=1 b=two m=&<A>", "<x:t x:k=v xmlns:x=urn:u>", "text:hi", "</x:t>", "<e>",
                    "</e>", "</ad>", "end"}));
  EXPECT_EQ(run.recorder->startLines, (std::vector<long>{2, 2, 2}));
}

// Elements one after another, with the same names, the same names in another order, none,
// fewer and more: each reports its own attributes and nothing of the one before.
TEST(XMLParserTest, EachElementReportsOnlyItsOwnAttributes) {
  auto run = parse("<r><a x='1' y='2'/><a x='3' y='4'/><b y='5' x='6'/><c/><a x='7'/><a x='8' y='9' z='10'/></r>");
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.recorder->events,
            (Events{"begin", "<r>", "<a x=1 y=2>", "</a>", "<a x=3 y=4>", "</a>", "<b y=5 x=6>", "</b>", "<c>", "</c>",
                    "<a x=7>", "</a>", "<a x=8 y=9 z=10>", "</a>", "</r>", "end"}));
}

TEST(XMLParserTest, AfterAWholeDocumentThePositionIsWhereItEnded) {
  XMLParser parser(std::string_view("<a>\n  <b/>\n</a>"));
  parser.setDelegate(std::make_shared<XMLParserDelegate>());
  EXPECT_EQ(parser.lineNumber(), 0);
  ASSERT_TRUE(parser.parse());
  EXPECT_EQ(parser.lineNumber(), 3);
  EXPECT_EQ(parser.columnNumber(), 4);
}

TEST(XMLParserTest, TextMayArriveInSeveralRuns) {
  auto run = parse("<a>line one\nline two &amp; three&#233;</a>");
  ASSERT_TRUE(run.ok);
  std::string joined;
  for (const auto& r : run.recorder->runs) joined += r;
  EXPECT_EQ(joined, "line one\nline two & three\xC3\xA9");
  EXPECT_GT(run.recorder->runs.size(), 1u);
}

TEST(XMLParserTest, CDATAIsDeliveredSeparatelyAndOnlyAsCDATA) {
  auto run = parse("<r>x<![CDATA[<b>&amp;\n]]>y<![CDATA[]]></r>");
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.recorder->events,
            (Events{"begin", "<r>", "text:x", "cdata:<b>&amp;\n", "text:y", "cdata:", "</r>", "end"}));

  // A delegate that ignores CDATA does not get it as characters either.
  struct TextOnly : XMLParserDelegate {
    std::string text;
    void foundCharacters(XMLParser&, const std::string& t) override { text += t; }
  };
  auto textOnly = std::make_shared<TextOnly>();
  XMLParser parser(std::string_view("<r>a<![CDATA[hidden]]>b</r>"));
  parser.setDelegate(textOnly);
  EXPECT_TRUE(parser.parse());
  EXPECT_EQ(textOnly->text, "ab");
}

// A section whose text is the document's bytes as they are reaches a delegate that takes it
// in place where the caller's bytes hold it: nothing is copied. One whose text differs from
// those bytes (line ends made line feeds, another encoding, an entity's text) is gathered and
// reads the same.
TEST(XMLParserTest, CDATAInPlaceLiesInTheDocumentWhereItsTextIsTheDocuments) {
  struct Blocks : XMLParserDelegate {
    const Bytes* document = nullptr;
    std::vector<std::string> blocks;
    std::vector<bool> inDocument;
    void foundCDATAInPlace(XMLParser&, std::string_view block) override {
      const auto* at = reinterpret_cast<const uint8_t*>(block.data());
      blocks.emplace_back(block);
      inDocument.push_back(!block.empty() && at >= document->data() && at + block.size() <= document->data() + document->size());
    }
  };
  const auto utf16le = [](std::string_view text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string{c, '\0'};
    return out;
  };
  std::string markup;
  for (int i = 0; i < 20000; ++i) markup += "<p id=\"" + std::to_string(i) + "\">caf\xC3\xA9 &amp;</p>\n";
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> blocks;
    std::vector<bool> inDocument;
  } cases[] = {
      {"lines, UTF-8, empty", "<r><![CDATA[a\n<b>&amp; caf\xC3\xA9\n\n]]>t<![CDATA[]]><![CDATA[\n]]></r>",
       {"a\n<b>&amp; caf\xC3\xA9\n\n", "", "\n"}, {true, false, true}},
      {"over a megabyte", "<r><![CDATA[" + markup + "]]></r>", {markup}, {true}},
      {"CR LF", "<r><![CDATA[a\r\nb]]></r>", {"a\nb"}, {false}},
      {"CR alone", "<r><![CDATA[a\rb\n]]></r>", {"a\nb\n"}, {false}},
      {"CR LF after a line feed", "<r><![CDATA[a\nb\r\nc]]></r>", {"a\nb\nc"}, {false}},
      {"ISO-8859-1", "<?xml version='1.0' encoding='ISO-8859-1'?><r><![CDATA[x\ncaf\xE9]]></r>", {"x\ncaf\xC3\xA9"},
       {false}},
      {"UTF-16", utf16le("<r><![CDATA[a\nb]]></r>"), {"a\nb"}, {false}},
      {"an entity's text", "<!DOCTYPE r [<!ENTITY e '<![CDATA[x\ny]]>'>]><r>&e;</r>", {"x\ny"}, {false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes(c.text.begin(), c.text.end());
    auto blocks = std::make_shared<Blocks>();
    blocks->document = &bytes;
    XMLParser parser(bytes, kXMLParserInPlace);
    parser.setDelegate(blocks);
    EXPECT_TRUE(parser.parse());
    EXPECT_EQ(blocks->blocks, c.blocks);
    EXPECT_EQ(blocks->inDocument, c.inDocument);
  }
  // A line feed alone in UTF-16 is the document's byte where it lies; its text is still right.
  auto single = parse(utf16le("<r><![CDATA[\n]]></r>"), "", true, std::make_shared<InPlaceRecorder>());
  EXPECT_EQ(single.recorder->events, (Events{"begin", "<r>", "cdata:\n", "</r>", "end"}));
}

// Documents declared in an encoding the XML library does not read itself are read through ICU:
// element names, attributes, text and CDATA alike, in place or copied. An encoding that
// cannot be read is an error that names it.
TEST(XMLParserTest, DeclaredEncodingsAreReadThroughICU) {
  const auto declared = [](const char* encoding, const std::string& body) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n" + body;
  };
  const struct {
    const char* name;
    std::string text;
    Events events;                  // after "begin"; none: an error
    const char* message = nullptr;  // what the error's message says
  } cases[] = {
      {"windows-1252", declared("windows-1252", "<a t=\"\x80 5\">caf\xE9 \x93q\x94<![CDATA[\x9C\xFF]]></a>"),
       {"<a t=€ 5>", "text:café “q”", "cdata:œÿ", "</a>", "end"}},
      {"ISO-8859-15, not Latin-1", declared("ISO-8859-15", "<a>\xA4 \xBD \xA6</a>"),
       {"<a>", "text:€ œ Š", "</a>", "end"}},
      {"windows-1251 in names", declared("windows-1251", "<\xE8\xEC\xFF \xE0=\"\xE1\">\xCF\xF0\xE8\xE2\xE5\xF2</\xE8\xEC\xFF>"),
       {"<имя а=б>", "text:Привет", "</имя>", "end"}},
      {"Shift_JIS, a second byte that is a backslash",
       declared("Shift_JIS", "<\x93\xFA k=\"\x83\x5C\">\x93\xFA\x96\x7B\x8C\xEA \xB1<![CDATA[\x83\x5C]]></\x93\xFA>"),
       {"<日 k=ソ>", "text:日本語 ｱ", "cdata:ソ", "</日>", "end"}},
      {"UTF-8 by a name the library does not know", declared("utf8", "<a>caf\xC3\xA9 \xE6\x97\xA5</a>"),
       {"<a>", "text:café 日", "</a>", "end"}},
      {"EUC-JP, characters of three bytes", declared("EUC-JP", "<caf\x8F\xAB\xB1 t=\"\x8F\xAB\xB1\">\xC6\xFC caf\x8F\xAB\xB1<![CDATA[\x8F\xAB\xB1]]></caf\x8F\xAB\xB1>"),
       {"<café t=é>", "text:日 café", "cdata:é", "</café>", "end"}},
      {"EUC-TW, characters of four bytes", declared("EUC-TW", "<a t=\"\x8E\xA2\xA1\xA1\">\xC4\xA1\x8E\xA2\xA1\xA1</a>"),
       {"<a t=乂>", "text:一乂", "</a>", "end"}},
      {"Shift_JIS, a first byte without its second", declared("Shift_JIS", "<a>\x93</a>"), {}},
      {"an encoding ICU does not know", declared("x-no-such-encoding", "<a/>"), {},
       "unknown encoding \"x-no-such-encoding\""},
      {"lengths not told by the first byte", declared("GB18030", "<a>\xD6\xD0</a>"), {}, "\"GB18030\" cannot be read"},
      {"a state between characters", declared("ISO-2022-JP", "<a/>"), {}, "\"ISO-2022-JP\" cannot be read"},
      {"not ASCII", declared("IBM037", "<a/>"), {}, "\"IBM037\" cannot be read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto copied = parse(c.text);
    auto inPlace = parse(c.text, "", true, std::make_shared<InPlaceRecorder>());
    EXPECT_EQ(inPlace.recorder->events, copied.recorder->events);
    if (!c.events.empty()) {
      EXPECT_TRUE(copied.ok);
      Events expected{"begin"};
      expected.insert(expected.end(), c.events.begin(), c.events.end());
      EXPECT_EQ(copied.recorder->events, expected);
      continue;
    }
    EXPECT_FALSE(copied.ok);
    ASSERT_TRUE(copied.error);
    EXPECT_EQ(copied.error->code, kXMLParserInvalidCharacterError);
    EXPECT_EQ(copied.recorder->events.back(), "error");
    if (c.message) {
      // Refused at the declaration, before any element.
      EXPECT_EQ(copied.recorder->events, (Events{"begin", "error"}));
      EXPECT_NE(copied.error->localizedDescription().find(c.message), std::string::npos)
          << copied.error->localizedDescription();
    }
  }
}

// What an encoding read through ICU takes is worked out once for the process, however many
// threads read documents in it at once.
TEST(XMLParserTest, EncodingsThroughICUAreReadOnSeveralThreadsAtOnce) {
  const std::string documents[] = {"<?xml version='1.0' encoding='EUC-JP'?><a>\xC6\xFC\xCB\xDC</a>",
                                   "<?xml version='1.0' encoding='Big5'?><a>\xA4\xA4\xA4\xE5</a>"};
  const std::string texts[] = {"日本", "中文"};
  std::vector<std::vector<std::string>> read(8);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < read.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        auto run = parse(documents[(t + i) % 2]);
        read[t].push_back(run.ok && run.recorder->runs.size() == 1 ? run.recorder->runs[0] : "error");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (size_t t = 0; t < read.size(); ++t) {
    ASSERT_EQ(read[t].size(), 20u);
    for (size_t i = 0; i < read[t].size(); ++i) EXPECT_EQ(read[t][i], texts[(t + i) % 2]) << t << " " << i;
  }
}

// The caller's bytes read in place give what a copy of them gives, including where a
// document over a megabyte (read in one go) stops, and every CDATA section on its own
// although their room is shared.
TEST(XMLParserTest, ReadingInPlaceGivesWhatReadingACopyGives) {
  std::string large = "<r>";
  for (int i = 0; i < 40000; ++i) large += "<p a=\"" + std::to_string(i) + "\">text &amp; more</p>\n";
  const struct {
    const char* name;
    std::string text;
    bool ok;
    Events first;  // the events the document begins with
    long line;     // where it stopped
  } cases[] = {
      {"sections", "<r><![CDATA[a longer block\n]]><![CDATA[two]]>t<![CDATA[]]></r>", true,
       {"begin", "<r>", "cdata:a longer block\n", "cdata:two", "text:t", "cdata:", "</r>", "end"}, 1},
      {"over a megabyte", large + "</r>", true, {"begin", "<r>", "<p a=0>", "text:text & more", "</p>"}, 40001},
      {"over a megabyte, cut", large + "<p>\n", false, {"begin", "<r>", "<p a=0>"}, 40002},
      {"not closed", "<a>\n<b></a>", false, {"begin", "<a>", "text:\n", "<b>", "error"}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto inPlace = parse(c.text, "", true);
    auto copied = parse(c.text);
    EXPECT_EQ(inPlace.ok, c.ok);
    EXPECT_EQ(inPlace.recorder->events, copied.recorder->events);
    ASSERT_GE(inPlace.recorder->events.size(), c.first.size());
    EXPECT_EQ(Events(inPlace.recorder->events.begin(), inPlace.recorder->events.begin() + c.first.size()), c.first);
    if (c.ok) continue;
    ASSERT_TRUE(inPlace.error && copied.error);
    EXPECT_EQ(inPlace.error->code, copied.error->code);
    EXPECT_EQ(inPlace.error->userInfo[kXMLParserErrorLineKey].integerValue(), c.line);
    EXPECT_EQ(copied.error->userInfo[kXMLParserErrorLineKey].integerValue(), c.line);
  }
}

// A delegate that takes the events in place sees what one that takes them copied sees: the
// same elements, attributes, text runs, CDATA, errors and stops, with nothing copied for it.
TEST(XMLParserTest, EventsReadInPlaceAreTheEventsCopied) {
  const struct {
    const char* name;
    const char* text;
    const char* abortAt;
  } cases[] = {
      {"attributes", "<ad z=\"1\" b=\"two\" m=\"&amp;&lt;&#x41;\"><x:t x:k=\"v\">hi</x:t><e/></ad>", ""},
      {"attributes kept and changed", "<r><a x='1' y='2'/><a x='3' y='4'/><b y='5'/><c/><a x='7' y=''/></r>", ""},
      {"runs", "<a>line one\nline two &amp; three&#233;<b>in</b>after</a>", ""},
      {"cdata among text", "<r>x<![CDATA[<b>&amp;\n]]>y<![CDATA[]]>z</r>", ""},
      {"cdata converted", "<?xml version='1.0' encoding='ISO-8859-1'?><r><![CDATA[caf\xE9\r\n]]></r>", ""},
      {"malformed", "<a>\n<b>text</a>", ""},
      {"stopped", "<a><b/><c/><d>text</d></a>", "c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto copied = parse(c.text, c.abortAt);
    auto inPlace = parse(c.text, c.abortAt, true, std::make_shared<InPlaceRecorder>());
    EXPECT_EQ(inPlace.ok, copied.ok);
    EXPECT_EQ(inPlace.recorder->events, copied.recorder->events);
    EXPECT_EQ(inPlace.recorder->runs, copied.recorder->runs);
    EXPECT_EQ(inPlace.recorder->startLines, copied.recorder->startLines);
    EXPECT_EQ(inPlace.error.has_value(), copied.error.has_value());
    if (inPlace.error && copied.error) {
      EXPECT_EQ(inPlace.error->code, copied.error->code);
    }
  }
}

// A delegate may take some events in place and the rest copied; and an in-place event it
// sends itself outside parsing still reaches its copied form.
TEST(XMLParserTest, InPlaceAndCopiedEventsMix) {
  struct StartsInPlace : Recorder {
    void didStartElementInPlace(XMLParser& p, std::string_view name, const XMLAttributeList& attrs) override {
      addStart(p, name, "<" + std::string(name) + " " + std::to_string(attrs.size()) + ">");
    }
  };
  auto run = parse("<a k='v' l='w'><b>t&amp;u</b></a>", "", false, std::make_shared<StartsInPlace>());
  EXPECT_TRUE(run.ok);
  EXPECT_EQ(run.recorder->events, (Events{"begin", "<a 2>", "<b 0>", "text:t&u", "</b>", "</a>", "end"}));

  auto recorder = std::make_shared<Recorder>();
  XMLParser parser(std::string_view("<unused/>"));
  const char* const pairs[] = {"k", "v", nullptr};
  recorder->didStartElementInPlace(parser, "x", XMLAttributeList(pairs));
  recorder->foundCharactersInPlace(parser, "text");
  recorder->didEndElementInPlace(parser, "x");
  EXPECT_EQ(recorder->events, (Events{"<x k=v>", "text:text", "</x>"}));
}

// Text appended to the delegate's string while it asks for it: every run outside CDATA
// sections (entities, lines, inner elements) in order, and none of it reported as well.
TEST(XMLParserTest, TextGoesToTheDelegatesStringWhileAsked) {
  // Gathers the text of every <u> element into `gathered`, one line per element.
  struct Gatherer : Recorder {
    std::string text;
    std::vector<std::string> gathered;
    void didStartElementInPlace(XMLParser& p, std::string_view name, const XMLAttributeList& attrs) override {
      if (name == "u") {
        text.clear();
        p.appendCharactersTo(&text);
      }
      XMLParserDelegate::didStartElementInPlace(p, name, attrs);
    }
    void didEndElementInPlace(XMLParser& p, std::string_view name) override {
      if (name == "u") {
        p.appendCharactersTo(nullptr);
        gathered.push_back(text);
      }
      XMLParserDelegate::didEndElementInPlace(p, name);
    }
  };
  const struct {
    const char* name;
    const char* text;
    std::vector<std::string> gathered;
    Events events;
  } cases[] = {
      {"runs, inner elements and CDATA", "<r>a<u>b&amp;c\nd<![CDATA[x]]>e<i>f</i>g</u>h</r>", {"b&c\ndefg"},
       {"begin", "<r>", "text:a", "<u>", "cdata:x", "<i>", "</i>", "</u>", "text:h", "</r>", "end"}},
      {"an entity of the document", "<!DOCTYPE r [<!ENTITY who \"world\">]><r><u>hello &who;</u>!</r>",
       {"hello world"}, {"begin", "<r>", "<u>", "</u>", "text:!", "</r>", "end"}},
      {"two elements, empty one", "<r><u>one</u> <u/><u>t&#233;</u></r>", {"one", "", "t\xC3\xA9"},
       {"begin", "<r>", "<u>", "</u>", "text: ", "<u>", "</u>", "<u>", "</u>", "</r>", "end"}},
      {"cut inside", "<r><u>kept<v>", {}, {"begin", "<r>", "<u>", "<v>", "error"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto gatherer = std::make_shared<Gatherer>();
    auto run = parse(c.text, "", true, gatherer);
    EXPECT_EQ(gatherer->gathered, c.gathered);
    EXPECT_EQ(run.recorder->events, c.events);
  }
  // Asked outside parsing, it does nothing.
  std::string unused;
  XMLParser idle(std::string_view("<a>x</a>"));
  idle.appendCharactersTo(&unused);
  auto recorder = std::make_shared<Recorder>();
  idle.setDelegate(recorder);
  EXPECT_TRUE(idle.parse());
  EXPECT_EQ(unused, "");
  EXPECT_EQ(recorder->runs, (std::vector<std::string>{"x"}));
}

TEST(XMLParserTest, AttributeListFindsExactNamesOnly) {
  const char* const pairs[] = {"type", "banner", "actionType", "2", "t", "", "typed", "x", nullptr};
  const XMLAttributeList list(pairs);
  EXPECT_EQ(list.size(), 4u);
  EXPECT_FALSE(list.empty());
  const struct {
    const char* name;
    const char* value;  // nullptr: absent
  } cases[] = {
      {"type", "banner"}, {"actionType", "2"}, {"t", ""},       {"typed", "x"},    {"actiontype", nullptr},
      {"typ", nullptr},   {"types", nullptr},  {"", nullptr},   {"Type", nullptr}, {"banner", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const char* found = list.find(c.name);
    if (!c.value) {
      EXPECT_EQ(found, nullptr);
      continue;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found, c.value);
  }
  EXPECT_TRUE(list.nameIs(0, "type"));
  EXPECT_FALSE(list.nameIs(0, "typed"));
  EXPECT_FALSE(list.nameIs(3, "type"));
  EXPECT_TRUE(list.nameIs(2, "t"));
  const char* const none[] = {nullptr};
  EXPECT_TRUE(XMLAttributeList(none).empty());
  EXPECT_EQ(XMLAttributeList(none).size(), 0u);
  EXPECT_EQ(XMLAttributeList(none).find("type"), nullptr);
}

TEST(XMLParserTest, MalformedDocumentsReportCodeAndLine) {
  struct Case {
    const char* text;
    long code;
    long line;
  };
  const Case cases[] = {
      {"<a>\n<b>\n</a>", kXMLParserTagNameMismatchError, 3},
      {"", kXMLParserEmptyDocumentError, 1},
      {"<a><b></b>", kXMLParserPrematureDocumentEndError, 1},
      {"<a x=\"1\" x=\"2\"/>", kXMLParserAttributeRedefinedError, 1},
      {"<a>&nope;</a>", kXMLParserUndeclaredEntityError, 1},
      {"<a/>\n<b/>", kXMLParserNotWellBalancedError, 2},
      {"<a>\n\n <</a>", kXMLParserInvalidCharacterError, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto run = parse(c.text);
    EXPECT_FALSE(run.ok);
    ASSERT_TRUE(run.error);
    EXPECT_EQ(run.error->domain, kXMLParserErrorDomain);
    EXPECT_EQ(run.error->code, c.code);
    EXPECT_EQ(run.error->userInfo[kXMLParserErrorLineKey].integerValue(), c.line);
    EXPECT_FALSE(run.error->localizedDescription().empty());
    EXPECT_EQ(run.recorder->errors, 1);
    EXPECT_EQ(run.recorder->events.back(), "error");  // nothing after the error, no "end"
  }
}

TEST(XMLParserTest, AbortStopsEverything) {
  auto run = parse("<a><b/><c/><d>text</d></a>", "b");
  EXPECT_FALSE(run.ok);
  ASSERT_TRUE(run.error);
  EXPECT_EQ(run.error->code, kXMLParserDelegateAbortedParseError);
  EXPECT_EQ(run.recorder->events, (Events{"begin", "<a>", "<b>", "error"}));
}

TEST(XMLParserTest, ExternalEntitiesAreNeverRead) {
  auto secret = std::filesystem::path(::testing::TempDir()) / "xml_parser_secret.txt";
  std::ofstream(secret) << "SECRET-CONTENT";
  std::string doc = "<!DOCTYPE a [<!ENTITY ext SYSTEM \"file://" + secret.string() +
                    "\">]>\n<a>before&ext;after</a>";
  auto run = parse(doc);
  std::string all;
  for (const auto& e : run.recorder->events) all += e + "\n";
  EXPECT_EQ(all.find("SECRET"), std::string::npos) << all;
  // A document with an external DTD still parses; the DTD is not fetched.
  auto withDtd = parse("<!DOCTYPE plist SYSTEM \"http://127.0.0.1:1/none.dtd\"><plist>x</plist>");
  EXPECT_TRUE(withDtd.ok);
}

TEST(XMLParserTest, EntityExpansionIsBounded) {
  std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY l0 \"lollollollol\">\n";
  for (int i = 1; i <= 9; ++i) {
    doc += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) doc += "&l" + std::to_string(i - 1) + ";";
    doc += "\">\n";
  }
  doc += "]>\n<lolz>&l9;</lolz>";
  auto run = parse(doc);
  EXPECT_FALSE(run.ok);
  ASSERT_TRUE(run.error);
  EXPECT_EQ(run.error->code, kXMLParserEntityRefLoopError);
  size_t received = 0;
  for (const auto& r : run.recorder->runs) received += r.size();
  EXPECT_LT(received, 16u << 20);  // far below the 4 * 10^10 bytes of the full expansion

  // A small internal entity still expands.
  auto small = parse("<!DOCTYPE a [<!ENTITY who \"world\">]><a>hello &who;</a>");
  EXPECT_TRUE(small.ok);
  EXPECT_EQ(small.recorder->events[2], "text:hello world");
}

TEST(XMLParserTest, DelegateIsNotRetainedAndParsingHappensOnce) {
  auto recorder = std::make_shared<Recorder>();
  XMLParser parser(std::string_view("<a/>"));
  parser.setDelegate(recorder);
  EXPECT_EQ(parser.delegate(), recorder);
  recorder.reset();
  EXPECT_EQ(parser.delegate(), nullptr);
  EXPECT_TRUE(parser.parse());   // a missing delegate still checks the document
  EXPECT_FALSE(parser.parse());  // but only once
}

}  // namespace
}  // namespace platform
