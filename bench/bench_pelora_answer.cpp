// Reading a typical Pelora ad answer (an image ad with its click target and three beacons,
// about 1 KB) into a banner, next to expat alone over the same bytes with handlers that only
// count what they see, and the platform's XML parser with a delegate that does nothing.
// A plain timed program: each side runs in rounds of at least 0.2 s, the sides taking
// turns; the best of seven rounds counts. Prints MB/s and the shares of expat's rate.
#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/pelora/src/PELOReceivedBannerParser.h"

namespace {

// What the ad host sends for an image ad (the sandbox server's layout).
std::string typicalAnswer() {
  const std::string host = "http://ads.example.net";
  const std::string session = "0d06e266224a67c664f162ddb902ca44";
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response>\n";
  xml += "    <sessionid>" + session + "</sessionid>\n    <status>SUCCESS</status>\n  <ad type=\"IMG\">\n";
  xml += "    <link>" + host + "/pelora/image/8c3e1f0a9b7d4e21.png?w=320&amp;h=50&amp;q=85</link>\n";
  xml += "    <adtext>Fly further with the turbo rocket - 50% off this weekend only!</adtext>\n";
  xml += "    <action target=\"" + host + "/pelora/click/8c3e1f0a9b7d4e21?pub=12&amp;adspace=34&amp;session=" + session +
         "\"/>\n    <beacons>\n";
  for (const char* id : {"impression", "viewable", "partner-7f3a"})
    xml += std::string("    <beacon>") + host + "/pelora/beacon/" + id + "?session=" + session + "&amp;t=1765065600</beacon>\n";
  xml += "    </beacons>\n  </ad>\n</response>\n";
  return xml;
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

// MB/s of one round of at least 0.2 s.
double round(size_t bytes, const std::function<long()>& once) {
  using Clock = std::chrono::steady_clock;
  volatile long sink = 0;
  long runs = 0;
  const auto start = Clock::now();
  double seconds = 0;
  do {
    for (int i = 0; i < 100; ++i) sink = sink + once();
    runs += 100;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < 0.2);
  return static_cast<double>(bytes) * runs / seconds / 1e6;
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
  // Rounds alternate between the two sides, so that a busy machine slows both alike.
  // The platform's parser with a delegate that does nothing shows what the client's own
  // reading adds on top of it.
  auto idle = std::make_shared<platform::XMLParserDelegate>();
  double client = 0, expat = 0, platformOnly = 0;
  for (int r = 0; r < 7; ++r) {
    client = std::max(client, round(bytes.size(), [&] { return static_cast<long>(parser.parse(bytes)->beacons().size()); }));
    expat = std::max(expat, round(answer.size(), [&] { return expatAlone(answer); }));
    platformOnly = std::max(platformOnly, round(bytes.size(), [&] {
      platform::XMLParser xml(bytes);
      xml.setDelegate(idle);
      return static_cast<long>(xml.parse());
    }));
  }
  std::printf("pelora answer (%zu bytes): client %.1f MB/s, expat alone %.1f MB/s, ratio %.2fx\n", answer.size(), client,
              expat, client / expat);
  std::printf("  platform XML parser with an idle delegate: %.1f MB/s (%.2fx expat)\n", platformOnly, platformOnly / expat);
  return 0;
}
