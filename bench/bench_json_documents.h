#pragma once
// The documents the JSON benches read, made by one generator with one seed so that every
// parser is timed on the same bytes: an ad answer, a list of them, and two documents of the
// same size that stress a tree in other ways (many small values; long texts).
#include <cstdint>
#include <string>
#include <vector>

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

// About 1 MB of numbers and small containers, as level data or a batch of counters come:
// every value a small node of its own.
inline std::string mixedDocument(Lcg& rng) {
  auto integer = [&](uint32_t below) { return std::to_string(rng.next() % below); };
  auto decimal = [&] { return integer(10000) + "." + integer(1000); };
  auto exponent = [&] { return integer(10) + "." + integer(100) + (rng.next() % 2 ? "e-" : "E+") + integer(20); };
  std::string s = "{\"status\":200,\"rows\":[";
  for (int i = 0; s.size() < 1000000; ++i) {
    if (i) s += ",";
    s += "{\"id\":" + std::to_string(i) + ",\"x\":" + integer(1000000) + ",\"y\":-" + integer(100000) +
         ",\"v\":" + decimal() + ",\"e\":" + exponent() + ",\"on\":" + (rng.next() % 2 ? "true" : "false") +
         ",\"tag\":null,\"p\":[" + integer(100) + "," + integer(100) + "," + integer(100) + "],\"r\":{\"w\":" +
         integer(2048) + ",\"h\":" + integer(2048) + ",\"s\":" + decimal() + "},\"q\":[[" + integer(10) + "," +
         integer(10) + "],[" + integer(10) + "," + integer(10) + "],[]],\"k\":[" + decimal() + ",-" + decimal() +
         ",{}]}";
  }
  return s + "]}";
}

// About 1 MB mostly of strings: ids, titles, and descriptions of some hundreds of bytes in
// several languages, with escapes (quotes, new lines, escaped code points) and plain UTF-8.
inline std::string stringDocument(Lcg& rng) {
  // Plain words, raw UTF-8, and words that carry JSON escapes.
  static const char* const words[] = {
      "tap", "to", "play", "the", "rocket", "bird", "levels", "coins", "free", "weekend", "offer", "install",
      "now", "reward", "daily", "puzzle", "adventure", "collect", "stars", "and", "unlock",
      "f\u00eate", "sp\u00e9ciale", "pi\u00e8ces", "M\u00fcnzen", "caf\u00e9", "\u00a1ahora!",
      "\u4eca\u3059\u3050", "\u30b2\u30fc\u30e0",
      "\\\"best\\\"", "line\\nbreak", "tab\\there", "path\\/to", "\\u00e9t\\u00e9", "\\u2013", "\\ud83d\\ude80"};
  auto text = [&](size_t bytes) {
    std::string out;
    while (out.size() < bytes) {
      if (!out.empty()) out += ' ';
      out += words[rng.next() % (sizeof words / sizeof *words)];
    }
    return out;
  };
  auto id = [&] {
    std::string out;
    for (int i = 0; i < 24; ++i) out += "0123456789abcdef"[rng.next() % 16];
    return out;
  };
  std::string s = "{\"status\":200,\"texts\":[";
  for (int i = 0; s.size() < 1000000; ++i) {
    if (i) s += ",";
    s += "{\"id\":\"" + id() + "\",\"lang\":\"" + (rng.next() % 2 ? "en" : "fr") + "\",\"title\":\"" +
         text(10 + rng.next() % 40) + "\",\"body\":\"" + text(100 + rng.next() % 700) + "\",\"tags\":[\"" +
         text(4) + "\",\"" + text(12) + "\",\"" + text(30) + "\"],\"url\":\"https://cdn.example/" + id() +
         "/" + id() + ".html\"}";
  }
  return s + "]}";
}

struct Document {
  const char* key;  // a word to choose it by
  const char* name;
  std::string text;
};

// The four documents the JSON benches compare on, in the order they print.
inline std::vector<Document> documents() {
  Lcg rng;
  std::vector<Document> all;
  all.push_back({"answer", "ad answer", adAnswer(rng, 1)});
  all.push_back({"list", "ad list", largeDocument(rng)});
  all.push_back({"numbers", "numbers and small containers", mixedDocument(rng)});
  all.push_back({"strings", "string-heavy", stringDocument(rng)});
  return all;
}

}  // namespace benchdocs
