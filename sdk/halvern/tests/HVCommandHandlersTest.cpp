#include <functional>

#include "HVApplicationCommandHandler.h"
#include "HVAudioCommandHandler.h"
#include "HVAudioEngine.h"
#include "HVCocoaCommandHandler.h"
#include "HVController.h"
#include "HVJavascriptBridge.h"
#include "platform/bundle.h"
#include "platform/device.h"
#include "platform/file_manager.h"
#include "platform/media.h"
#include "platform/notification_center.h"
#include "testing/sandbox_test.h"

namespace halvern {
namespace {

using platform::FileManager;
using platform::Value;

// A page in a web view with the display page's handlers, its commands polled in the
// foreground.
class HVCommandHandlersTest : public testkit::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    HVController::sharedController()->setExecMode(1);
    webView = platform::WebView::create();
    bridge = HVJavascriptBridge::bridgeInModeWebViewDelegate(1, webView, app);
    bridge->addCommandHandler(cocoa);
    bridge->addCommandHandler(audio);
    bridge->loadJavascriptStringExecuteBaseURL("var got = [];", "", std::nullopt);
    ASSERT_TRUE(settleTraffic());
    ASSERT_FALSE(bridge->isWebViewLoading());
  }
  void TearDown() override {
    bridge->shutdown();
    HVAudioEngine::teardown();
    HVController::sharedController()->shutdown();
    SandboxTest::TearDown();
  }
  // Runs page script, then lets the bridge poll once.
  void page(const std::string& script) {
    webView->stringByEvaluatingJavaScriptFromString(script);
    advance(0.1);
  }
  std::string got() { return webView->stringByEvaluatingJavaScriptFromString("JSON.stringify(got)"); }

  std::shared_ptr<platform::WebView> webView;
  std::shared_ptr<HVApplicationCommandHandler> app = std::make_shared<HVApplicationCommandHandler>();
  std::shared_ptr<HVCocoaCommandHandler> cocoa = std::make_shared<HVCocoaCommandHandler>();
  std::shared_ptr<HVAudioCommandHandler> audio = std::make_shared<HVAudioCommandHandler>();
  std::shared_ptr<HVJavascriptBridge> bridge;
};

TEST_F(HVCommandHandlersTest, AppAnswersInfoDictionaryValuesQuotedAndEscaped) {
  page("BridgeApp.infoDictionaryValueForKeyWithCallback('CFBundleVersion', 'got.push(%s)');"
       "BridgeApp.infoDictionaryValueForKeyWithCallback('NoSuchKey', 'got.push(%s)')");
  const std::string version = platform::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleVersion").description();
  EXPECT_EQ(got(), "[\"" + version + "\",\"(null)\"]");
}

