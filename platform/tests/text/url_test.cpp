#include "platform/url.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace platform {
namespace {

using S = std::optional<std::string>;

TEST(URLTest, ParsesComponents) {
  struct Case {
    const char* text;
    S scheme, user, password, host;
    std::optional<int> port;
    std::string path;
    S query, fragment;
  };
  const Case cases[] = {
      {"http://user:pw@Example.com:8080/a/b%20c/?q=1&r=2#frag", "http", "user", "pw", "Example.com",
       8080, "/a/b c", "q=1&r=2", "frag"},
      {"https://[::1]:443/", "https", {}, {}, "::1", 443, "/", {}, {}},
      {"http://h", "http", {}, {}, "h", {}, "", {}, {}},
      {"http://h:/p", "http", {}, {}, "h", {}, "/p", {}, {}},
      {"http://h?#", "http", {}, {}, "h", {}, "", "", ""},
      {"http://a%40b@h/", "http", "a@b", {}, "h", {}, "/", {}, {}},
      {"file:///tmp/a%20b.txt", "file", {}, {}, "", {}, "/tmp/a b.txt", {}, {}},
      {"file:///a%20b//HV//Content//", "file", {}, {}, "", {}, "/a b//HV//Content/", {}, {}},
      {"mailto:someone@example.com?subject=hi", "mailto", {}, {}, {}, {}, "someone@example.com",
       "subject=hi", {}},
      {"game://link/http%3A%2F%2Fx.com%2F", "game", {}, {}, "link", {}, "/http://x.com", {}, {}},
      {"qmsg://any/open?a=1", "qmsg", {}, {}, "any", {}, "/open", "a=1", {}},
      {"relative/path?x#y#z", {}, {}, {}, {}, {}, "relative/path", "x", "y#z"},
      {"1a:b", {}, {}, {}, {}, {}, "1a:b", {}, {}},
      {"//host:21/x", {}, {}, {}, "host", 21, "/x", {}, {}},
      {"x-y+z.w:opaque", "x-y+z.w", {}, {}, {}, {}, "opaque", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto url = URL::create(c.text);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->absoluteString(), c.text);
    EXPECT_EQ(url->scheme(), c.scheme);
    EXPECT_EQ(url->user(), c.user);
    EXPECT_EQ(url->password(), c.password);
    EXPECT_EQ(url->host(), c.host);
    EXPECT_EQ(url->port(), c.port);
    EXPECT_EQ(url->path(), c.path);
    EXPECT_EQ(url->query(), c.query);
    EXPECT_EQ(url->fragment(), c.fragment);
  }
}

TEST(URLTest, RefusesTextThePlatformRefuses) {
  const char* refused[] = {
      "",                 "http://a b/",        "http://x/\"",       "http://x/<p>",
      "http://x/{}",      "http://x/a|b",       "http://x/a\\b",     "http://x/^",
      "http://x/`",       "http://x/\xC3\xA9",  "http://x/\t",       "http://x/\x7F",
      "http://x/%",       "http://x/%4",        "http://x/%zz",      "http://x/%4g",
      "http://x:80a/",    "http://x:99999/",    "http://x:123456/",  "http://[::1/",
      "http://[::1]x/",   "http://x]/",         "http://[.[..1]/",   "http://[v1.x]/",
      "http://[12]/",         "http://x/\n",       " http://x/",
  };
  for (const char* text : refused) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(URL::create(text).has_value());
  }
}

