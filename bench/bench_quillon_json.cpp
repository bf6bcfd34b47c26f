// Parse throughput of QLJSON next to two DOM parsers, on the documents of the Cadenzo parser
// bench: a typical ad answer (about 2 KB) and a document of about 1 MB, made by the same
// generator with the same seed. A plain timed program: each parser runs in rounds of at least
// 0.2 s; the best round counts. Prints MB/s and the ratios, then QLJSON's writing speed.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include "bench_json_documents.h"

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/quillon/src/util/QLJSON.h"

namespace {

using benchdocs::adAnswer;
using benchdocs::bestMBps;
using benchdocs::Lcg;

void run(const char* name, const std::string& text) {
  benchdocs::compareWithLibraries("quillon", name, text, [](const std::string& t) {
    quillon::QLJSON json;
    return json.objectWithStringError(t).has_value();
  });

  quillon::QLJSON reader;
  platform::Value value = *reader.objectWithStringError(text);
  double writing = bestMBps(text, [&value](const std::string&) {
    quillon::QLJSON json;
    return json.stringWithObjectError(value).has_value();
  });
  std::printf("%-22s writing %8.1f MB/s of the same text\n", name, writing);
}

}  // namespace

int main(int argc, char** argv) {
  Lcg rng;
  std::string small = adAnswer(rng, 1);
  std::string large = benchdocs::largeDocument(rng);
  if (argc > 1 && std::string(argv[1]) == "--profile") {
    // Only this parser, for a profiler.
    for (int i = 0; i < 200; ++i) quillon::QLJSON().objectWithStringError(large);
    return 0;
  }
  run("ad answer (~2 KB)", small);
  run("document (~1 MB)", large);
  return 0;
}