TEST_F(HVCommandHandlersTest, CocoaRegistryAnswersPerformsAndCountsRetains) {
  page("BridgeCocoa.performSelectorOnClassWithCallback('currentDevice', 'UIDevice', 'got.push(%s)')");
  ASSERT_EQ(webView->stringByEvaluatingJavaScriptFromString("got.length"), "1");
  const std::string device = webView->stringByEvaluatingJavaScriptFromString("got[0]");
  ASSERT_EQ(device.rfind("obj@", 0), 0u);

  page("got = [];"
       "BridgeCocoa.objectDoesRespondToSelectorNamedWithCallback('" + device + "', 'model', 'got.push(%d)');"
       "BridgeCocoa.objectDoesRespondToSelectorNamedWithCallback('" + device + "', 'deleteAllFiles', 'got.push(%d)');"
       "BridgeCocoa.classDoesRespondToSelectorNamedWithCallback('UIDevice', 'currentDevice', 'got.push(%d)');"
       "BridgeCocoa.classDoesRespondToSelectorNamedWithCallback('NSFileManager', 'defaultManager', 'got.push(%d)');"
       "BridgeCocoa.selectorsForClassWithCallback('UIDevice', 'got.push(%s)');"
       "BridgeCocoa.selectorsForClassWithCallback('NoSuchClass', 'got.push(%s)')");
  EXPECT_EQ(got(), "[1,0,1,0,[\"model\",\"systemName\",\"systemVersion\",\"orientation\"],null]");

  // A model string, and an orientation that is a plain number, become bridged values; an
  // unknown selector answers the error string's handle.
  platform::Device::currentDevice().setOrientation(platform::DeviceOrientation::LandscapeLeft);
  page("got = [];"
       "BridgeCocoa.performSelectorOnObjectWithCallback('model', '" + device + "', 'got.push(%s)');"
       "BridgeCocoa.performSelectorOnObjectWithCallback('orientation', '" + device + "', 'got.push(%s)');"
       "BridgeCocoa.performSelectorOnObjectWithCallback('nothing', '" + device + "', 'got.push(%s)')");
  ASSERT_EQ(webView->stringByEvaluatingJavaScriptFromString("got.length"), "3");
  page("var handles = got; got = [];"
       "BridgeCocoa.valueForObjectWithCallback(handles[0], 'got.push(\"%s\")');"
       "BridgeCocoa.valueForObjectWithCallback(handles[1], 'got.push(%s)');"
       "BridgeCocoa.valueForObjectWithCallback(handles[2], 'got.push(\"%s\")')");
  EXPECT_EQ(got(), "[\"" + platform::Device::currentDevice().model() + "\"," +
                       std::to_string(static_cast<int>(platform::DeviceOrientation::LandscapeLeft)) +
                       ",\"DoesNotRespondToSelector\"]");

  // Retain counts: 1 at registration; releasing at 3 leaves 2; at 1 removes the entry.
  page("BridgeCocoa.retainObject('" + device + "'); BridgeCocoa.retainObject('" + device + "');"
       "BridgeCocoa.releaseObject('" + device + "')");
  EXPECT_EQ(cocoa->retainCountForTesting(device), 2u);
  page("BridgeCocoa.releaseObject('" + device + "'); BridgeCocoa.releaseObject('obj@0xdead')");
  EXPECT_EQ(cocoa->retainCountForTesting(device), 1u);
  page("BridgeCocoa.releaseObject('" + device + "')");
  EXPECT_FALSE(cocoa->retainCountForTesting(device));
  // Without a callback nothing is registered.
  page("BridgeCocoa.performSelectorOnClassWithCallback('currentDevice', 'UIDevice', '')");
  page("got = []; BridgeCocoa.performSelectorOnClassWithCallback('nothing', 'UIDevice', 'got.push(%s)')");
  EXPECT_EQ(got().find("obj@"), 2u);
}

TEST_F(HVCommandHandlersTest, AHandleNamingItselfResolvesToNil) {
  // A string result that is itself a handle is followed, but never for ever.
  auto self = HVBridgedObject::withValue(Value("obj@loop"));
  const std::string handle = cocoa->addBridgedObject(self);
  self->value = Value(handle);
  page("BridgeCocoa.valueForObjectWithCallback('" + handle + "', 'got.push(\"%s\")')");
  EXPECT_EQ(got(), "[\"(null)\"]");
}

class AudioTest : public HVCommandHandlersTest {
 protected:
  void SetUp() override {
    HVCommandHandlersTest::SetUp();
    folder = HVController::hvContentDir() + "/slot/1234";
    ASSERT_TRUE(FileManager::createDirectoryAtPath(folder, true));
    for (const char* name : {"fx.wav", "music.mp3"})
      ASSERT_TRUE(FileManager::writeAtomically(folder + "/" + name, std::string_view("RIFF")));
    page("BridgeAudio.initializeWithSlotNameDlTime('slot', '1234')");
    engine = HVAudioEngine::sharedAudioEngine();
    ASSERT_TRUE(engine);
  }
  std::string folder;
  std::shared_ptr<HVAudioEngine> engine;
};

TEST_F(AudioTest, VolumesMultiplyThroughTheMaster) {
  page("BridgeAudio.setSoundEffectVolume('0.2'); BridgeAudio.setBackgroundMusicVolume('0.8');"
       "BridgeAudio.playSoundEffectNamedLoopCount('fx.wav', '0'); BridgeAudio.playBackgroundMusicNamed('music.mp3');"
       "BridgeAudio.setMasterVolume('0.5')");
  auto fx = engine->cachedPlayerForTesting(folder + "/fx.wav");
  auto music = engine->cachedPlayerForTesting(folder + "/music.mp3");
  ASSERT_TRUE(fx && music);
  EXPECT_TRUE(fx->isPlaying());
  EXPECT_DOUBLE_EQ(fx->volume(), 0.1);
  EXPECT_DOUBLE_EQ(music->volume(), 0.4);
  EXPECT_EQ(music->numberOfLoops(), -1);
  page("BridgeAudio.playSoundEffectNamedLoopCountVolume('fx.wav', '2', '0.5')");
  EXPECT_DOUBLE_EQ(fx->volume(), 0.05);
  EXPECT_EQ(fx->numberOfLoops(), 2);
}

