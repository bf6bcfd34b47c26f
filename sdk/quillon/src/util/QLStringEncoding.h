#pragma once
// A base-2^n text encoding over an ASCII alphabet of 2 to 128 characters: bits are taken most
// significant first, `shift` bits per character, with optional padding, decode synonyms and
// ignored characters. Decoding is strict: any invalid character, data after padding or
// leftover bits that are not zero give nothing, never a partial result.
// Immutable once configured; configure before sharing between threads.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"
#include "platform/passkey.h"

namespace quillon {

class QLStringEncoding {
 public:
  // nullptr unless the alphabet is ASCII, of a power-of-two length from 2 to 128, without a
  // repeated character.
  static std::shared_ptr<QLStringEncoding> stringEncodingWithString(std::string_view alphabet);

  static std::shared_ptr<QLStringEncoding> rfc4648Base64StringEncoding();
  static std::shared_ptr<QLStringEncoding> rfc4648Base64WebsafeStringEncoding();
  static std::shared_ptr<QLStringEncoding> rfc4648Base32StringEncoding();
  static std::shared_ptr<QLStringEncoding> rfc4648Base32HexStringEncoding();
  static std::shared_ptr<QLStringEncoding> crockfordBase32StringEncoding();
  static std::shared_ptr<QLStringEncoding> hexStringEncoding();
  static std::shared_ptr<QLStringEncoding> binaryStringEncoding();

  std::string encode(const platform::Bytes& bytes) const { return encode(bytes.data(), bytes.size()); }
  std::string encode(const uint8_t* bytes, size_t length) const;
  // The text's UTF-8 bytes.
  std::string encodeString(std::string_view text) const;
  std::optional<platform::Bytes> decode(std::string_view text) const;
  // The decoded bytes as UTF-8 text; nothing when they are not valid UTF-8.
  std::optional<std::string> stringByDecoding(std::string_view text) const;

  bool doPad() const { return doPad_; }
  void setDoPad(bool doPad) { doPad_ = doPad; }
  void setPaddingChar(char c);
  // Walks `synonyms`: a mapped character sets the current value, an unmapped one takes it
  // ("0oO" decodes "o" and "O" as "0").
  void addDecodeSynonyms(std::string_view synonyms);
  // Throws platform::Exception for a character that already has a meaning.
  void ignoreCharacters(std::string_view characters);

  // "<Base%d StringEncoder: %@>"
  std::string description() const;

  using Passkey = platform::Passkey<QLStringEncoding>;
  QLStringEncoding(Passkey, std::string_view alphabet, int shift);

 private:
  static constexpr int8_t kInvalid = -1;
  static constexpr int8_t kPadding = -2;
  static constexpr int8_t kIgnored = -3;

  std::string charMap_;
  std::array<int8_t, 128> reverseCharMap_;
  int shift_;
  unsigned mask_;
  bool doPad_ = false;
  char paddingChar_ = '=';
  size_t padLen_;
};

}  // namespace quillon
