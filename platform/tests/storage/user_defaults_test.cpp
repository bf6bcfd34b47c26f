#include "platform/user_defaults.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <thread>

#include "platform/file_manager.h"
#include "platform/locale.h"
#include "platform/log.h"
#include "platform/property_list.h"
#include "platform/sandbox.h"
#include "platform/singleton.h"
#include "testing/sandbox_test.h"

namespace {

using platform::Dictionary;
using platform::UserDefaults;
using platform::Value;

class UserDefaultsTest : public testkit::SandboxTest {
 protected:
  UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
};

TEST_F(UserDefaultsTest, PropertyListValuesSurviveARelaunch) {
  const std::vector<std::pair<std::string, Value>> stored = {
      {"text", Value("héllo <&> \"q\"")},
      {"int", Value(-42)},
      {"big", Value(18446744073709551615ull)},
      {"real", Value(0.1)},
      {"flag", Value(true)},
      {"blob", Value(platform::Bytes{0, 1, 255})},
      {"when", Value::date(1.5e9)},
      {"list", Value(platform::Array{Value(1), Value("two")})},
      {"map", Value(Dictionary{{"z", Value(1)}, {"a", Value(Dictionary{{"deep", Value(false)}})}})},
  };
  for (const auto& [key, value] : stored) defaults().setObjectForKey(value, key);
  defaults().setObjectForKey(Value::decimal("19.99"), "price");
  defaults().setObjectForKey(Value("gone"), "removed");
  defaults().removeObjectForKey("removed");
  defaults().setObjectForKey(Value("also gone"), "nulled");
  defaults().setObjectForKey(Value(), "nulled");
  defaults().registerDefaults(Dictionary{{"registered", Value(7)}, {"int", Value(99)}});
  EXPECT_EQ(defaults().integerForKey("registered"), 7);
  EXPECT_EQ(defaults().integerForKey("int"), -42);  // a stored value hides the registered one

  defaults().reloadForTesting();

  for (const auto& [key, value] : stored) EXPECT_EQ(defaults().objectForKey(key), value) << key;
  EXPECT_EQ(defaults().objectForKey("map").dictionary().keys(), (std::vector<std::string>{"z", "a"}));
  EXPECT_DOUBLE_EQ(defaults().doubleForKey("price"), 19.99);  // a decimal comes back as a real
  EXPECT_TRUE(defaults().objectForKey("removed").isNull());
  EXPECT_TRUE(defaults().objectForKey("nulled").isNull());
  EXPECT_TRUE(defaults().objectForKey("registered").isNull());
  EXPECT_EQ(defaults().storagePath(), platform::Sandbox::preferences() + "/com.quendarosk.Zavrellion.plist");
  auto file = platform::FileManager::stringContentsAtPath(defaults().storagePath());
  ASSERT_TRUE(file.has_value());
  EXPECT_NE(file->find("<key>int</key>"), std::string::npos);
  EXPECT_NE(file->find("<integer>-42</integer>"), std::string::npos);
}

// One value or key the file cannot hold must not make every later change unsavable.
TEST_F(UserDefaultsTest, ValuesAPropertyListCannotHoldAreRefusedAlone) {
  defaults().setObjectForKey(Value("kept"), "k");
  platform::LogCapture log;
  defaults().setObjectForKey(Value(platform::Array{Value(1), Value()}), "k");
  defaults().setObjectForKey(Value(std::string("\xff\xfe")), "bad");
  defaults().setObjectForKey(Value("fine"), std::string("\xff\xfe"));
  EXPECT_EQ(log.lines().size(), 3u);
  defaults().setObjectForKey(Value("later"), "other");
  EXPECT_TRUE(defaults().synchronize());
  defaults().reloadForTesting();
  EXPECT_EQ(defaults().stringForKey("k"), "kept");
  EXPECT_FALSE(defaults().stringForKey("bad").has_value());
  EXPECT_FALSE(defaults().stringForKey(std::string("\xff\xfe")).has_value());
  EXPECT_EQ(defaults().stringForKey("other"), "later");
}

TEST_F(UserDefaultsTest, ChangesReachTheFileOnTheirOwn) {
  defaults().setIntegerForKey(1, "a");
  defaults().setObjectForKey(Value("b"), "b");
  drainWorkers();
  auto bytes = platform::FileManager::contentsAtPath(defaults().storagePath());
  ASSERT_TRUE(bytes.has_value());
  auto onDisk = platform::PropertyList::read(*bytes);
  ASSERT_TRUE(onDisk.has_value());
  EXPECT_EQ(*onDisk, Value(Dictionary{{"a", Value(1)}, {"b", Value("b")}}));
}

TEST_F(UserDefaultsTest, TypedGettersConvertAsThePlatformDoes) {
  defaults().setObjectForKey(Value("12abc"), "numericText");
  defaults().setObjectForKey(Value(3.75), "real");
  defaults().setObjectForKey(Value(Dictionary{{"k", Value(1)}}), "map");
  defaults().setIntegerForKey(5, "five");
  defaults().setBoolForKey(true, "yes");
  defaults().setDoubleForKey(2.5, "half");

  EXPECT_EQ(defaults().integerForKey("numericText"), 12);
  EXPECT_EQ(defaults().integerForKey("real"), 3);
  EXPECT_EQ(defaults().stringForKey("five"), "5");
  EXPECT_EQ(defaults().stringForKey("numericText"), "12abc");
  EXPECT_FALSE(defaults().stringForKey("map").has_value());
  EXPECT_FALSE(defaults().stringForKey("missing").has_value());
  EXPECT_TRUE(defaults().boolForKey("yes"));
  EXPECT_TRUE(defaults().boolForKey("five"));
  EXPECT_FALSE(defaults().boolForKey("missing"));
  EXPECT_DOUBLE_EQ(defaults().doubleForKey("half"), 2.5);
  EXPECT_EQ(defaults().integerForKey("missing"), 0);
  EXPECT_TRUE(defaults().dictionaryForKey("real").isNull());
  EXPECT_EQ(defaults().dictionaryForKey("map")["k"], Value(1));
  EXPECT_TRUE(defaults().arrayForKey("map").isNull());
  EXPECT_FALSE(defaults().dataForKey("numericText").has_value());
  EXPECT_TRUE(defaults().synchronize());
}

TEST_F(UserDefaultsTest, FourConcurrentWritersLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kKeysEach = 40;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < kKeysEach; ++i) {
        std::string key = "t" + std::to_string(t) + "-" + std::to_string(i);
        defaults().setIntegerForKey(t * 1000 + i, key);
        // A shared counter read-modify-written by everyone would race by design; what
        // must hold is that each writer's own keys all land.
        defaults().setObjectForKey(Value(key), "last-" + std::to_string(t));
      }
    });
  }
  for (auto& w : writers) w.join();

  defaults().reloadForTesting();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kKeysEach; ++i) {
      std::string key = "t" + std::to_string(t) + "-" + std::to_string(i);
      ASSERT_EQ(defaults().integerForKey(key), t * 1000 + i) << key;
    }
    EXPECT_EQ(defaults().stringForKey("last-" + std::to_string(t)),
              "t" + std::to_string(t) + "-" + std::to_string(kKeysEach - 1));
  }
  EXPECT_EQ(defaults().dictionaryRepresentation().size(), size_t(kThreads * (kKeysEach + 1)));
}

