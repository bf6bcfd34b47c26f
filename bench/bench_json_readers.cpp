// The clients' JSON readers side by side with three JSON libraries building trees of their
// own, on the four documents of bench_json_documents.h: interleaved rounds in one process,
// each side's median MB/s with its slowest and fastest round, its ratio to RapidJSON building
// its document, and the heap its tree holds next to the size of the text.
//   bench_json_readers                          the comparison
//   bench_json_readers --events                 Cadenzo's event reader alone next to its tree
//   bench_json_readers --writing                each client writer putting its tree back into text
//   bench_json_readers --profile CLIENT [KIND]  one client reading one document kind (answer,
//                                               list, numbers or strings; list by default)
//                                               again and again, for a profiler
// The clients read as their own code calls them: a fresh reader per text. RapidJSON and
// nlohmann build a new document per text; simdjson reuses its parser, as it is meant to be
// used, over a padded copy of the text made once. A tree's heap is what one read leaves
// allocated while the tree lives (bench_heap.h): for RapidJSON that is its pool, whose first
// block alone outweighs a small text; for simdjson its parser with its working buffers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include "bench_heap.h"
#include "bench_interleaved.h"
#include "bench_json_documents.h"

#include "CZJsonParser.h"
#include "CZJsonStreamParser.h"
// The other two readers are internal to their clients; the bench reaches them by path.
#include "../sdk/halvern/src/util/HVJSON.h"
#include "../sdk/quillon/src/util/QLJSON.h"

namespace {

using benchdocs::Document;
using benchrounds::Side;

std::optional<platform::Value> cadenzoRead(std::string_view text) {
  cadenzo::CZJsonParser parser;
  return parser.objectWithString(text);
}

std::optional<platform::Value> quillonRead(std::string_view text) {
  quillon::QLJSON json;
  return json.objectWithStringError(text);
}

std::optional<platform::Value> halvernRead(std::string_view text) { return halvern::HVJSON::objectWithString(text); }

struct Client {
  const char* key;
  const char* name;
  std::optional<platform::Value> (*read)(std::string_view);
};

const Client kClients[] = {{"cadenzo", "cadenzo CZJsonParser", cadenzoRead},
                           {"quillon", "quillon QLJSON", quillonRead},
                           {"halvern", "halvern HVJSON", halvernRead}};

std::optional<rapidjson::Document> rapidjsonRead(const std::string& text) {
  rapidjson::Document document;
  document.Parse(text.c_str(), text.size());
  if (document.HasParseError()) return std::nullopt;
  return document;
}

std::optional<nlohmann::json> nlohmannRead(const std::string& text) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded()) return std::nullopt;
  return json;
}

[[noreturn]] void unread(const char* side, const Document& document) {
  std::fprintf(stderr, "%s did not read the %s\n", side, document.name);
  std::exit(1);
}

// A side that reads the document with `read`, whose result tests true when the text read as
// a tree, noting the heap that what `build` returns holds (the tree, or what owns it) against
// the text's size.
template <class Read, class Build>
Side treeSide(const char* name, const Document& document, Read read, Build build) {
  if (!read() || !build()) unread(name, document);
  const long long bytes = benchheap::heldBy(build);
  char note[48];
  std::snprintf(note, sizeof note, "tree %4.1fx text", static_cast<double>(bytes) / document.text.size());
  return {name, [read] { return read() ? 1L : 0L; }, note};
}

template <class Read>
Side treeSide(const char* name, const Document& document, Read read) {
  return treeSide(name, document, read, read);
}

std::vector<Side> readingSides(const Document& document) {
  const std::string& text = document.text;
  std::vector<Side> sides;
  for (const Client& client : kClients)
    sides.push_back(treeSide(client.name, document, [&text, read = client.read] { return read(text); }));
  sides.push_back(treeSide("nlohmann DOM", document, [&text] { return nlohmannRead(text); }));
  auto padded = std::make_shared<simdjson::padded_string>(text);
  auto parser = std::make_shared<simdjson::dom::parser>();
  sides.push_back(treeSide(
      "simdjson DOM", document, [padded, parser] { return !parser->parse(*padded).error(); },
      // Its tree lives in its parser: a fresh one holds what one text takes.
      [padded] {
        auto fresh = std::make_unique<simdjson::dom::parser>();
        return fresh->parse(*padded).error() ? nullptr : std::move(fresh);
      }));
  sides.push_back(treeSide("rapidjson DOM", document, [&text] { return rapidjsonRead(text); }));
  return sides;
}

std::vector<Side> eventSides(const Document& document) {
  const std::string& text = document.text;
  Side events{"cadenzo events only", [&text] {
                cadenzo::CZJsonStreamParser parser;
                return parser.parse(text) == 0 ? 1L : 0L;
              }};
  if (!events.once()) unread(events.name.c_str(), document);
  return {events, treeSide("cadenzo CZJsonParser", document, [&text] { return cadenzoRead(text); }),
          treeSide("rapidjson DOM", document, [&text] { return rapidjsonRead(text); })};
}

// Each writer puts its own reader's tree of the document back into text; the rate counts the
// document's bytes.
std::vector<Side> writingSides(const Document& document) {
  auto quillonTree = std::make_shared<platform::Value>(quillonRead(document.text).value());
  auto halvernTree = std::make_shared<platform::Value>(halvernRead(document.text).value());
  auto rapidTree = std::make_shared<rapidjson::Document>(rapidjsonRead(document.text).value());
  return {{"quillon QLJSON writing",
           [quillonTree] {
             quillon::QLJSON json;
             return static_cast<long>(json.stringWithObjectError(*quillonTree)->size());
           }},
          {"halvern HVJSON writing",
           [halvernTree] { return static_cast<long>(halvern::HVJSON::stringWithObject(*halvernTree).size()); }},
          {"rapidjson Writer", [rapidTree] {
             rapidjson::StringBuffer buffer;
             rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
             rapidTree->Accept(writer);
             return static_cast<long>(buffer.GetSize());
           }}};
}

int profile(const std::vector<Document>& documents, const char* key, const char* kind) {
  for (const Client& client : kClients) {
    if (std::strcmp(client.key, key) != 0) continue;
    for (const Document& document : documents) {
      if (std::strcmp(document.key, kind) != 0) continue;
      // About 200 MB of text in all, whatever the document's size.
      const std::string& text = document.text;
      for (size_t read = 0; read < 200000000 / text.size(); ++read) client.read(text);
      return 0;
    }
  }
  std::fprintf(stderr, "usage: --profile cadenzo|quillon|halvern [answer|list|numbers|strings]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<Document> documents = benchdocs::documents();
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--profile") return profile(documents, argc > 2 ? argv[2] : "", argc > 3 ? argv[3] : "list");
  if (!mode.empty() && mode != "--events" && mode != "--writing") {
    std::fprintf(stderr, "usage: %s [--events | --writing | --profile CLIENT [KIND]]\n", argv[0]);
    return 2;
  }
  std::printf(mode == "--writing" ? "Writing JSON trees back to text, interleaved in one process.\n"
                                  : "Reading JSON into a tree, interleaved in one process; tree = heap bytes the "
                                    "tree holds while it lives over the text's bytes.\n");
  for (const Document& document : documents) {
    const std::vector<Side> sides = mode == "--events"    ? eventSides(document)
                                    : mode == "--writing" ? writingSides(document)
                                                          : readingSides(document);
    benchrounds::compare(document.name, document.text.size(), sides);
  }
  return 0;
}
