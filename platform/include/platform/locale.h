#pragma once
// The user's locale and languages. Defaults come from the environment (LC_ALL, LC_MESSAGES,
// LANG: "de_DE.UTF-8" gives "de_DE"); "C", "POSIX" or nothing give "en_US". The preferred
// languages default to the locale's language alone.
// Thread safety: every member may be called from any thread. Tests and the demo set the
// facts; test reset restores the defaults.
#include <string>
#include <vector>

namespace platform {

class Locale {
 public:
  static Locale& currentLocale();

  // "en_US".
  std::string localeIdentifier() const;
  // "en": the part before '_' (or '-').
  std::string languageCode() const;
  // "US": the part after it, "" when the identifier names no country.
  std::string countryCode() const;
  // Language codes, most preferred first ("en", "fr", …).
  std::vector<std::string> preferredLanguages() const;

  void setLocaleIdentifier(const std::string& identifier);
  void setPreferredLanguages(std::vector<std::string> languages);
  void resetToDefaults();

 private:
  Locale() = default;
};

}  // namespace platform
