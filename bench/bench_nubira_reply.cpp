// Reading Nubira ad replies into an ad unit, next to expat alone over the same bytes with
// handlers that only count what they see, and the platform's XML parser with a delegate that
// does nothing (what the client's own reading adds on top of it). Three replies: the banner
// the ad server sends (about 230 bytes), a rich-media ad whose markup brings it to about 1 MB,
// and a reply of about 1 MB listing that banner's Ad over and over. Interleaved rounds;
// prints medians with ranges and the ratios.
#include <cstdio>
#include <string>

#include "bench_interleaved.h"
#include "bench_xml_references.h"

// The reader is internal to the client; the bench reaches it by path.
#include "../sdk/nubira/src/NBAdXMLParser.h"

namespace {

const std::string kBannerAd =
    "<Ad type=\"banner\" actiontype=\"2\" width=\"300\" height=\"250\">"
    "<AdURL>http://127.0.0.1/nbclick/banner?a=1&amp;b=2</AdURL>"
    "<TitleText>Title</TitleText><![CDATA[<img src=\"b.png\">]]></Ad>";

std::string reply(size_t ads) {
  std::string xml = "<?xml version=\"1.0\"?>\n<Response>";
  for (size_t i = 0; i < ads; ++i) xml += kBannerAd;
  return xml + "</Response>\n";
}

// A rich-media ad whose markup, `lines` lines in a CDATA section, makes the reply large.
std::string richMediaReply(size_t lines) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Response>\n"
      "<Ad type=\"rm\" actionType=\"1\" width=\"320\" height=\"50\"><![CDATA[";
  for (size_t i = 0; i < lines; ++i)
    xml += "<div class=\"nb_frame\" id=\"f" + std::to_string(i) +
           "\"><a href=\"http://127.0.0.1/nbclick/rm?a=1&b=" + std::to_string(i) +
           "\"><img src=\"http://127.0.0.1/nbimg/" + std::to_string(i) + ".png\" width=\"320\"></a></div>\n";
  return xml + "]]></Ad>\n</Response>\n";
}

bool compare(const char* name, const std::string& text) {
  const platform::Bytes bytes(text.begin(), text.end());
  nubira::NBAdXMLParser parser;
  if (!parser.buildAdUnitFromResponseData(bytes) || benchexpat::expatAlone(text) < 0) {
    std::fprintf(stderr, "%s did not read as an ad\n", name);
    return false;
  }
  std::vector<benchrounds::Side> sides{{"nubira client", [&] { return static_cast<long>(parser.buildAdUnitFromResponseData(bytes)->width); }}};
  for (auto& side : benchexpat::references(text)) sides.push_back(std::move(side));
  benchrounds::compare(name, text.size(), sides);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A markup line is about 140 bytes: this many make about 1 MB.
  const std::string large = richMediaReply(7500);
  if (argc > 1 && std::string(argv[1]) == "--profile") {
    // Only the client on the banner reply, for a profiler.
    const std::string banner = reply(1);
    const platform::Bytes bytes(banner.begin(), banner.end());
    for (int i = 0; i < 500000; ++i) nubira::NBAdXMLParser().buildAdUnitFromResponseData(bytes);
    return 0;
  }
  // The same size in Ads of the usual kind shows the cost of each element and attribute.
  if (!compare("nubira reply", reply(1)) || !compare("nubira reply, rich media", large) ||
      !compare("nubira reply, many ads", reply(5200)))
    return 1;
  return 0;
}
