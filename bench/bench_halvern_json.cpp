// Parse throughput of HVJSONParser next to two DOM parsers, on the documents the Cadenzo and
// Quillon parser benches read (a typical ad answer of about 2 KB and a document of about
// 1 MB, from the shared generator). Prints MB/s and the ratios, then the writer's speed.
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include "bench_json_documents.h"

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/halvern/src/util/HVJSON.h"
#include "../sdk/halvern/src/util/HVJSONParser.h"

namespace {

using benchdocs::bestMBps;

void run(const char* name, const std::string& text) {
  halvern::HVJSONParser parser;  // reused, as a worker reuses its stacks from parse to parse
  double ours = bestMBps(text, [&parser](const std::string& t) {
    parser.setMaxDepth(halvern::HVJSON::kServerMaxDepth);
    return parser.objectWithStringAllowScalar(t, true).has_value();
  });
  double fresh = bestMBps(text, [](const std::string& t) { return halvern::HVJSON::objectWithString(t).has_value(); });
  double nlohmannMBps = benchdocs::nlohmannMBps(text);
  double rapid = benchdocs::rapidjsonMBps(text);
  std::printf("%-22s %9zu bytes  halvern %8.1f MB/s (fresh parser %8.1f)  nlohmann %8.1f MB/s  rapidjson %8.1f MB/s"
              "  vs nlohmann %5.2fx  vs rapidjson %5.2fx\n",
              name, text.size(), ours, fresh, nlohmannMBps, rapid, ours / nlohmannMBps, ours / rapid);

  platform::Value value = *halvern::HVJSON::objectWithString(text);
  double writing = bestMBps(text, [&value](const std::string&) { return !halvern::HVJSON::stringWithObject(value).empty(); });
  std::printf("%-22s writing %8.1f MB/s of the same text\n", name, writing);
}

}  // namespace

int main(int argc, char** argv) {
  benchdocs::Lcg rng;
  std::string small = benchdocs::adAnswer(rng, 1);
  std::string large = benchdocs::largeDocument(rng);
  if (argc > 1 && std::string(argv[1]) == "--profile") {
    // Only this parser, for a profiler.
    for (int i = 0; i < 200; ++i) halvern::HVJSON::objectWithString(large);
    return 0;
  }
  run("ad answer (~2 KB)", small);
  run("document (~1 MB)", large);
  return 0;
}