TEST_F(AudioTest, SessionRulesAndEndlessEffects) {
  platform::AudioSession::sharedInstance().setOtherAudioPlaying(true);
  HVAudioEngine::teardown();
  page("BridgeAudio.initializeWithSlotNameDlTime('slot', '1234');"
       "BridgeAudio.playBackgroundMusicNamed('music.mp3'); BridgeAudio.playSoundEffectNamed('fx.wav')");
  engine = HVAudioEngine::sharedAudioEngine();
  EXPECT_TRUE(engine->isMediaPlaying());
  EXPECT_EQ(platform::AudioSession::sharedInstance().category(), platform::kAudioSessionCategoryAmbient);
  EXPECT_FALSE(engine->currentBackgroundMusic());
  auto fx = engine->cachedPlayerForTesting(folder + "/fx.wav");
  ASSERT_TRUE(fx);
  EXPECT_TRUE(fx->isPlaying());
  EXPECT_EQ(fx->numberOfLoops(), -1);

  platform::AudioSession::sharedInstance().setOtherAudioPlaying(false);
  platform::NotificationCenter::defaultCenter().postNotificationName("UIApplicationWillResignActiveNotification", nullptr);
  EXPECT_TRUE(engine->isSuspended());
  EXPECT_FALSE(fx->isPlaying());
  EXPECT_FALSE(engine->playSoundEffectNamed(folder + "/fx.wav"));
  platform::NotificationCenter::defaultCenter().postNotificationName("UIApplicationDidBecomeActiveNotification", nullptr);
  EXPECT_FALSE(engine->isSuspended());
  EXPECT_EQ(platform::AudioSession::sharedInstance().category(), platform::kAudioSessionCategorySoloAmbient);
  EXPECT_TRUE(engine->playBackgroundMusicNamed(folder + "/music.mp3"));
  // Suspending stops the music for good: coming back does not start it again.
  auto music = engine->currentBackgroundMusic();
  ASSERT_TRUE(music);
  platform::NotificationCenter::defaultCenter().postNotificationName("UIApplicationWillResignActiveNotification", nullptr);
  platform::NotificationCenter::defaultCenter().postNotificationName("UIApplicationDidBecomeActiveNotification", nullptr);
  advance(HVAudioEngine::kResumeReplayDelay);
  EXPECT_FALSE(music->isPlaying());
  EXPECT_FALSE(engine->currentBackgroundMusic());
  // A missing file gives a player that does not play.
  EXPECT_FALSE(engine->playSoundEffectNamed(folder + "/missing.wav"));
}

