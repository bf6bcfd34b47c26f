#pragma once
// The application bundle: its information dictionary and its resources, in the folder
// Sandbox::bundlePath().
//
// Thread safety: every member may be called from any thread (one mutex).
// The information dictionary starts from the built-in defaults below, overlaid with the
// bundle folder's "Info.plist" (an XML property list) when it has one, read on first use;
// tests and the demo may replace keys. Test reset forgets all that, so it is read again.
//   CFBundleIdentifier "com.quendarosk.Zavrellion", CFBundleVersion "1.0",
//   CFBundleShortVersionString "1.0", CFBundleName and CFBundleDisplayName "Zavrellion".
#include <cstdint>
#include <optional>
#include <string>

#include "platform/value.h"

namespace platform {

class Bundle {
 public:
  static Bundle& mainBundle();

  std::string bundlePath() const;
  std::string bundleIdentifier() const;
  // "CFBundleVersion" and "CFBundleShortVersionString" ("" when absent).
  std::string version() const;
  std::string shortVersion() const;
  // "CFBundleDisplayName", else "CFBundleName", else "".
  std::string displayName() const;
  // "CFBundleVersion" packed as the platform packs a version into 32 bits:
  // "M[.m[.b]][s[r]]" with M 0–99 as two BCD digits in bits 31–24, m 0–9 in bits 23–20,
  // b 0–9 in bits 19–16, the stage in bits 15–8 (d development 0x20, a alpha 0x40, b beta
  // 0x60, f or none final 0x80) and the revision r 0–255 in bits 7–0 ("1.2.3" → 0x01238000,
  // "2.0b4" → 0x02006004). 0 for text of any other form.
  uint32_t versionNumber() const;
  static uint32_t packedVersionNumber(const std::string& version);

  // A Dictionary value.
  Value infoDictionary() const;
  Value objectForInfoDictionaryKey(const std::string& key) const;
  // Replaces the whole dictionary, or one key (a null value removes it).
  void setInfoDictionary(const Dictionary& info);
  void setInfoValue(const std::string& key, const Value& value);

  // The path of resource `name`.`type` (with `type` empty, `name` is the whole file name)
  // in `directory` under the bundle (empty: its top), then in the "<language>.lproj" folder
  // of each preferred language, then "en.lproj" and "Base.lproj". When the main screen's
  // scale is 2, "<name>@2x.<type>" is preferred to "<name>.<type>" in each place. nullopt
  // when nothing exists or the name would leave the bundle ("..", absolute, escaping links).
  std::optional<std::string> pathForResourceOfType(const std::string& name, const std::string& type,
                                                   const std::string& directory = "") const;

  // The translation of `key` in table `table` ("Localizable" when empty), read from
  // "<language>.lproj/<table>.strings" of the first preferred language that has the table
  // (then "en", then "Base"). When missing: `value` if not empty, else `key`.
  std::string localizedStringForKeyValueTable(const std::string& key, const std::string& value = "",
                                              const std::string& table = "") const;

 private:
  Bundle() = default;
};

}  // namespace platform
