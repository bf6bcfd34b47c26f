#include "platform/bundle.h"

#include <gtest/gtest.h>

#include "platform/file_manager.h"
#include "platform/locale.h"
#include "platform/sandbox.h"
#include "platform/screen.h"
#include "platform/singleton.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Bundle;
using platform::FileManager;

class BundleTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    root_ = platform::Sandbox::bundlePath();
    ASSERT_TRUE(FileManager::createDirectoryAtPath(root_, true));
  }
  void put(const std::string& relative, std::string_view contents = "x") {
    std::string path = root_ + "/" + relative;
    ASSERT_TRUE(FileManager::createDirectoryAtPath(FileManager::stringByDeletingLastPathComponent(path), true));
    ASSERT_TRUE(FileManager::writeAtomically(path, contents));
  }
  std::optional<std::string> find(const std::string& name, const std::string& type, const std::string& dir = "") {
    auto path = Bundle::mainBundle().pathForResourceOfType(name, type, dir);
    if (path && path->rfind(root_ + "/", 0) == 0) return path->substr(root_.size() + 1);
    return path;
  }
  std::string root_;
};

TEST_F(BundleTest, ResourcesPreferTheDoubleScaleVariantOnlyOnADoubleScaleScreen) {
  put("button.png");
  put("button@2x.png");
  put("only1x.png");
  put("ads/close@2x.png");
  put("ads/close.png");
  put("fr.lproj/hello.html");
  put("en.lproj/hello.html");
  put("en.lproj/english.txt");
  put("folder.png/inner");

  struct Row {
    double scale;
    const char* name;
    const char* type;
    const char* dir;
    const char* expected;  // nullptr: not found
  };
  const Row rows[] = {
      {1, "button", "png", "", "button.png"},
      {2, "button", "png", "", "button@2x.png"},
      {2, "only1x", "png", "", "only1x.png"},
      {2, "button.png", "", "", "button@2x.png"},
      {2, "close", "png", "ads", "ads/close@2x.png"},
      {1, "close", "png", "ads", "ads/close.png"},
      {1, "hello", "html", "", "fr.lproj/hello.html"},
      {1, "english", "txt", "", "en.lproj/english.txt"},
      {1, "missing", "png", "", nullptr},
      {1, "folder", "png", "", nullptr},
      {1, "../App.app/button", "png", "", nullptr},
      {1, "/etc/passwd", "", "", nullptr},
  };
  platform::Locale::currentLocale().setPreferredLanguages({"fr"});
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.name) + " at scale " + std::to_string(r.scale));
    platform::Screen::mainScreen().setScale(r.scale);
    auto found = find(r.name, r.type, r.dir);
    if (r.expected) {
      EXPECT_EQ(found, r.expected);
    } else {
      EXPECT_FALSE(found.has_value()) << *found;
    }
  }
}

TEST_F(BundleTest, LocalizedStringsComeFromTheFirstLanguageWithTheTableAndFallBack) {
  put("de.lproj/Localizable.strings",
      "/* comment */\n\"Close\" = \"Schlie\\U00dfen\";\n// another\n\"Quote\" = \"say \\\"hi\\\"\\n\";\n");
  // The usual encoding of these tables: UTF-16 with a byte-order mark.
  const char16_t utf16[] = u"\uFEFF\"Close\" = \"Fermer\"; \"Caf\u00e9\" = \"\u00e0 bient\u00f4t\";";
  std::string le;
  for (char16_t c : std::u16string_view(utf16)) {
    le += static_cast<char>(c & 0xFF);
    le += static_cast<char>(c >> 8);
  }
  put("fr.lproj/Ads.strings", le);
  put("it.lproj/Localizable.strings", "\"Close\" = \"unterminated");

  auto& bundle = Bundle::mainBundle();
  auto& locale = platform::Locale::currentLocale();
  locale.setPreferredLanguages({"es", "de"});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Close"), "Schließen");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Quote"), "say \"hi\"\n");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Absent"), "Absent");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Absent", "Fallback"), "Fallback");

  locale.setPreferredLanguages({"fr"});
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Close", "", "Ads"), "Fermer");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Café", "", "Ads"), "à bientôt");
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Close", "", "../x"), "Close");

  locale.setPreferredLanguages({"it"});  // a damaged table gives the key back
  EXPECT_EQ(bundle.localizedStringForKeyValueTable("Close"), "Close");
}

TEST_F(BundleTest, InformationDictionaryIsSettable) {
  auto& bundle = Bundle::mainBundle();
  EXPECT_EQ(bundle.bundleIdentifier(), "com.quendarosk.Zavrellion");
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleVersion"), platform::Value("1.0"));
  bundle.setInfoValue("CFBundleShortVersionString", platform::Value("2.3"));
  bundle.setInfoValue("CFBundleDisplayName", platform::Value());
  EXPECT_EQ(bundle.shortVersion(), "2.3");
  EXPECT_EQ(bundle.displayName(), "Zavrellion");  // falls back to the bundle name
  bundle.setInfoDictionary(platform::Dictionary{{"CFBundleIdentifier", platform::Value("com.test.app")}});
  EXPECT_EQ(bundle.bundleIdentifier(), "com.test.app");
  EXPECT_EQ(bundle.version(), "");
  EXPECT_EQ(bundle.infoDictionary().size(), 1u);
}

TEST_F(BundleTest, TheVersionPacksIntoThirtyTwoBits) {
  struct Case {
    const char* version;
    uint32_t packed;
  } cases[] = {
      {"1.0", 0x01008000}, {"1.2.3", 0x01238000}, {"12", 0x12008000}, {"99.9.9", 0x99998000},
      {"2.0b4", 0x02006004}, {"3.1a", 0x03104000}, {"1.0d255", 0x01002000 | 255}, {"4.5.6f7", 0x04568007},
      {"", 0}, {"100", 0}, {"1.10", 0}, {"1.2.3.4", 0}, {"1.0b256", 0}, {"1.0x", 0}, {"v1", 0},
      {"1.", 0}, {" 1.0", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bundle::packedVersionNumber(c.version), c.packed) << c.version;
  }
  Bundle::mainBundle().setInfoValue("CFBundleVersion", platform::Value("2.1.7"));
  EXPECT_EQ(Bundle::mainBundle().versionNumber(), 0x02178000u);
}

TEST_F(BundleTest, TheBundlesInfoPlistOverridesTheBuiltInKeys) {
  put("Info.plist",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>CFBundleVersion</key><string>42</string>"
      "<key>UIStatusBarHidden</key><true/>"
      "</dict></plist>");
  platform::resetForTesting();  // as on a launch with this bundle
  auto& bundle = Bundle::mainBundle();
  EXPECT_EQ(bundle.version(), "42");
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("UIStatusBarHidden"), platform::Value(true));
  EXPECT_EQ(bundle.bundleIdentifier(), "com.quendarosk.Zavrellion");
}

}  // namespace
