// Escaped text put into a real page: whatever the text holds, the page reads back exactly
// that text and none of it runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/text_quoting.h"
#include "platform/web_view.h"
#include "testing/sandbox_test.h"

namespace {

using namespace std::string_literals;
using platform::WebView;

struct FinishFlag : platform::WebViewDelegate {
  bool ended = false;
  void webViewDidFinishLoad(const std::shared_ptr<WebView>&) override { ended = true; }
  void webViewDidFailLoadWithError(const std::shared_ptr<WebView>&, const platform::Error&) override { ended = true; }
};

class TextQuotingPageTest : public testkit::SandboxTest {};

TEST_F(TextQuotingPageTest, HostileTextStaysDataInScriptsTitlesAndAttributes) {
  struct Row {
    std::string text, readBack;
  };
  const Row rows[] = {
      {"\"; injected = 1; //", "\"; injected = 1; //"},
      {"'; injected = 1; //", "'; injected = 1; //"},
      {"\\\"; injected = 1; //\\", "\\\"; injected = 1; //\\"},
      {"</script><script>injected = 1</script>", "</script><script>injected = 1</script>"},
      {"</SCRIPT ><script>injected = 1;</script >", "</SCRIPT ><script>injected = 1;</script >"},
      {"<!--<script>injected = 1</script>-->", "<!--<script>injected = 1</script>-->"},
      {"\xE2\x80\xA8injected = 1;//\xE2\x80\xA9", "\xE2\x80\xA8injected = 1;//\xE2\x80\xA9"},
      {"line\none\r\ttwo\x01\x1F\x7F\xC2\x85", "line\none\r\ttwo\x01\x1F\x7F\xC2\x85"},
      {"\" onclick=\"injected=1\" x=\"", "\" onclick=\"injected=1\" x=\""},
      {"' onclick='injected=1' x='", "' onclick='injected=1' x='"},
      {"</title><script>injected = 1</script>", "</title><script>injected = 1</script>"},
      {"&quot;&amp;&lt;&#39;", "&quot;&amp;&lt;&#39;"},
      {"bad \xFF\xE2\x80 end", "bad \xEF\xBF\xBD\xEF\xBF\xBD end"},
  };
  auto delegate = std::make_shared<FinishFlag>();
  for (const auto& r : rows) {
    const std::string body = platform::escapeScriptString(r.text);
    const std::string html = platform::escapeHTML(r.text);
    const std::string json = "{\"v\": " + platform::quoteScriptString(r.text) + "}";
    const std::string page =
        "<html><head><script>var dq = \"" + body + "\"; var sq = '" + body + "'; var lit = " +
        platform::quoteScriptString(r.text) + "; var parsed = JSON.parse('" + platform::escapeScriptString(json) +
        "').v; var obj = " + platform::scriptSafeJSON(json) + ";</script><title>" + html +
        "</title></head><body><div id=\"d\" data-a=\"" + html + "\" data-b='" + html + "'></div></body></html>";
    auto view = WebView::create();
    view->setDelegate(delegate);
    delegate->ended = false;
    view->loadHTMLStringBaseURL(page, std::nullopt);
    ASSERT_TRUE(runUntil([&] { return delegate->ended; })) << r.text;
    auto eval = [&](const std::string& js) { return view->stringByEvaluatingJavaScriptFromString(js); };
    for (const char* read : {"dq", "sq", "lit", "parsed", "obj.v", "document.title",
                             "document.getElementById('d').getAttribute('data-a')",
                             "document.getElementById('d').getAttribute('data-b')"}) {
      EXPECT_EQ(eval(read), r.readBack) << read << " of " << page;
    }
    EXPECT_EQ(eval("typeof injected"), "undefined") << page;
    EXPECT_EQ(eval("document.getElementsByTagName('script').length"), "1") << page;
    EXPECT_EQ(eval("document.getElementById('d').getAttribute('onclick')"), "") << page;
    EXPECT_TRUE(view->alertsForTesting().empty());
  }
}

}  // namespace