TEST(URLTest, PathHelpersAndFileURLs) {
  auto url = URL::create("http://h/dir/name.tar.gz/");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->lastPathComponent(), "name.tar.gz");
  EXPECT_EQ(url->pathExtension(), "gz");
  EXPECT_EQ(url->resourceSpecifier(), "//h/dir/name.tar.gz/");
  EXPECT_FALSE(url->isFileURL());
  EXPECT_EQ(URL::create("http://h/")->lastPathComponent(), "/");
  EXPECT_EQ(URL::create("http://h/.profile")->pathExtension(), "");
  EXPECT_TRUE(URL::create("FILE:///x")->isFileURL());

  URL file = URL::fileURLWithPath("/tmp/a b#c?%.txt", false);
  EXPECT_EQ(file.absoluteString(), "file:///tmp/a%20b%23c%3F%25.txt");
  EXPECT_EQ(file.path(), "/tmp/a b#c?%.txt");
  EXPECT_TRUE(file.isFileURL());
  EXPECT_EQ(URL::fileURLWithPath("/tmp/d", true).absoluteString(), "file:///tmp/d/");
  EXPECT_EQ(URL::fileURLWithPath("/caf\xC3\xA9", false).absoluteString(), "file:///caf%C3%A9");

  // The one-argument form looks at the disk.
  auto dir = std::filesystem::path(::testing::TempDir()) / "url_test_dir";
  std::filesystem::create_directories(dir);
  EXPECT_EQ(URL::fileURLWithPath(dir.string()).absoluteString().back(), '/');
  EXPECT_NE(URL::fileURLWithPath((dir / "missing").string()).absoluteString().back(), '/');
}

TEST(URLTest, BuildsFromParts) {
  URL::Parts parts;
  parts.scheme = "http";
  parts.host = "h";
  parts.port = 8080;
  parts.path = "/p";
  parts.query = "a=b";
  parts.fragment = "f";
  auto url = URL::fromParts(parts);
  ASSERT_TRUE(url);
  EXPECT_EQ(url->absoluteString(), "http://h:8080/p?a=b#f");

  parts.user = "u";
  parts.password = "p";
  parts.host = "::1";
  parts.fragment.reset();
  EXPECT_EQ(URL::fromParts(parts)->absoluteString(), "http://u:p@[::1]:8080/p?a=b");

  URL::Parts badPath = parts;
  badPath.path = "/a?b";  // would turn into a query
  EXPECT_FALSE(URL::fromParts(badPath));
  URL::Parts noHost;
  noHost.scheme = "http";
  noHost.port = 80;
  EXPECT_FALSE(URL::fromParts(noHost));
  URL::Parts space = parts;
  space.path = "/a b";
  EXPECT_FALSE(URL::fromParts(space));
}

