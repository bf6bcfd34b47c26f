// The base-2^n encodings on the published vectors (RFC 4648 section 10, hand-worked
// Crockford and binary forms) and on round trips of random bytes.
#include <gtest/gtest.h>

#include <random>

#include "QLStringEncoding.h"
#include "platform/error.h"

namespace {

using platform::Bytes;
using quillon::QLStringEncoding;
using Factory = std::shared_ptr<QLStringEncoding> (*)();

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

const std::vector<std::pair<const char*, Factory>> kEncodings = {
    {"base64", &QLStringEncoding::rfc4648Base64StringEncoding},
    {"base64url", &QLStringEncoding::rfc4648Base64WebsafeStringEncoding},
    {"base32", &QLStringEncoding::rfc4648Base32StringEncoding},
    {"base32hex", &QLStringEncoding::rfc4648Base32HexStringEncoding},
    {"crockford", &QLStringEncoding::crockfordBase32StringEncoding},
    {"hex", &QLStringEncoding::hexStringEncoding},
    {"binary", &QLStringEncoding::binaryStringEncoding},
};

TEST(QLStringEncodingTest, PublishedVectorsEncodeAndDecode) {
  struct Case {
    Factory make;
    std::string plain;
    std::string encoded;
  };
  const Case cases[] = {
      {&QLStringEncoding::rfc4648Base64StringEncoding, "", ""},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "f", "Zg=="},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "fo", "Zm8="},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "foo", "Zm9v"},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "foob", "Zm9vYg=="},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "fooba", "Zm9vYmE="},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "foobar", "Zm9vYmFy"},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "\xFB\xFF\xBF", "+/+/"},
      {&QLStringEncoding::rfc4648Base64WebsafeStringEncoding, "\xFB\xFF\xBF", "-_-_"},
      {&QLStringEncoding::rfc4648Base32StringEncoding, "f", "MY======"},
      {&QLStringEncoding::rfc4648Base32StringEncoding, "fo", "MZXQ===="},
      {&QLStringEncoding::rfc4648Base32StringEncoding, "foo", "MZXW6==="},
      {&QLStringEncoding::rfc4648Base32StringEncoding, "foob", "MZXW6YQ="},
      {&QLStringEncoding::rfc4648Base32StringEncoding, "fooba", "MZXW6YTB"},
      {&QLStringEncoding::rfc4648Base32StringEncoding, "foobar", "MZXW6YTBOI======"},
      {&QLStringEncoding::rfc4648Base32HexStringEncoding, "f", "CO======"},
      {&QLStringEncoding::rfc4648Base32HexStringEncoding, "foob", "CPNMUOG="},
      {&QLStringEncoding::rfc4648Base32HexStringEncoding, "foobar", "CPNMUOJ1E8======"},
      {&QLStringEncoding::crockfordBase32StringEncoding, "foobar", "CSQPYRK1E8"},
      {&QLStringEncoding::hexStringEncoding, "foobar", "666F6F626172"},
      {&QLStringEncoding::binaryStringEncoding, "f\x01", "0110011000000001"},
  };
  for (const auto& c : cases) {
    auto encoding = c.make();
    SCOPED_TRACE(encoding->description() + " " + c.encoded);
    EXPECT_EQ(encoding->encode(bytesOf(c.plain)), c.encoded);
    EXPECT_EQ(encoding->decode(c.encoded), bytesOf(c.plain));
  }
}

