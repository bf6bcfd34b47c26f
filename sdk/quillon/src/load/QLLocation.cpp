#include "QLLocation.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "QLStringEncoding.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/format.h"

namespace quillon {

namespace {
constexpr float kEpsilon = 1.1920929e-7f;

// Truncated toward zero and held inside the signed 32-bit range: an accuracy of a few
// thousand kilometres, or a far-future time, must not wrap around.
int32_t saturatedInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::shared_ptr<QLStringEncoding> websafeWithoutPadding() {
  auto encoding = QLStringEncoding::rfc4648Base64WebsafeStringEncoding();
  encoding->setDoPad(false);
  return encoding;
}

std::string replacingDoubleQuotes(std::string text) {
  for (char& c : text)
    if (c == '"') c = '\'';
  return text;
}
}  // namespace

std::shared_ptr<QLLocation> QLLocation::createWithLatitudeLongitudeAccuracy(double latitude, double longitude,
                                                                           double accuracy) {
  auto location = std::make_shared<QLLocation>(Passkey{}, static_cast<float>(latitude), static_cast<float>(longitude),
                                               static_cast<float>(accuracy), std::nullopt,
                                               platform::Clock::current().now());
  return location->isPreciseLocation() ? location : nullptr;
}

std::shared_ptr<QLLocation> QLLocation::createWithDescription(const std::string& description) {
  if (description.empty()) return nullptr;
  return std::make_shared<QLLocation>(Passkey{}, 0.f, 0.f, 0.f, description, platform::Clock::current().now());
}

bool QLLocation::isPreciseLocation() const {
  float lat = std::fabs(latitude_);
  float lon = std::fabs(longitude_);
  return lat <= 90 && lat > kEpsilon && lon <= 180 && lon > kEpsilon;
}

std::string QLLocation::description() const {
  if (description_) return *description_;
  if (isPreciseLocation()) return platform::format("%f,%f", static_cast<double>(latitude_), static_cast<double>(longitude_));
  return "";
}

bool QLLocation::isEqual(const QLLocation& other) const {
  if (isPreciseLocation() && other.isPreciseLocation())
    return std::fabs(latitude_ - other.latitude_) < kEpsilon && std::fabs(longitude_ - other.longitude_) < kEpsilon &&
           std::fabs(accuracy_ - other.accuracy_) < kEpsilon;
  return !isPreciseLocation() && !other.isPreciseLocation() && description_ == other.description_;
}

const platform::Bytes& QLLocation::encryptionKey() {
  static const platform::Bytes key = {0x51, 0x75, 0x69, 0x6c, 0x6c, 0x6f, 0x6e, 0x4c,
                                      0x6f, 0x63, 0x4b, 0x65, 0x79, 0x21, 0x07, 0x2a};
  return key;
}

std::optional<std::string> QLLocation::encodedRepresentation() const {
  const double micros = timestamp_ * 1e6;
  static const auto encoding = websafeWithoutPadding();
  if (description_) {
    std::string text = platform::format("kind: 6 source: 24 past_kind: 1 past_source: 12 timestamp: %.0f loc: ", micros);
    text += '"' + replacingDoubleQuotes(*description_) + '"';
    return platform::format("d+%@", encoding->encodeString(text));
  }
  std::string text = platform::format(
      "kind: 6 source: 24 past_kind: 1 past_source: 12 timestamp: %.0f point <lat_e7: %ld lon_e7: %ld> radius: %ld",
      micros, static_cast<long>(saturatedInt32(static_cast<double>(latitude_) * 1e7)),
      static_cast<long>(saturatedInt32(static_cast<double>(longitude_) * 1e7)),
      static_cast<long>(saturatedInt32(static_cast<double>(accuracy_) * 1000)));
  platform::Bytes plain(text.begin(), text.end());
  const size_t pad = 16 - plain.size() % 16;
  plain.insert(plain.end(), pad, static_cast<uint8_t>(pad));

  platform::Bytes iv;
  for (int k = 1; k <= 4; ++k) {
    auto word = static_cast<uint32_t>(saturatedInt32(timestamp_ * k));
    for (int byte = 0; byte < 4; ++byte) iv.push_back(static_cast<uint8_t>(word >> (8 * byte)));
  }
  auto cipher = platform::crypto::aes128CbcEncrypt(encryptionKey(), iv, plain, false);
  if (!cipher) return std::nullopt;
  platform::Bytes bytes = iv;
  bytes.insert(bytes.end(), cipher->begin(), cipher->end());
  return platform::format("p1+%@", encoding->encode(bytes));
}

}  // namespace quillon
