#include "platform/crypto.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::crypto {
namespace {

Bytes fromHex(std::string_view hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

TEST(CryptoTest, MD5MatchesRFC1321) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [in, hex] : suite) {
    EXPECT_EQ(md5Hex(in), hex) << in;
    std::string_view s(in);
    EXPECT_EQ(md5(Bytes(s.begin(), s.end())), fromHex(hex));
  }
}

TEST(CryptoTest, SHAMatchesFIPS180) {
  EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(sha1Hex(Bytes{'a', 'b', 'c'}), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(md5Hex(Bytes{'a', 'b', 'c'}), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hexString(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hexString(Bytes{0x00, 0x0F, 0xA5, 0xFF}, true), "000FA5FF");
  EXPECT_EQ(hexString(Bytes{}), "");
}

// NIST SP 800-38A, F.2.1 and F.2.2 (CBC-AES128).
const Bytes kKey = fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kIv = fromHex("000102030405060708090a0b0c0d0e0f");
const Bytes kPlain = fromHex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
const Bytes kCipher = fromHex(
    "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");

TEST(CryptoTest, AES128CBCMatchesSP800_38A) {
  EXPECT_EQ(aes128CbcEncrypt(kKey, kIv, kPlain, false), kCipher);
  EXPECT_EQ(aes128CbcDecrypt(kKey, kIv, kCipher, false), kPlain);

  // With padding a whole block of sixteen 0x10 bytes follows aligned input.
  auto padded = aes128CbcEncrypt(kKey, kIv, kPlain, true);
  ASSERT_TRUE(padded);
  ASSERT_EQ(padded->size(), 80u);
  EXPECT_EQ(Bytes(padded->begin(), padded->begin() + 64), kCipher);
  auto raw = aes128CbcDecrypt(kKey, kIv, *padded, false);
  ASSERT_TRUE(raw);
  EXPECT_EQ(Bytes(raw->begin() + 64, raw->end()), Bytes(16, 0x10));
  EXPECT_EQ(aes128CbcDecrypt(kKey, kIv, *padded, true), kPlain);

  // Unaligned input pads to the next block and comes back exactly.
  for (size_t n : {0u, 1u, 15u, 17u}) {
    Bytes plain(kPlain.begin(), kPlain.begin() + n);
    auto c = aes128CbcEncrypt(kKey, kIv, plain, true);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->size(), (n / 16 + 1) * 16);
    EXPECT_EQ(aes128CbcDecrypt(kKey, kIv, *c, true), plain);
  }
  // An empty vector is the all-zero one.
  EXPECT_EQ(aes128CbcEncrypt(kKey, {}, kPlain, false), aes128CbcEncrypt(kKey, Bytes(16, 0), kPlain, false));
}

TEST(CryptoTest, AESRefusals) {
  EXPECT_FALSE(aes128CbcEncrypt(kKey, kIv, Bytes(15, 1), false));  // misaligned, no padding
  EXPECT_FALSE(aes128CbcEncrypt(Bytes(15, 1), kIv, kPlain, false));
  EXPECT_FALSE(aes128CbcEncrypt(kKey, Bytes(8, 0), kPlain, false));
  EXPECT_FALSE(aes128CbcDecrypt(kKey, kIv, Bytes(20, 0), false));
  // The vector's last plaintext block ends in 0x10 but is not sixteen 0x10 bytes.
  EXPECT_FALSE(aes128CbcDecrypt(kKey, kIv, kCipher, true));
}

}  // namespace
}  // namespace platform::crypto
