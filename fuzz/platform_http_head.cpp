// An answer's head as a server may send it, line by line into the loader's head reader:
// status lines (1xx answers before the final one), folded fields, trailers after the head,
// then what the loaders read from it (length, media type, charset, a redirect's next hop).
// The first byte picks the size cap. Beyond not crashing: a status has at most three digits,
// a head never completes on a 1xx answer, and a complete head is not changed by trailers.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// The head reader is internal to the platform's loaders; the target reaches it by path.
#include "../platform/src/net/http_exchange.h"

namespace {

class Reader : public platform::net::HopReader {
 public:
  size_t heads = 0;

 protected:
  void onHead() override {
    ++heads;
    if (!headComplete() || (status() >= 100 && status() < 200)) std::abort();
  }
  void onBody(const char*, size_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Reader reader;
  if (data[0] & 1) reader.setMaximumContentLength(uint64_t(data[0]) << (data[0] % 40));
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  while (!text.empty()) {
    size_t end = text.find('\n');
    end = end == std::string_view::npos ? text.size() : end + 1;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end);
    const bool wasComplete = reader.headComplete();
    const size_t fieldsBefore = reader.headers().size();
    reader.headerLine(line);
    if (reader.status() < 0 || reader.status() > 999) std::abort();
    if (wasComplete && line.substr(0, 5) != "HTTP/" && reader.headers().size() != fieldsBefore) std::abort();
    if (reader.exceededCap()) break;
  }
  if (reader.isRedirect() && !reader.headers().contains("Location")) std::abort();

  const platform::HTTPURLResponse response("http://a.example/b/c", reader.status(), reader.headers());
  if (response.expectedContentLength() < -1) std::abort();
  (void)response.mimeType();
  (void)response.textEncodingName();
  if (reader.isRedirect()) {
    platform::URLRequest request("http://a.example/b/c");
    request.setHTTPMethod("POST");
    if (auto next = platform::net::redirectedRequest(request, response)) (void)next->url();
  }
  return 0;
}
