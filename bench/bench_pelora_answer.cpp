// Reading Pelora ad answers into a banner, next to expat alone over the same bytes with
// handlers that only count what they see, and the platform's XML parser with a delegate that
// does nothing (what the client's own reading adds on top of it). Two answers: a typical
// image ad with its click target and three beacons (about 1 KB), and a rich-media ad whose
// markup brings it to about 1 MB. Interleaved rounds; prints medians with ranges and the
// ratios.
#include <cstdio>
#include <string>

#include "bench_interleaved.h"
#include "bench_xml_references.h"

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/pelora/src/PELOReceivedBannerParser.h"

namespace {

// What the ad host sends for an image ad (the sandbox server's layout), or with
// `markupLines` lines of rich-media markup in its mediadata (escaped, as the host sends it).
std::string answer(size_t markupLines) {
  const std::string host = "http://ads.example.net";
  const std::string session = "0d06e266224a67c664f162ddb902ca44";
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response>\n";
  xml += "    <sessionid>" + session + "</sessionid>\n    <status>SUCCESS</status>\n  <ad type=\"" +
         (markupLines ? "RICHMEDIA" : "IMG") + "\">\n";
  xml += "    <link>" + host + "/pelora/image/8c3e1f0a9b7d4e21.png?w=320&amp;h=50&amp;q=85</link>\n";
  xml += "    <adtext>Fly further with the turbo rocket - 50% off this weekend only!</adtext>\n";
  xml += "    <action target=\"" + host + "/pelora/click/8c3e1f0a9b7d4e21?pub=12&amp;adspace=34&amp;session=" + session +
         "\"/>\n";
  if (markupLines) {
    xml += "    <mediadata>";
    for (size_t i = 0; i < markupLines; ++i)
      xml += "&lt;div class=\"frame\" id=\"f" + std::to_string(i) + "\"&gt;&lt;a href=\"" + host +
             "/pelora/click/8c3e1f0a?pub=12&amp;amp;slot=" + std::to_string(i) + "\"&gt;&lt;img src=\"" + host +
             "/pelora/image/" + std::to_string(i) + ".png\" width=\"320\"/&gt;&lt;/a&gt;&lt;/div&gt;\n";
    xml += "</mediadata>\n";
  }
  xml += "    <beacons>\n";
  for (const char* id : {"impression", "viewable", "partner-7f3a"})
    xml += std::string("    <beacon>") + host + "/pelora/beacon/" + id + "?session=" + session + "&amp;t=1765065600</beacon>\n";
  xml += "    </beacons>\n  </ad>\n</response>\n";
  return xml;
}

bool compare(const char* name, const std::string& text) {
  const platform::Bytes bytes(text.begin(), text.end());
  pelora::PELOReceivedBannerParser parser;
  if (parser.parse(bytes)->status() != 0 || benchexpat::expatAlone(text) < 0) {
    std::fprintf(stderr, "%s did not read as a success\n", name);
    return false;
  }
  std::vector<benchrounds::Side> sides{{"pelora client", [&] { return static_cast<long>(parser.parse(bytes)->beacons().size()); }}};
  for (auto& side : benchexpat::references(text)) sides.push_back(std::move(side));
  benchrounds::compare(name, text.size(), sides);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string typical = answer(0);
  // A markup line is about 210 bytes: this many make about 1 MB.
  const std::string large = answer(5000);
  if (argc > 1 && std::string(argv[1]) == "--profile") {
    // Only the client on the large answer, for a profiler.
    const platform::Bytes bytes(large.begin(), large.end());
    for (int i = 0; i < 1000; ++i) pelora::PELOReceivedBannerParser().parse(bytes);
    return 0;
  }
  if (!compare("pelora answer", typical) || !compare("pelora answer, rich media", large)) return 1;
  return 0;
}
