// Reading a typical Pelora ad answer (an image ad with its click target and three beacons,
// about 1 KB) into a banner, next to expat alone over the same bytes with handlers that only
// count what they see. A plain timed program: each side runs in rounds of at least 0.2 s;
// the best of five rounds counts. Prints MB/s and the client's share of expat's rate.
#include <expat.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/pelora/src/PELOReceivedBannerParser.h"
#include "testing/pelora_server.h"

namespace {

std::string typicalAnswer() {
  testing::PeloraAd ad;
  const std::string host = "http://ads.example.net";
  ad.sessionId = "0d06e266224a67c664f162ddb902ca44";
  ad.imageUrl = host + "/pelora/image/8c3e1f0a9b7d4e21.png?w=320&h=50&q=85";
  ad.clickUrl = host + "/pelora/click/8c3e1f0a9b7d4e21?pub=12&adspace=34&session=0d06e266224a67c664f162ddb902ca44";
  ad.adText = "Fly further with the turbo rocket - 50% off this weekend only!";
  for (const char* id : {"impression", "viewable", "partner-7f3a"})
    ad.beacons.push_back(host + "/pelora/beacon/" + id + "?session=0d06e266224a67c664f162ddb902ca44&t=1765065600");
  return testing::PeloraServer::answerXML(ad);
}

struct Counts {
  long elements = 0, chars = 0;
};

void XMLCALL onStart(void* data, const XML_Char*, const XML_Char**) { ++static_cast<Counts*>(data)->elements; }
void XMLCALL onEnd(void*, const XML_Char*) {}
void XMLCALL onChars(void* data, const XML_Char*, int len) { static_cast<Counts*>(data)->chars += len; }

long expatAlone(const std::string& text) {
  Counts counts;
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetUserData(parser, &counts);
  XML_SetElementHandler(parser, onStart, onEnd);
  XML_SetCharacterDataHandler(parser, onChars);
  XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE);
  XML_ParserFree(parser);
  return counts.elements + counts.chars;
}

// Best MB/s over five rounds of at least 0.2 s each.
double rate(size_t bytes, const std::function<long()>& once) {
  using Clock = std::chrono::steady_clock;
  double best = 0;
  volatile long sink = 0;
  for (int round = 0; round < 5; ++round) {
    long runs = 0;
    const auto start = Clock::now();
    double seconds = 0;
    do {
      for (int i = 0; i < 100; ++i) sink = sink + once();
      runs += 100;
      seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 0.2);
    best = std::max(best, static_cast<double>(bytes) * runs / seconds / 1e6);
  }
  return best;
}

}  // namespace

int main() {
  const std::string answer = typicalAnswer();
  const platform::Bytes bytes(answer.begin(), answer.end());
  pelora::PELOReceivedBannerParser parser;
  if (parser.parse(bytes)->status() != 0) {
    std::fprintf(stderr, "the typical answer did not read as a success\n");
    return 1;
  }
  const double client = rate(bytes.size(), [&] { return static_cast<long>(parser.parse(bytes)->beacons().size()); });
  const double expat = rate(answer.size(), [&] { return expatAlone(answer); });
  std::printf("pelora answer (%zu bytes): client %.1f MB/s, expat alone %.1f MB/s, ratio %.2fx\n", answer.size(), client,
              expat, client / expat);
  return 0;
}
