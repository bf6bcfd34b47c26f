#include "QLStringEncoding.h"

#include <numeric>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/utf8.h"

namespace quillon {

using platform::Bytes;

namespace {
std::shared_ptr<QLStringEncoding> padded(std::string_view alphabet) {
  auto encoding = QLStringEncoding::stringEncodingWithString(alphabet);
  encoding->setDoPad(true);
  encoding->setPaddingChar('=');
  return encoding;
}

}  // namespace

std::shared_ptr<QLStringEncoding> QLStringEncoding::stringEncodingWithString(std::string_view alphabet) {
  size_t length = alphabet.size();
  if (length < 2 || length > 128 || (length & (length - 1)) != 0) return nullptr;
  std::array<bool, 128> seen{};
  for (char c : alphabet) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 128 || seen[u]) return nullptr;
    seen[u] = true;
  }
  int shift = 0;
  while ((size_t{1} << shift) < length) ++shift;
  return std::make_shared<QLStringEncoding>(Passkey{}, alphabet, shift);
}

QLStringEncoding::QLStringEncoding(Passkey, std::string_view alphabet, int shift)
    : charMap_(alphabet), shift_(shift), mask_((1u << shift) - 1) {
  reverseCharMap_.fill(kInvalid);
  for (size_t i = 0; i < charMap_.size(); ++i)
    reverseCharMap_[static_cast<unsigned char>(charMap_[i])] = static_cast<int8_t>(i);
  padLen_ = static_cast<size_t>(std::lcm(8, shift_) / shift_);
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::rfc4648Base64StringEncoding() {
  return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::rfc4648Base64WebsafeStringEncoding() {
  return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::rfc4648Base32StringEncoding() {
  return padded("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::rfc4648Base32HexStringEncoding() {
  return padded("0123456789ABCDEFGHIJKLMNOPQRSTUV");
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::crockfordBase32StringEncoding() {
  auto encoding = stringEncodingWithString("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
  encoding->addDecodeSynonyms("0oO1iIlLAaBbCcDdEeFfGgHhJjKkMmNnPpQqRrSsTtVvWwXxYyZz");
  return encoding;
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::hexStringEncoding() {
  auto encoding = stringEncodingWithString("0123456789ABCDEF");
  encoding->addDecodeSynonyms("AaBbCcDdEeFf");
  return encoding;
}

std::shared_ptr<QLStringEncoding> QLStringEncoding::binaryStringEncoding() { return stringEncodingWithString("01"); }

std::string QLStringEncoding::encode(const uint8_t* bytes, size_t length) const {
  if (length == 0) return "";
  size_t outLength = (8 * length + static_cast<size_t>(shift_) - 1) / static_cast<size_t>(shift_);
  size_t padded = outLength;
  if (doPad_) padded = (outLength + padLen_ - 1) / padLen_ * padLen_;
  std::string out;
  out.reserve(padded);
  unsigned buffer = 0;
  int bits = 0;
  for (size_t i = 0; i < length; ++i) {
    buffer = (buffer << 8) | bytes[i];
    bits += 8;
    while (bits >= shift_) {
      bits -= shift_;
      out += charMap_[(buffer >> bits) & mask_];
    }
    buffer &= (1u << bits) - 1;
  }
  if (bits > 0) out += charMap_[(buffer << (shift_ - bits)) & mask_];
  out.append(padded - out.size(), paddingChar_);
  return out;
}

std::string QLStringEncoding::encodeString(std::string_view text) const {
  return encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::optional<Bytes> QLStringEncoding::decode(std::string_view text) const {
  Bytes out;
  out.reserve(text.size() * static_cast<size_t>(shift_) / 8);
  unsigned buffer = 0;
  int bits = 0;
  bool padding = false;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 128) return std::nullopt;
    int value = reverseCharMap_[u];
    if (value == kInvalid) return std::nullopt;
    if (value == kIgnored) continue;
    if (value == kPadding) {
      padding = true;
      continue;
    }
    if (padding) return std::nullopt;
    buffer = (buffer << shift_) | static_cast<unsigned>(value);
    bits += shift_;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(buffer >> bits));
      buffer &= (1u << bits) - 1;
    }
  }
  if (buffer != 0) return std::nullopt;
  return out;
}

std::optional<std::string> QLStringEncoding::stringByDecoding(std::string_view text) const {
  auto bytes = decode(text);
  if (!bytes) return std::nullopt;
  std::string decoded(bytes->begin(), bytes->end());
  if (!platform::isValidUtf8(decoded)) return std::nullopt;
  return decoded;
}

void QLStringEncoding::setPaddingChar(char c) {
  paddingChar_ = c;
  auto u = static_cast<unsigned char>(c);
  if (u < 128) reverseCharMap_[u] = kPadding;
}

void QLStringEncoding::addDecodeSynonyms(std::string_view synonyms) {
  int8_t current = kInvalid;
  for (char c : synonyms) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 128) continue;
    if (reverseCharMap_[u] != kInvalid) {
      current = reverseCharMap_[u];
    } else {
      reverseCharMap_[u] = current;
    }
  }
}

void QLStringEncoding::ignoreCharacters(std::string_view characters) {
  for (char c : characters) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 128) continue;
    if (reverseCharMap_[u] != kInvalid)
      throw platform::Exception("NSInternalInconsistencyException", "Character already mapped");
    reverseCharMap_[u] = kIgnored;
  }
}

std::string QLStringEncoding::description() const {
  return platform::format("<Base%d StringEncoder: %@>", 1 << shift_, charMap_);
}

}  // namespace quillon
