#pragma once
// A request's location: a precise point (degrees and metres, kept as 32-bit floats) or free
// text, stamped with the time it was made, and the text it travels as ("qloc"). Immutable.
#include <memory>
#include <optional>
#include <string>

#include "platform/passkey.h"
#include "platform/value.h"

namespace quillon {

class QLLocation {
 public:
  // nullptr unless the point is precise (see isPreciseLocation).
  static std::shared_ptr<QLLocation> createWithLatitudeLongitudeAccuracy(double latitude, double longitude,
                                                                         double accuracy);
  // nullptr for an empty text.
  static std::shared_ptr<QLLocation> createWithDescription(const std::string& description);

  // |latitude| in (1.1920929e-7, 90] and |longitude| in (1.1920929e-7, 180].
  bool isPreciseLocation() const;
  // The text when there is one, else "%f,%f" of a precise point, else "".
  std::string description() const;
  bool isEqual(const QLLocation& other) const;

  // "d+" and the URL-safe Base64 (no padding) of the text form, or "p1+" and that of the
  // initialization vector followed by the AES-128-CBC encryption of the padded point form.
  // Nothing when the encryption fails.
  std::optional<std::string> encodedRepresentation() const;
  // The client's fixed 16-byte key of the point form.
  static const platform::Bytes& encryptionKey();

  float latitude() const { return latitude_; }
  float longitude() const { return longitude_; }
  float accuracy() const { return accuracy_; }
  // Seconds since 1970.
  double timestamp() const { return timestamp_; }

  using Passkey = platform::Passkey<QLLocation>;
  QLLocation(Passkey, float latitude, float longitude, float accuracy, std::optional<std::string> description,
             double timestamp)
      : latitude_(latitude),
        longitude_(longitude),
        accuracy_(accuracy),
        description_(std::move(description)),
        timestamp_(timestamp) {}

 private:
  float latitude_;
  float longitude_;
  float accuracy_;
  std::optional<std::string> description_;
  double timestamp_;
};

}  // namespace quillon
