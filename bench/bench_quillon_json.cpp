// Parse throughput of QLJSON next to two DOM parsers, on the documents of the Cadenzo parser
// bench: a typical ad answer (about 2 KB) and a document of about 1 MB, made by the same
// generator with the same seed. A plain timed program: each parser runs in rounds of at least
// 0.2 s, the parsers taking turns; the best round counts. Prints MB/s and the ratios, then QLJSON's writing speed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/quillon/src/QLJSON.h"

namespace {

// The Cadenzo bench's generator, kept identical so that both benches read the same bytes.
struct Lcg {
  uint32_t s = 12345;
  uint32_t next() { return s = s * 1103515245u + 12345u, s >> 8; }
};

// One ad answer as the API sends it: ids, texts, URLs, prices, flags, a few nested lists.
std::string adAnswer(Lcg& rng, int index) {
  auto id = [&] {
    char buf[33];
    for (int i = 0; i < 32; ++i) buf[i] = "0123456789abcdef"[rng.next() % 16];
    buf[32] = 0;
    return std::string(buf);
  };
  std::string s = "{\"status\":200,\"message\":\"\",\"ad_id\":\"" + id() + "\",\"cgn\":\"" + id() +
                  "\",\"creative\":\"" + id() + "\",\"type\":\"native\",\"index\":" +
                  std::to_string(index) +
                  ",\"link\":\"https://itunes.apple.example/app/id" + std::to_string(rng.next()) +
                  "?mt=8&ls=1\",\"deep-link\":\"game" + std::to_string(index) +
                  "://open?source=cadenzo\",\"to\":\"store\",\"cache\":true,\"animation\":2,"
                  "\"reward\":" + std::to_string(rng.next() % 100) + "." +
                  std::to_string(rng.next() % 100) +
                  ",\"price\":-0.99,\"rating\":4.5e0,\"frame\":{\"x\":0,\"y\":0,\"w\":320,\"h\":480},"
                  "\"name\":\"Sky Rocket Bird \\u2013 Flight " + std::to_string(index) +
                  "\",\"description\":\"Tilt to fly, collect fuel, reach the stars! "
                  "Ne manquez pas la f\\u00eate \\\"sp\\u00e9ciale\\\".\\nNow with 40 levels.\","
                  "\"assets\":{\"frame-portrait\":{\"url\":\"https://a.cadenzo.example/" + id() +
                  ".png\",\"checksum\":\"" + id() + "\",\"scale\":2},\"close\":{\"url\":"
                  "\"https://a.cadenzo.example/" + id() + ".png\",\"scale\":2},\"ad-portrait\":{"
                  "\"url\":\"https://a.cadenzo.example/" + id() + ".jpg\",\"checksum\":\"" + id() +
                  "\",\"scale\":1}},\"events\":[\"impression\",\"click\",\"close\",\"install\"],"
                  "\"weights\":[1,2,3,5,8,13,21,34,55,89],\"ttl\":86400,\"expires\":null,"
                  "\"more\":{\"rewarded\":false,\"countdown\":15,\"tracking\":[\"https://t.cadenzo."
                  "example/i?id=" + id() + "\",\"https://t.cadenzo.example/c?id=" + id() + "\"]},"
                  "\"texts\":{\"en\":\"Install now and get 500 free coins!\",\"fr\":\"Installez "
                  "maintenant et recevez 500 pi\u00e8ces gratuites !\",\"de\":\"Jetzt installieren "
                  "und 500 Gratism\u00fcnzen erhalten!\",\"es\":\"\u00a1Inst\u00e1lalo ahora y "
                  "consigue 500 monedas gratis!\",\"ja\":\"\u4eca\u3059\u3050\u30a4\u30f3"
                  "\u30b9\u30c8\u30fc\u30eb\"},\"sizes\":[[320,480],[480,320],[640,960],[960,640],"
                  "[768,1024],[1024,768]],\"ratio\":0.6666666666666666,\"version\":\"3.0.6\","
                  "\"legal\":\"Offer valid for new installs only. Coins are credited after the "
                  "first launch and cannot be exchanged for cash. The publisher may end this offer at "
                  "any time. Terms: https://legal.cadenzo.example/terms?campaign=" + id() +
                  "&placement=" + id() + "\"}";
  return s;
}

// MB/s of one round of at least 0.2 s.
double roundMBps(const std::string& text, const std::function<bool(const std::string&)>& parse) {
  using clock = std::chrono::steady_clock;
  long iterations = 0;
  auto start = clock::now();
  double elapsed = 0;
  do {
    parse(text);
    ++iterations;
    elapsed = std::chrono::duration<double>(clock::now() - start).count();
  } while (elapsed < 0.2);
  return static_cast<double>(text.size()) * iterations / elapsed / 1e6;
}

void checkParses(const std::string& text, const std::function<bool(const std::string&)>& parse) {
  if (!parse(text)) {
    std::fprintf(stderr, "parse failed\n");
    std::exit(1);
  }
}

// The best of five rounds per parser. Rounds alternate between the parsers, so that a busy
// machine slows all of them alike.
std::vector<double> bestMBps(const std::string& text,
                             const std::vector<std::function<bool(const std::string&)>>& parsers) {
  for (const auto& parse : parsers) checkParses(text, parse);
  std::vector<double> best(parsers.size(), 0.0);
  for (int round = 0; round < 5; ++round)
    for (size_t i = 0; i < parsers.size(); ++i) best[i] = std::max(best[i], roundMBps(text, parsers[i]));
  return best;
}

void run(const char* name, const std::string& text) {
  std::vector<double> rates = bestMBps(text, {[](const std::string& t) {
                                                quillon::QLJSON json;
                                                return json.objectWithStringError(t).has_value();
                                              },
                                              [](const std::string& t) {
                                                auto j = nlohmann::json::parse(t, nullptr, false);
                                                return !j.is_discarded();
                                              },
                                              [](const std::string& t) {
                                                rapidjson::Document d;
                                                d.Parse(t.c_str(), t.size());
                                                return !d.HasParseError();
                                              }});
  double ours = rates[0], nlohmannMBps = rates[1], rapid = rates[2];
  std::printf("%-22s %9zu bytes  quillon %8.1f MB/s  nlohmann %8.1f MB/s  rapidjson %8.1f MB/s"
              "  vs nlohmann %5.2fx  vs rapidjson %5.2fx\n",
              name, text.size(), ours, nlohmannMBps, rapid, ours / nlohmannMBps, ours / rapid);

  quillon::QLJSON reader;
  platform::Value value = *reader.objectWithStringError(text);
  double writing = bestMBps(text, {[&value](const std::string&) {
                              quillon::QLJSON json;
                              return json.stringWithObjectError(value).has_value();
                            }})[0];
  std::printf("%-22s writing %8.1f MB/s of the same text\n", name, writing);
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
    for (int i = 0; i < 200; ++i) quillon::QLJSON().objectWithStringError(large);
    return 0;
  }
  run("ad answer (~2 KB)", small);
  run("document (~1 MB)", large);
  return 0;
}
