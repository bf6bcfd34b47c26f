#include "HVAudioCommandHandler.h"

#include <cmath>
#include <limits>

#include "HVAudioEngine.h"
#include "HVController.h"
#include "platform/bundle.h"
#include "platform/file_manager.h"

namespace halvern {

namespace {

// A page's number, clamped into a long; NaN reads as 0.
long loopCount(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(std::numeric_limits<long>::min())) return std::numeric_limits<long>::min();
  if (value >= static_cast<double>(std::numeric_limits<long>::max())) return std::numeric_limits<long>::max();
  return static_cast<long>(value);
}

bool isSingleComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

HVAudioCommandHandler::HVAudioCommandHandler() : HVCommandHandler("BridgeAudio") {
  using A = const HVCommandArguments&;
  declareCommand("bridge_initializeWithSlotName:dlTime:", [this](A args) {
    const std::string slot = stringArgument(args, 0);
    const double dlTime = numberArgument(args, 1);
    // The slot name and time become folder names: one plain component each.
    if (!isSingleComponent(slot) || !std::isfinite(dlTime)) return;
    m_resourcePath = platform::FileManager::stringByAppendingPathComponent(
        platform::FileManager::stringByAppendingPathComponent(HVController::hvContentDir(), slot),
        std::to_string(static_cast<int64_t>(dlTime)));
    HVAudioEngine::startup();
  });
  declareCommand("bridge_playSoundEffectNamed:", [this](A args) { play(args, false, -1, 1.0); });
  declareCommand("bridge_playSoundEffectNamed:loopCount:", [this](A args) { play(args, false, std::nullopt, 1.0); });
  declareCommand("bridge_playSoundEffectNamed:loopCount:volume:",
                 [this](A args) { play(args, false, std::nullopt, std::nullopt); });
  declareCommand("bridge_stopSoundEffectNamed:", [this](A args) {
    auto engine = HVAudioEngine::sharedAudioEngine();
    auto path = pathForFileName(stringArgument(args, 0));
    if (engine && path) engine->stopSoundEffectNamed(*path);
  });
  declareCommand("bridge_stopSoundEffects", [](A) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->stopSoundEffects();
  });
  declareCommand("bridge_setSoundEffectVolume:", [](A args) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->setSoundEffectVolume(numberArgument(args, 0));
  });
  declareCommand("bridge_playBackgroundMusicNamed:", [this](A args) { play(args, true, -1, 1.0); });
  declareCommand("bridge_playBackgroundMusicNamed:loopCount:", [this](A args) { play(args, true, std::nullopt, 1.0); });
  declareCommand("bridge_playBackgroundMusicNamed:loopCount:volume:",
                 [this](A args) { play(args, true, std::nullopt, std::nullopt); });
  declareCommand("bridge_stopBackgroundMusic", [](A) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->stopBackgroundMusic();
  });
  declareCommand("bridge_setBackgroundMusicVolume:", [](A args) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->setBackgroundMusicVolume(numberArgument(args, 0));
  });
  declareCommand("bridge_setMasterVolume:", [](A args) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->setMasterVolume(numberArgument(args, 0));
  });
  // These names are the engine's own keys; from a page only bundle names are taken, so a
  // page cannot open files elsewhere through them.
  declareCommand("bridge_preloadAudioNamed:", [](A args) {
    const std::string name = stringArgument(args, 0);
    auto engine = HVAudioEngine::sharedAudioEngine();
    if (engine && platform::FileManager::confinedPath(platform::Bundle::mainBundle().bundlePath(), name))
      engine->preloadAudioNamed(name);
  });
  declareCommand("bridge_releaseAudioNamed:", [](A args) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->releaseAudioNamed(stringArgument(args, 0));
  });
  declareCommand("bridge_releaseAll", [](A) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->releaseAll();
  });
  declareCommand("bridge_suspend", [](A) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->suspend();
  });
  declareCommand("bridge_resume", [](A) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->resume();
  });
}

std::optional<std::string> HVAudioCommandHandler::pathForFileName(const std::string& name) const {
  if (m_resourcePath.empty()) return std::nullopt;
  return platform::FileManager::confinedPath(m_resourcePath, name);
}

void HVAudioCommandHandler::play(const HVCommandArguments& args, bool music, std::optional<long> loops,
                                 std::optional<double> volume) {
  auto engine = HVAudioEngine::sharedAudioEngine();
  auto path = pathForFileName(stringArgument(args, 0));
  if (!engine || !path) return;
  const long loopsValue = loops ? *loops : loopCount(numberArgument(args, 1));
  const double volumeValue = volume ? *volume : numberArgument(args, 2);
  if (music) engine->playBackgroundMusicNamedLoopCountVolume(*path, loopsValue, volumeValue);
  else engine->playSoundEffectNamedLoopCountVolume(*path, loopsValue, volumeValue);
}

}  // namespace halvern
