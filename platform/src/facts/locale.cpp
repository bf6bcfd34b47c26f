#include "platform/locale.h"

#include <cstdlib>
#include <mutex>

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

struct LocaleState {
  std::mutex mutex;
  std::string identifier;
  std::vector<std::string> preferred;

  void setDefaults() {
    identifier = identifierFromEnvironment();
    preferred = {languageOf(identifier)};
  }
};

LocaleState& state() {
  static LocaleState* s = [] {
    auto* created = new LocaleState();
    created->setDefaults();
    onProcessReset([] { Locale::currentLocale().resetToDefaults(); });
    return created;
  }();
  return *s;
}

}  // namespace

Locale& Locale::currentLocale() {
  static Locale locale;
  return locale;
}

std::string Locale::localeIdentifier() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().identifier;
}

std::string Locale::languageCode() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return languageOf(state().identifier);
}

std::string Locale::countryCode() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  const std::string& id = state().identifier;
  size_t cut = id.find_first_of("_-");
  if (cut == std::string::npos) return "";
  // "zh_Hans_CN": the country is the last part.
  return id.substr(id.find_last_of("_-") + 1);
}

std::vector<std::string> Locale::preferredLanguages() const {
  std::lock_guard<std::mutex> lock(state().mutex);
  return state().preferred;
}

void Locale::setLocaleIdentifier(const std::string& identifier) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().identifier = identifier;
}

void Locale::setPreferredLanguages(std::vector<std::string> languages) {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().preferred = std::move(languages);
}

void Locale::resetToDefaults() {
  std::lock_guard<std::mutex> lock(state().mutex);
  state().setDefaults();
}

}  // namespace platform
