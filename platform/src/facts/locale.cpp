#include "platform/locale.h"

#include <cstdlib>

#include "platform/singleton.h"

namespace platform {
namespace {

std::string identifierFromEnvironment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string text = value;
    text = text.substr(0, text.find_first_of(".@"));
    if (text.empty() || text == "C" || text == "POSIX") break;
    return text;
  }
  return "en_US";
}

std::string languageOf(const std::string& identifier) {
  return identifier.substr(0, identifier.find_first_of("_-"));
}

struct LocaleFacts {
  std::string identifier = identifierFromEnvironment();
  std::vector<std::string> preferred = {languageOf(identifier)};
};

ProcessState<LocaleFacts>& facts() {
  return processState<LocaleFacts>();
}

}  // namespace

Locale& Locale::currentLocale() {
  static Locale locale;
  return locale;
}

std::string Locale::localeIdentifier() const { return facts().read(&LocaleFacts::identifier); }
std::string Locale::languageCode() const { return languageOf(localeIdentifier()); }

std::string Locale::countryCode() const {
  std::string id = localeIdentifier();
  size_t cut = id.find_first_of("_-");
  if (cut == std::string::npos) return "";
  // "zh_Hans_CN": the country is the last part.
  return id.substr(id.find_last_of("_-") + 1);
}

std::vector<std::string> Locale::preferredLanguages() const { return facts().read(&LocaleFacts::preferred); }

void Locale::setLocaleIdentifier(const std::string& identifier) {
  facts().write(&LocaleFacts::identifier, identifier);
}

void Locale::setPreferredLanguages(std::vector<std::string> languages) {
  facts().write(&LocaleFacts::preferred, std::move(languages));
}

void Locale::resetToDefaults() { facts().reset(); }

}  // namespace platform
