#include "OAHTTPResponseParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace analytics {
namespace {

// Records what the parser reports: "ok" / "ok-close" / "refused <code>" per answer, or
// "error <code>" where the bytes stop making sense.
class Recorder : public OAHTTPResponseParserDelegate {
 public:
  std::vector<std::string> events;
  std::function<void()> onParsed;
  void responseParsedPersistentConnection(bool persistent) override {
    events.push_back(persistent ? "ok" : "ok-close");
    if (onParsed) onParsed();
  }
  void responseRefusedStatusCode(int code) override { events.push_back("refused " + std::to_string(code)); }
  void parseErrorStatusCode(int code) override { events.push_back("error " + std::to_string(code)); }
};

void feed(OAHTTPResponseParser& parser, std::string_view bytes) {
  parser.parseResponse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> parseAll(const std::string& bytes) {
  Recorder r;
  OAHTTPResponseParser parser(&r);
  feed(parser, bytes);
  return r.events;
}

const std::string kGif(43, 'G');
const std::string kAnswer = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nContent-Length: 43\r\n\r\n" + kGif;

TEST(OAHTTPResponseParserTest, AnswersAndTheirStatus) {
  struct Case { const char* name; std::string bytes; std::vector<std::string> expected; };
  const Case cases[] = {
      {"one answer", kAnswer, {"ok"}},
      {"three pipelined answers", kAnswer + kAnswer + kAnswer, {"ok", "ok", "ok"}},
      {"no body", "HTTP/1.1 200 OK\r\n\r\n", {"ok"}},
      {"incomplete body", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcd", {}},
      {"HTTP/1.0", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", {"ok-close"}},
      {"Connection: close", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", {"ok-close"}},
      {"blanks before close", "HTTP/1.1 200 OK\r\nConnection: \t  close\r\n\r\n", {"ok-close"}},
      {"names are case-sensitive", "HTTP/1.1 200 OK\r\nconnection: close\r\n\r\n", {"ok"}},
      {"keep-alive", "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\n\r\n", {"ok"}},
      {"not persistent for good", "HTTP/1.0 200 OK\r\n\r\n" + kAnswer, {"ok-close", "ok-close"}},
      {"length read as a number", "HTTP/1.1 200 OK\r\nContent-Length:  2xyz\r\n\r\nab", {"ok"}},
      {"no reason phrase", "HTTP/1.1 200\r\n\r\n", {"refused 500"}},
      {"one word", "garbage\r\n" + kAnswer, {"error 500"}},
      {"refused", "HTTP/1.1 503 Service Unavailable\r\n\r\n", {"refused 503"}},
      {"empty reason", "HTTP/1.1 404 \r\n\r\n", {"refused 404"}},
      {"answers after a refusal", "HTTP/1.1 500 Oops\r\nContent-Length: 3\r\n\r\nabc" + kAnswer, {"refused 500", "ok"}},
      {"refusal after answers", kAnswer + "HTTP/1.1 400 Bad\r\n\r\n", {"ok", "refused 400"}},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab\r\nc\r\n1A;x=y\r\n" +
           std::string(26, 'z') + "\r\n0\r\nX-T: 1\r\n\r\n" + kAnswer, {"ok", "ok"}},
      {"chunked refusal", "HTTP/1.1 404 No\r\ntransfer-encoding: gzip, Chunked\r\n\r\n2\r\nno\r\n0\r\n\r\n" + kAnswer,
       {"refused 404", "ok"}},
      {"chunked overrides length", "HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       {"ok"}},
      {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", {"error 500"}},
      {"chunk without its line end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n", {"error 500"}},
      {"incomplete chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nab", {}},
      {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", {"error 500"}},
      {"bare line feeds are not line ends", "HTTP/1.1 200 OK\n\n", {}},
      {"over-long header", "HTTP/1.1 200 OK\r\nX: " + std::string(9000, 'a'), {"error 500"}},
  };
  for (const auto& c : cases) EXPECT_EQ(parseAll(c.bytes), c.expected) << c.name;
}

TEST(OAHTTPResponseParserTest, SplitAtAnyByte) {
  const std::string bytes = kAnswer + "HTTP/1.1 500 E\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n" +
                            "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody";
  const std::vector<std::string> expected = {"ok", "refused 500", "ok-close"};
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    Recorder r;
    OAHTTPResponseParser parser(&r);
    feed(parser, std::string_view(bytes).substr(0, cut));
    feed(parser, std::string_view(bytes).substr(cut));
    EXPECT_EQ(r.events, expected) << "cut at " << cut;
  }
  Recorder r;
  OAHTTPResponseParser parser(&r);
  for (char c : bytes) feed(parser, std::string_view(&c, 1));
  EXPECT_EQ(r.events, expected);
}

// reset() forgets a partial answer and resumes after an error. A delegate that starts the next
// batch inside the callback must not have the bytes that follow in the same read taken for
// answers of the new batch; those are read from the next bytes on.
TEST(OAHTTPResponseParserTest, Reset) {
  Recorder r;
  OAHTTPResponseParser parser(&r);
  feed(parser, "junk\r\n");
  feed(parser, kAnswer);
  EXPECT_EQ(r.events, (std::vector<std::string>{"error 500"}));
  parser.reset();
  feed(parser, std::string_view(kAnswer).substr(0, 20));
  parser.reset();
  feed(parser, kAnswer);
  EXPECT_EQ(r.events, (std::vector<std::string>{"error 500", "ok"}));
  r.onParsed = [&] { if (r.events.size() == 4) parser.reset(); };
  feed(parser, kAnswer + kAnswer + kAnswer);
  EXPECT_EQ(r.events, (std::vector<std::string>{"error 500", "ok", "ok", "ok"}));
  feed(parser, kAnswer);
  EXPECT_EQ(r.events, (std::vector<std::string>{"error 500", "ok", "ok", "ok", "ok"}));
}

}  // namespace
}  // namespace analytics