// RFC 3986 section 5.4.
TEST(URLTest, ResolvesAgainstABase) {
  auto base = URL::create("http://a/b/c/d;p?q");
  ASSERT_TRUE(base);
  const std::pair<const char*, const char*> cases[] = {
      // 5.4.1 normal examples
      {"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"}, {"#s", "http://a/b/c/d;p?q#s"}, {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"}, {";x", "http://a/b/c/;x"}, {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"}, {"", "http://a/b/c/d;p?q"}, {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../", "http://a/b/"},
      {"../g", "http://a/b/g"}, {"../..", "http://a/"}, {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // 5.4.2 abnormal examples
      {"../../../g", "http://a/g"}, {"../../../../g", "http://a/g"}, {"/./g", "http://a/g"},
      {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."}, {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."}, {"..g", "http://a/b/c/..g"}, {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"}, {"g/./h", "http://a/b/c/g/h"}, {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"}, {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"}, {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"}, {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
  };
  for (const auto& [ref, expected] : cases) {
    SCOPED_TRACE(ref);
    auto url = URL::create(ref, *base);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), expected);
    EXPECT_EQ(url->relativeString(), ref);
    ASSERT_NE(url->baseURL(), nullptr);
    EXPECT_EQ(*url->baseURL(), *base);
  }
  // A base with an authority and no path, and parts taken from the base.
  auto bare = URL::create("http://u@h:81");
  auto joined = URL::create("x?y", *bare);
  EXPECT_EQ(joined->absoluteString(), "http://u@h:81/x?y");
  EXPECT_EQ(joined->host(), "h");
  EXPECT_EQ(joined->port(), 81);
  EXPECT_FALSE(URL::create("a b", *base));

  // Dot removal never turns a path into a host or a scheme: the resolved text reads back
  // as the same parts.
  auto sneaky = URL::create("http:/..//evil.example/x", *base);
  ASSERT_TRUE(sneaky);
  EXPECT_EQ(sneaky->host(), std::nullopt);
  EXPECT_EQ(URL::create(sneaky->absoluteString())->host(), std::nullopt);
  EXPECT_EQ(sneaky->path(), "/.//evil.example/x");
  auto relativeBase = URL::create("b");
  auto colon = URL::create("./c:d", *relativeBase);
  ASSERT_TRUE(colon);
  EXPECT_EQ(URL::create(colon->absoluteString())->scheme(), std::nullopt);
  EXPECT_EQ(colon->absoluteString(), "./c:d");
}

TEST(URLTest, LegacyEscapingFollowsItsTable) {
  const std::pair<std::string, std::string> cases[] = {
      {"a b", "a%20b"}, {"100%", "100%25"}, {"100%25", "100%2525"}, {"caf\xC3\xA9", "caf%C3%A9"},
      {"!#$&'()*+,-./:;=?@[]_~", "!#$&'()*+,-./:;=?@[]_~"},
      {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
      {std::string("\n\x7F\0", 3), "%0A%7F%00"},
      {"5(c*a*l)(3)", "5(c*a*l)(3)"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(addingPercentEscapes(in), out) << in;

  // Every byte, against the table in the header written out independently.
  const std::string kept =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?#[]@!$&'()*+,;=";
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", b);
    EXPECT_EQ(addingPercentEscapes(one), kept.find(one) != std::string::npos ? one : hex) << b;
    // What the escaping produces is always accepted as a URL.
    EXPECT_TRUE(URL::create("x" + addingPercentEscapes(one))) << b;
  }
}

TEST(URLTest, StricterEscapingAndQueryComponents) {
  const char* kReserved = "!*'();:@&=+$,/?%#[]";
  EXPECT_EQ(addingPercentEscapes("a b&c=d/e?f#g", kReserved), "a%20b%26c%3Dd%2Fe%3Ff%23g");
  EXPECT_EQ(addingPercentEscapes("~-._", kReserved), "~-._");
  EXPECT_EQ(addingPercentEscapes("a b/c", kReserved, " "), "a b%2Fc");
  // Only letters, digits, "." and "_" pass when "-" and "~" are added to the set.
  EXPECT_EQ(addingPercentEscapes("nb-PROTO~1.0_x", "!*'();:@&=+-$,/?\"%#<>|^~`{}\\[] "),
            "nb%2DPROTO%7E1.0_x");
  EXPECT_EQ(escapeQueryComponent("a+b c&d=\xC3\xA9/~"), "a%2Bb%20c%26d%3D%C3%A9%2F~");
}

TEST(URLTest, ReplacingPercentEscapes) {
  struct Case {
    const char* in;
    StringEncoding encoding;
    S out;
  };
  const Case cases[] = {
      {"a%20b", StringEncoding::UTF8, "a b"},
      {"%C3%A9t%c3%a9", StringEncoding::UTF8, "\xC3\xA9t\xC3\xA9"},
      {"%F0%9F%98%80", StringEncoding::UTF8, "\xF0\x9F\x98\x80"},
      {"a+b%2F", StringEncoding::UTF8, "a+b/"},
      {"plain", StringEncoding::UTF8, "plain"},
      {"%E9", StringEncoding::UTF8, {}},           // Latin-1, not UTF-8
      {"%C3", StringEncoding::UTF8, {}},           // truncated sequence
      {"%C0%AF", StringEncoding::UTF8, {}},        // overlong
      {"%ED%A0%80", StringEncoding::UTF8, {}},     // surrogate
      {"%F4%90%80%80", StringEncoding::UTF8, {}},  // above U+10FFFF
      {"%", StringEncoding::UTF8, {}},
      {"%4", StringEncoding::UTF8, {}},
      {"%zz", StringEncoding::UTF8, {}},
      {"%41%7B", StringEncoding::ASCII, "A{"},
      {"%C3%A9", StringEncoding::ASCII, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(replacingPercentEscapes(c.in, c.encoding), c.out);
  }
  for (const char* text : {"a b%c", "\xE2\x82\xAC 100 & more/?", "", "%%%"})
    EXPECT_EQ(replacingPercentEscapes(addingPercentEscapes(text)), text);
}

TEST(URLTest, QueryItems) {
  using Items = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(queryItems("a=1&b=&c&=d&&e=%20x=y&bad=%zz&u=%C3%A9"),
            (Items{{"a", "1"}, {"b", ""}, {"c", ""}, {"", "d"}, {"e", " x=y"}, {"u", "\xC3\xA9"}}));
  EXPECT_TRUE(queryItems("").empty());
}

}  // namespace
}  // namespace platform