TEST_F(UserDefaultsTest, DamagedFileStartsAfreshAndIsReplacedOnNextWrite) {
  const std::string path = defaults().storagePath();
  ASSERT_TRUE(platform::FileManager::writeAtomically(path, std::string_view("not a preferences file")));
  platform::LogCapture log;
  defaults().reloadForTesting();
  EXPECT_TRUE(defaults().objectForKey("anything").isNull());
  EXPECT_TRUE(log.contains("unreadable preferences"));

  defaults().setObjectForKey(Value("fresh"), "k");
  defaults().reloadForTesting();
  EXPECT_EQ(defaults().stringForKey("k"), "fresh");
}

TEST_F(UserDefaultsTest, TemporariesOfKilledWritesGoWhenTheDefaultsLoadAndAreNeverRead) {
  defaults().setObjectForKey(Value("kept"), "k");
  ASSERT_TRUE(defaults().synchronize());
  const std::string path = defaults().storagePath();
  const std::string folder = platform::FileManager::stringByDeletingLastPathComponent(path);
  const std::string name = platform::FileManager::lastPathComponent(path);
  auto unfinished = platform::PropertyList::write(Value(Dictionary{{"k", Value("unfinished")}}));
  ASSERT_TRUE(unfinished);
  // As a run killed in the middle of a write leaves one, from a process that had this one's
  // number; and a file that only looks like one, naming no writer, which is not ours to remove.
  const std::string lookAlike = "." + name + ".tmp-Zz9Yy8";
  for (const std::string& left : {"." + name + ".tmp-" + std::to_string(::getpid()) + "-Ab12Cd", lookAlike})
    ASSERT_TRUE(platform::FileManager::writeAtomically(folder + "/" + left, *unfinished));

  defaults().reloadForTesting();
  EXPECT_EQ(defaults().stringForKey("k"), "kept");
  std::vector<std::string> expected{name, lookAlike};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(platform::FileManager::contentsOfDirectoryAtPath(folder), expected);
}