// An effect is current (stopped with the others, its volume following the page's) from its
// play until it finishes, is stopped or its player is released; a whole session of effects
// leaves no finished ones behind.
TEST_F(AudioTest, EffectsStopBeingCurrentWhenTheyEnd) {
  ASSERT_TRUE(FileManager::writeAtomically(folder + "/beep.wav", std::string_view("RIFF")));
  const std::string fxName = folder + "/fx.wav", beepName = folder + "/beep.wav";
  // As the platform tells a player's delegate of the end of a sound.
  auto finish = [](const std::shared_ptr<platform::AudioPlayer>& player) {
    player->stop();
    if (auto delegate = player->delegate()) delegate->audioPlayerDidFinishPlayingSuccessfully(*player, true);
  };
  const struct {
    const char* name;
    std::function<void()> end;
  } cases[] = {
      {"finished", [&] { finish(engine->cachedPlayerForTesting(fxName)); }},
      {"stopped", [&] { engine->stopSoundEffectNamed(fxName); }},
      {"released", [&] { engine->releaseAudioNamed(fxName); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    page("BridgeAudio.setSoundEffectVolume('1'); BridgeAudio.playSoundEffectNamed('fx.wav');"
         "BridgeAudio.playSoundEffectNamed('beep.wav')");
    auto fx = engine->cachedPlayerForTesting(fxName);
    auto beep = engine->cachedPlayerForTesting(beepName);
    ASSERT_TRUE(fx && beep);
    EXPECT_EQ(engine->currentSoundEffectCountForTesting(), 2u);
    c.end();
    EXPECT_EQ(engine->currentSoundEffectCountForTesting(), 1u);
    // Only the effect still playing follows the page's volume.
    page("BridgeAudio.setSoundEffectVolume('0.25')");
    EXPECT_DOUBLE_EQ(beep->volume(), 0.25);
    EXPECT_DOUBLE_EQ(fx->volume(), 1.0);
    finish(beep);
    EXPECT_EQ(engine->currentSoundEffectCountForTesting(), 0u);
  }
  // A long session: every sound played to its end, and players let go and loaded again.
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(engine->playSoundEffectNamed(i % 2 ? fxName : beepName));
    finish(engine->cachedPlayerForTesting(i % 2 ? fxName : beepName));
    if (i % 5 == 0) engine->releaseAll();
  }
  EXPECT_EQ(engine->currentSoundEffectCountForTesting(), 0u);
  // A looping effect that never finishes stays current until stopped.
  page("BridgeAudio.playSoundEffectNamed('fx.wav')");
  EXPECT_EQ(engine->currentSoundEffectCountForTesting(), 1u);
  page("BridgeAudio.stopSoundEffects()");
  EXPECT_EQ(engine->currentSoundEffectCountForTesting(), 0u);
}

TEST_F(AudioTest, PageNamesStayInsideTheAdFolder) {
  const std::string outside = HVController::hvBaseDir() + "/secret.wav";
  ASSERT_TRUE(FileManager::writeAtomically(outside, std::string_view("RIFF")));
  page("BridgeAudio.playSoundEffectNamed('../../secret.wav'); BridgeAudio.playSoundEffectNamed('" + outside + "');"
       "BridgeAudio.preloadAudioNamed('" + outside + "');"
       "BridgeAudio.initializeWithSlotNameDlTime('../..', '1')");
  EXPECT_FALSE(engine->cachedPlayerForTesting(outside));
  EXPECT_FALSE(engine->cachedPlayerForTesting(folder + "/../../secret.wav"));
  EXPECT_EQ(audio->resourcePath(), folder);
}

TEST_F(AudioTest, NumbersOutOfRangeAreRefusedBeforeTheyAreConverted) {
  page("BridgeAudio.setMasterVolume('0.5'); BridgeAudio.playSoundEffectNamed('fx.wav')");
  auto fx = engine->cachedPlayerForTesting(folder + "/fx.wav");
  ASSERT_TRUE(fx);
  ASSERT_DOUBLE_EQ(fx->volume(), 0.5);
  for (const char* number : {"1e300", "-1e300", "NaN", "Infinity", "9223372036854775808", "-7"}) {
    SCOPED_TRACE(number);
    const std::string n = std::string("'") + number + "'";
    page("BridgeAudio.initializeWithSlotNameDlTime('other', " + n + ");"
         "BridgeAudio.setMasterVolume(" + n + ");"
         "BridgeAudio.playBackgroundMusicNamedLoopCountVolume('music.mp3', " + n + ", '1')");
    EXPECT_EQ(audio->resourcePath(), folder);
    EXPECT_FALSE(engine->currentBackgroundMusic());
  }
  // Only "-7" was a number at all: a volume below silence is silence.
  EXPECT_DOUBLE_EQ(fx->volume(), 0.0);
  page("BridgeAudio.setMasterVolume('40')");
  EXPECT_DOUBLE_EQ(fx->volume(), 1.0);
  page("BridgeAudio.initializeWithSlotNameDlTime('slot', '1234'); BridgeAudio.playBackgroundMusicNamedLoopCountVolume('music.mp3', '3', '0.25')");
  ASSERT_TRUE(engine->currentBackgroundMusic());
  EXPECT_EQ(engine->currentBackgroundMusic()->numberOfLoops(), 3);
  EXPECT_DOUBLE_EQ(engine->currentBackgroundMusic()->volume(), 0.25);
}

TEST_F(AudioTest, TheCacheKeepsABoundedNumberOfPlayersAndNeverDropsOneThatPlays) {
  page("BridgeAudio.playSoundEffectNamedLoopCount('fx.wav', '-1'); BridgeAudio.playBackgroundMusicNamed('music.mp3')");
  std::string script;
  for (int i = 0; i < 200; ++i) script += "BridgeAudio.preloadAudioNamed('sound" + std::to_string(i) + ".wav');";
  page(script);
  EXPECT_LE(engine->cachedPlayerCountForTesting(), HVAudioEngine::kMaxCachedPlayers);
  EXPECT_GE(engine->cachedPlayerCountForTesting(), 2u);
  EXPECT_TRUE(engine->cachedPlayerForTesting(folder + "/fx.wav"));
  EXPECT_TRUE(engine->cachedPlayerForTesting(folder + "/music.mp3"));
  EXPECT_FALSE(engine->cachedPlayerForTesting("sound0.wav"));
}

}  // namespace
}  // namespace halvern