TEST(QLStringEncodingTest, PaddingSynonymsAndStrictDecoding) {
  auto base64 = QLStringEncoding::rfc4648Base64StringEncoding();
  base64->setDoPad(false);
  EXPECT_EQ(base64->encodeString("fo"), "Zm8");
  EXPECT_EQ(base64->decode("Zm8"), bytesOf("fo"));

  struct Case {
    Factory make;
    std::string text;
    std::optional<std::string> plain;
  };
  const Case cases[] = {
      {&QLStringEncoding::rfc4648Base64StringEncoding, "Zm8=", "fo"},
      {&QLStringEncoding::rfc4648Base64StringEncoding, "Zm8=A", std::nullopt},       // data after padding
      {&QLStringEncoding::rfc4648Base64StringEncoding, "Zm9", std::nullopt},         // leftover bits
      {&QLStringEncoding::rfc4648Base64StringEncoding, "Zm 8", std::nullopt},        // not in the alphabet
      {&QLStringEncoding::rfc4648Base64StringEncoding, "Zm\xC3\xA9", std::nullopt},  // not ASCII
      {&QLStringEncoding::rfc4648Base64StringEncoding, "-_-_", std::nullopt},        // the other alphabet
      {&QLStringEncoding::crockfordBase32StringEncoding, "csqpyrk1e8", "foobar"},
      {&QLStringEncoding::crockfordBase32StringEncoding, "CSQPYRKiE8", "foobar"},
      {&QLStringEncoding::crockfordBase32StringEncoding, "CSQPYRKLE8", "foobar"},
      {&QLStringEncoding::crockfordBase32StringEncoding, "oo", std::string(1, '\0')},
      {&QLStringEncoding::crockfordBase32StringEncoding, "OO", std::string(1, '\0')},
      {&QLStringEncoding::crockfordBase32StringEncoding, "CSQPYRKUE8", std::nullopt},  // U is excluded
      {&QLStringEncoding::hexStringEncoding, "666f6F", "foo"},
      {&QLStringEncoding::hexStringEncoding, "66g6", std::nullopt},
      {&QLStringEncoding::binaryStringEncoding, "01100110", "f"},
      {&QLStringEncoding::binaryStringEncoding, "011001101", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto decoded = c.make()->decode(c.text);
    if (c.plain) {
      EXPECT_EQ(decoded, bytesOf(*c.plain));
    } else {
      EXPECT_FALSE(decoded.has_value());
    }
  }

  EXPECT_EQ(base64->stringByDecoding("w6k="), "\xC3\xA9");
  EXPECT_FALSE(base64->stringByDecoding("/w==").has_value());  // 0xFF is not UTF-8
}

TEST(QLStringEncodingTest, IgnoredCharactersAndAlphabetRules) {
  auto base64 = QLStringEncoding::rfc4648Base64StringEncoding();
  base64->ignoreCharacters("\r\n ");
  EXPECT_EQ(base64->stringByDecoding("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(base64->stringByDecoding("Zm8= \n"), "fo");
  EXPECT_THROW(base64->ignoreCharacters("Q"), platform::Exception);
  EXPECT_THROW(base64->ignoreCharacters("="), platform::Exception);

  std::string all128;
  for (int c = 0; c < 128; ++c) all128 += static_cast<char>(c);
  for (std::string_view bad : {"", "A", "ABC", "ABCA", "AB\xC3\xA9"}) {
    EXPECT_EQ(QLStringEncoding::stringEncodingWithString(bad), nullptr) << bad;
  }
  auto wide = QLStringEncoding::stringEncodingWithString(all128);
  ASSERT_NE(wide, nullptr);
  // Seven bits a character: "f" (0110 0110) is 0110011 then 0 padded out to 0000000.
  EXPECT_EQ(wide->encodeString("f"), std::string({'\x33', '\x00'}));
  EXPECT_EQ(QLStringEncoding::hexStringEncoding()->description(), "<Base16 StringEncoder: 0123456789ABCDEF>");
}

TEST(QLStringEncodingTest, RandomBytesRoundTripInEveryEncoding) {
  std::mt19937 rng(7);
  for (const auto& [name, make] : kEncodings) {
    // As made (padded where the encoding pads), and without padding.
    for (bool unpad : {false, true}) {
      auto encoding = make();
      if (unpad) encoding->setDoPad(false);
      for (size_t length = 0; length < 40; ++length) {
        Bytes bytes(length);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        std::string text = encoding->encode(bytes);
        EXPECT_EQ(encoding->decode(text), bytes) << name << " unpadded " << unpad << " length " << length;
      }
    }
  }
}

}  // namespace