TEST_F(UserDefaultsTest, UnwritablePreferencesReportFailureAndRecover) {
  // Replace the preferences folder by a file: nothing can be written below it.
  const std::string folder = platform::Sandbox::preferences();
  ASSERT_TRUE(platform::FileManager::removeItemAtPath(folder));
  ASSERT_TRUE(platform::FileManager::writeAtomically(folder, std::string_view("blocker")));
  platform::LogCapture log;
  defaults().setObjectForKey(Value(1), "k");
  EXPECT_EQ(defaults().integerForKey("k"), 1);  // memory keeps the value
  EXPECT_FALSE(defaults().synchronize());
  drainWorkers();  // the background write fails as well
  EXPECT_EQ(log.lines().size(), 1u);  // one line per failure run, not per attempt

  ASSERT_TRUE(platform::FileManager::removeItemAtPath(folder));
  EXPECT_TRUE(defaults().synchronize());
  defaults().reloadForTesting();
  EXPECT_EQ(defaults().integerForKey("k"), 1);
}

TEST_F(UserDefaultsTest, PreferredLanguagesComeFromTheGlobalDomainUnderTheApplicationsOwn) {
  platform::Locale::currentLocale().setPreferredLanguages({"de-CH", "fr"});
  Value languages = defaults().arrayForKey(platform::kAppleLanguagesKey);
  EXPECT_EQ(languages, Value(platform::Array{Value("de-CH"), Value("fr")}));
  EXPECT_TRUE(defaults().objectForKey("OtherGlobalSetting").isNull()) << "nothing else of that domain";
  // A registered or stored value of the application hides the global one.
  defaults().registerDefaults(Dictionary{{"AppleLanguages", Value(platform::Array{Value("it")})}});
  EXPECT_EQ(defaults().arrayForKey("AppleLanguages"), Value(platform::Array{Value("it")}));
  defaults().setObjectForKey(Value(platform::Array{Value("ja")}), "AppleLanguages");
  EXPECT_EQ(defaults().arrayForKey("AppleLanguages"), Value(platform::Array{Value("ja")}));
  defaults().removeObjectForKey("AppleLanguages");
  EXPECT_EQ(defaults().arrayForKey("AppleLanguages"), Value(platform::Array{Value("it")}));
}

TEST_F(UserDefaultsTest, TestResetForgetsTheOldHome) {
  defaults().setObjectForKey(Value("first home"), "k");
  defaults().registerDefaults(Dictionary{{"r", Value(1)}});
  const std::string other = home() + "/second";
  platform::Sandbox::setHome(other);
  platform::resetForTesting();
  EXPECT_TRUE(defaults().objectForKey("k").isNull());
  EXPECT_TRUE(defaults().objectForKey("r").isNull());
  EXPECT_EQ(defaults().storagePath().rfind(other, 0), 0u);
}

}  // namespace
