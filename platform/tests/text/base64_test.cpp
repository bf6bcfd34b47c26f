#include "platform/base64.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

// RFC 4648 section 10.
TEST(Base64Test, EncodesAndDecodesTheRFCVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(std::string_view(plain)), encoded);
    EXPECT_EQ(base64Decode(encoded), bytesOf(plain));
    std::string unpadded(encoded);
    unpadded.erase(unpadded.find_last_not_of('=') + 1);
    EXPECT_EQ(base64Encode(bytesOf(plain), Base64Alphabet::Standard, false), unpadded);
    EXPECT_EQ(base64Decode(unpadded), bytesOf(plain));
  }
}

TEST(Base64Test, UrlSafeAlphabetAndLenientWhitespace) {
  Bytes b{0xFB, 0xFF, 0xBF};
  EXPECT_EQ(base64Encode(b, Base64Alphabet::UrlSafe), "-_-_");
  EXPECT_EQ(base64Encode(b), "+/+/");
  EXPECT_EQ(base64Decode("-_-_", Base64Alphabet::UrlSafe), b);
  EXPECT_FALSE(base64Decode("-_-_"));
  EXPECT_FALSE(base64Decode("+/+/", Base64Alphabet::UrlSafe));
  EXPECT_EQ(base64Decode(" Zm9v\r\nYmFy\t"), bytesOf("foobar"));
}

TEST(Base64Test, RefusesMalformedText) {
  for (const char* bad : {"Z", "Zm9vY", "Zg=", "Zg===", "Zg==Zg==", "Zm9v=", "Zm$v", "=Zg"}) {
    EXPECT_FALSE(base64Decode(bad)) << bad;
  }
}

}  // namespace
}  // namespace platform
