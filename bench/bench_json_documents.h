#pragma once
// The documents the JSON benches read, made by one generator with one seed so that every
// parser is timed on the same bytes, and the timing loop they share: each parser runs in
// rounds of at least 0.2 s; the best round counts.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

namespace benchdocs {

struct Lcg {
  uint32_t s = 12345;
  uint32_t next() { return s = s * 1103515245u + 12345u, s >> 8; }
};

// One ad answer as the API sends it: ids, texts, URLs, prices, flags, a few nested lists.
inline std::string adAnswer(Lcg& rng, int index) {
  auto id = [&] {
    char buf[33];
    for (int i = 0; i < 32; ++i) buf[i] = "0123456789abcdef"[rng.next() % 16];
    buf[32] = 0;
    return std::string(buf);
  };
  std::string s = "{\"status\":200,\"message\":\"\",\"ad_id\":\"" + id() + "\",\"cgn\":\"" + id() +
                  "\",\"creative\":\"" + id() + "\",\"type\":\"native\",\"index\":" +
                  std::to_string(index) +
                  ",\"link\":\"https://apps.store.example/app/id" + std::to_string(rng.next()) +
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

inline double bestMBps(const std::string& text, const std::function<bool(const std::string&)>& parse) {
  using clock = std::chrono::steady_clock;
  if (!parse(text)) {
    std::fprintf(stderr, "parse failed\n");
    std::exit(1);
  }
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    long iterations = 0;
    auto start = clock::now();
    double elapsed = 0;
    do {
      parse(text);
      ++iterations;
      elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < 0.2);
    double mbps = static_cast<double>(text.size()) * iterations / elapsed / 1e6;
    if (mbps > best) best = mbps;
  }
  return best;
}

// The two DOM parsers every JSON bench compares against.
inline double nlohmannMBps(const std::string& text) {
  return bestMBps(text, [](const std::string& t) {
    auto j = nlohmann::json::parse(t, nullptr, false);
    return !j.is_discarded();
  });
}

inline double rapidjsonMBps(const std::string& text) {
  return bestMBps(text, [](const std::string& t) {
    rapidjson::Document d;
    d.Parse(t.c_str(), t.size());
    return !d.HasParseError();
  });
}

// Reads `text` with `parse` and with the two DOM parsers, prints one line comparing them and
// returns the client's rate.
inline double compareWithLibraries(const char* client, const char* name, const std::string& text,
                                   const std::function<bool(const std::string&)>& parse) {
  double ours = bestMBps(text, parse);
  double nlohmann = nlohmannMBps(text);
  double rapid = rapidjsonMBps(text);
  std::printf("%-22s %9zu bytes  %s %8.1f MB/s  nlohmann %8.1f MB/s  rapidjson %8.1f MB/s"
              "  vs nlohmann %5.2fx  vs rapidjson %5.2fx\n",
              name, text.size(), client, ours, nlohmann, rapid, ours / nlohmann, ours / rapid);
  return ours;
}

// About 1 MB: ad answers in one list, drawn from `rng` after whatever it gave before.
inline std::string largeDocument(Lcg& rng) {
  std::string large = "{\"status\":200,\"ads\":[";
  for (int i = 0; large.size() < 1000000; ++i) {
    if (i) large += ",";
    large += adAnswer(rng, i);
  }
  large += "]}";
  return large;
}

}  // namespace benchdocs
