#include "HVBase64.h"

#include <gtest/gtest.h>

namespace halvern {
namespace {

TEST(HVBase64Test, EncodesInGroupsOfThree) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"abcd", "YWJjZA=="}, {"\xff\xfe\xfd", "//79"},
  };
  for (auto [plain, encoded] : cases) EXPECT_EQ(HVBase64::base64StringWithString(plain), encoded) << plain;
}

TEST(HVBase64Test, DecodesCountingOnlyAlphabetCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"YWI=", "ab"},
      {"YWJj", "abc"},
      {"YW\nJj", "abc"},
      {"Y W J j\r\n", "abc"},
      {"YWJj\x80\xff", "abc"},        // high bytes are skipped, not looked up
      {"\xc3\xa9YWJjZA==", "abcd"},
      {"YQ", "a"},                      // unpadded
      {"====", ""},
  };
  for (const auto& [encoded, plain] : cases) EXPECT_EQ(HVBase64::stringWithBase64String(encoded), plain) << encoded;

  platform::Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(HVBase64::dataWithBase64String(HVBase64::base64StringWithData(all)), all);
  auto text = HVBase64::base64StringWithData(all);
  EXPECT_EQ(HVBase64::dataWithBase64Data(platform::Bytes(text.begin(), text.end())), all);
}

}  // namespace
}  // namespace halvern
