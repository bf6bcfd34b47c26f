#include "platform/bundle.h"

#include <map>

#include "platform/file_manager.h"
#include "platform/locale.h"
#include "platform/property_list.h"
#include "platform/sandbox.h"
#include "platform/screen.h"
#include "platform/singleton.h"
#include "strings_table.h"

namespace platform {
namespace {

Dictionary builtInInfo() {
  return Dictionary{
      {"CFBundleIdentifier", Value("com.quendarosk.Zavrellion")},
      {"CFBundleVersion", Value("1.0")},
      {"CFBundleShortVersionString", Value("1.0")},
      {"CFBundleName", Value("Zavrellion")},
      {"CFBundleDisplayName", Value("Zavrellion")},
  };
}

struct BundleState {
  std::optional<Dictionary> info;  // built on first use
  // Parsed tables by path (a damaged one as empty).
  std::map<std::string, Dictionary> tables;

  Dictionary& infoDictionary() {
    if (info) return *info;
    info = builtInInfo();
    // The bundle's own Info.plist, when it has a readable one, overrides the built-in keys.
    auto bytes = FileManager::contentsAtPath(
        FileManager::stringByAppendingPathComponent(Sandbox::bundlePath(), "Info.plist"));
    if (bytes) {
      auto plist = PropertyList::read(*bytes);
      if (plist && plist->isDictionary()) {
        for (const auto& [key, value] : plist->dictionary()) info->set(key, value);
      }
    }
    return *info;
  }
};

ProcessState<BundleState>& state() {
  return processState<BundleState>();
}

std::string infoString(const std::string& key) {
  return state().with([&key](BundleState& s) {
    const Value& v = s.infoDictionary().get(key);
    return v.isString() ? v.string() : std::string();
  });
}

// The folders searched for resources, most specific first.
std::vector<std::string> localizationFolders() {
  std::vector<std::string> folders;
  auto add = [&](const std::string& language) {
    std::string folder = language + ".lproj";
    for (const auto& f : folders) {
      if (f == folder) return;
    }
    folders.push_back(folder);
  };
  for (const auto& language : Locale::currentLocale().preferredLanguages()) add(language);
  add("en");
  add("Base");
  return folders;
}

}  // namespace

Bundle& Bundle::mainBundle() {
  static Bundle bundle;
  return bundle;
}

std::string Bundle::bundlePath() const { return Sandbox::bundlePath(); }
std::string Bundle::bundleIdentifier() const { return infoString("CFBundleIdentifier"); }
std::string Bundle::version() const { return infoString("CFBundleVersion"); }
std::string Bundle::shortVersion() const { return infoString("CFBundleShortVersionString"); }

std::string Bundle::displayName() const {
  std::string name = infoString("CFBundleDisplayName");
  return name.empty() ? infoString("CFBundleName") : name;
}

uint32_t Bundle::versionNumber() const { return packedVersionNumber(version()); }

uint32_t Bundle::packedVersionNumber(const std::string& text) {
  size_t i = 0;
  auto digits = [&](size_t most, unsigned limit, unsigned& out) {
    size_t start = i;
    unsigned value = 0;
    while (i < text.size() && i - start < most && text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i++] - '0');
    out = value;
    return i > start && value <= limit;
  };
  unsigned major = 0, minor = 0, bugfix = 0, revision = 0;
  if (!digits(2, 99, major)) return 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits(1, 9, minor)) return 0;
    if (i < text.size() && text[i] == '.') {
      ++i;
      if (!digits(1, 9, bugfix)) return 0;
    }
  }
  unsigned stage = 0x80;
  if (i < text.size()) {
    switch (text[i++]) {
      case 'd': stage = 0x20; break;
      case 'a': stage = 0x40; break;
      case 'b': stage = 0x60; break;
      case 'f': stage = 0x80; break;
      default: return 0;
    }
    if (i < text.size() && !digits(3, 255, revision)) return 0;
  }
  if (i != text.size()) return 0;
  return (major / 10) << 28 | (major % 10) << 24 | minor << 20 | bugfix << 16 | stage << 8 | revision;
}

Value Bundle::infoDictionary() const {
  return state().with([](BundleState& s) { return Value(s.infoDictionary()); });
}

Value Bundle::objectForInfoDictionaryKey(const std::string& key) const {
  return state().with([&key](BundleState& s) { return s.infoDictionary().get(key); });
}

void Bundle::setInfoDictionary(const Dictionary& info) {
  state().write(&BundleState::info, info);
}

void Bundle::setInfoValue(const std::string& key, const Value& value) {
  state().with([&](BundleState& s) {
    Dictionary& info = s.infoDictionary();
    if (value.isNull()) {
      info.erase(key);
    } else {
      info.set(key, value);
    }
  });
}

std::optional<std::string> Bundle::pathForResourceOfType(const std::string& name, const std::string& type,
                                                         const std::string& directory) const {
  if (name.empty()) return std::nullopt;
  std::vector<std::string> fileNames;
  std::string suffix = type.empty() ? "" : "." + type;
  std::string base = name;
  if (type.empty()) {
    suffix = FileManager::pathExtension(name).empty() ? "" : "." + FileManager::pathExtension(name);
    base = FileManager::stringByDeletingPathExtension(name);
  }
  if (Screen::mainScreen().scale() == 2) fileNames.push_back(base + "@2x" + suffix);
  fileNames.push_back(base + suffix);

  std::string root = bundlePath();
  std::vector<std::string> places{directory};
  for (const auto& folder : localizationFolders()) {
    places.push_back(FileManager::stringByAppendingPathComponent(directory, folder));
  }
  for (const auto& place : places) {
    for (const auto& fileName : fileNames) {
      auto path = FileManager::confinedPath(root, FileManager::stringByAppendingPathComponent(place, fileName));
      if (path && FileManager::fileExistsAtPath(*path) && !FileManager::isDirectory(*path)) return path;
    }
  }
  return std::nullopt;
}

std::string Bundle::localizedStringForKeyValueTable(const std::string& key, const std::string& value,
                                                    const std::string& table) const {
  std::string tableFile = (table.empty() ? std::string("Localizable") : table) + ".strings";
  std::string root = bundlePath();
  for (const auto& folder : localizationFolders()) {
    auto path = FileManager::confinedPath(root, FileManager::stringByAppendingPathComponent(folder, tableFile));
    if (!path) continue;
    // Nothing when this language has no such table; else the key's text, if the table has it.
    auto looked = state().with([&](BundleState& s) -> std::optional<std::optional<std::string>> {
      auto cached = s.tables.find(*path);
      if (cached == s.tables.end()) {
        auto bytes = FileManager::contentsAtPath(*path);
        if (!bytes) return std::nullopt;
        // A damaged table still counts as this language's: its keys fall back.
        auto parsed = storage::parseStringsTable(*bytes);
        cached = s.tables.emplace(*path, parsed ? std::move(*parsed) : Dictionary()).first;
      }
      const Value* found = cached->second.find(key);
      return found ? std::optional<std::string>(found->string()) : std::optional<std::string>();
    });
    if (!looked) continue;
    if (*looked) return **looked;
    break;  // the first language that has the table decides
  }
  return value.empty() ? key : value;
}

}  // namespace platform
