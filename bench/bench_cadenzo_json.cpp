// Parse throughput of the Cadenzo JSON parser next to two DOM parsers, on a typical ad
// answer (about 2 KB) and on a document of about 1 MB. A plain timed program: each parser
// runs in rounds of at least 0.2 s; the best round counts. Prints MB/s and the ratios.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include "bench_json_documents.h"

#include "CZJsonParser.h"
#include "CZJsonStreamParser.h"

namespace {

using benchdocs::adAnswer;
using benchdocs::bestMBps;
using benchdocs::Lcg;

void run(const char* name, const std::string& text) {
  benchdocs::compareWithLibraries("cadenzo", name, text, [](const std::string& t) {
    cadenzo::CZJsonParser parser;
    return parser.objectWithString(t).has_value();
  });
}

}  // namespace

int main(int argc, char** argv) {
  Lcg rng;
  std::string small = adAnswer(rng, 1);
  std::string large = "{\"status\":200,\"ads\":[";
  for (int i = 0; large.size() < 1000000; ++i) {
    if (i) large += ",";
    large += adAnswer(rng, i);
  }
  large += "]}";
  if (argc > 1 && std::string(argv[1]) == "--profile") {
    // Only this parser, for a profiler.
    for (int i = 0; i < 200; ++i) cadenzo::CZJsonParser().objectWithString(large);
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "--events") {
    double mbps = bestMBps(large, [](const std::string& t) {
      cadenzo::CZJsonStreamParser parser;
      return parser.parse(t) == 0;
    });
    std::printf("events only: %.1f MB/s\n", mbps);
    return 0;
  }
  run("ad answer (~2 KB)", small);
  run("document (~1 MB)", large);
  return 0;
}
