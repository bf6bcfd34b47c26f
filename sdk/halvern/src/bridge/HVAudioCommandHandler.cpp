#include "HVAudioCommandHandler.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "HVAudioEngine.h"
#include "HVController.h"
#include "platform/bundle.h"
#include "platform/file_manager.h"

namespace halvern {

namespace {

// A volume from a page: a finite number, held to silence..full.
std::optional<double> volumeArgument(const HVCommandArguments& args, size_t index) {
  auto volume = HVCommandHandler::finiteNumberArgument(args, index);
  if (!volume) return std::nullopt;
  return std::clamp(*volume, 0.0, 1.0);
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
    const auto dlTime = integerArgument(args, 1);
    // The slot name and time become folder names: one plain component each.
    if (!isSingleComponent(slot) || !dlTime || *dlTime < 0) return;
    m_resourcePath = platform::FileManager::stringByAppendingPathComponent(
        platform::FileManager::stringByAppendingPathComponent(HVController::hvContentDir(), slot),
        std::to_string(*dlTime));
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
    auto engine = HVAudioEngine::sharedAudioEngine();
    if (auto volume = volumeArgument(args, 0); engine && volume) engine->setSoundEffectVolume(*volume);
  });
  declareCommand("bridge_playBackgroundMusicNamed:", [this](A args) { play(args, true, -1, 1.0); });
  declareCommand("bridge_playBackgroundMusicNamed:loopCount:", [this](A args) { play(args, true, std::nullopt, 1.0); });
  declareCommand("bridge_playBackgroundMusicNamed:loopCount:volume:",
                 [this](A args) { play(args, true, std::nullopt, std::nullopt); });
  declareCommand("bridge_stopBackgroundMusic", [](A) {
    if (auto engine = HVAudioEngine::sharedAudioEngine()) engine->stopBackgroundMusic();
  });
  declareCommand("bridge_setBackgroundMusicVolume:", [](A args) {
    auto engine = HVAudioEngine::sharedAudioEngine();
    if (auto volume = volumeArgument(args, 0); engine && volume) engine->setBackgroundMusicVolume(*volume);
  });
  declareCommand("bridge_setMasterVolume:", [](A args) {
    auto engine = HVAudioEngine::sharedAudioEngine();
    if (auto volume = volumeArgument(args, 0); engine && volume) engine->setMasterVolume(*volume);
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
  // Loops run from -1 (for ever) up; a count beyond a long, or no number, plays nothing.
  const auto pageLoops = loops ? std::optional<int64_t>(*loops) : integerArgument(args, 1);
  const auto pageVolume = volume ? volume : volumeArgument(args, 2);
  if (!pageLoops || !pageVolume || *pageLoops < -1 || *pageLoops > std::numeric_limits<long>::max()) return;
  const long loopsValue = static_cast<long>(*pageLoops);
  const double volumeValue = *pageVolume;
  if (music) engine->playBackgroundMusicNamedLoopCountVolume(*path, loopsValue, volumeValue);
  else engine->playSoundEffectNamedLoopCountVolume(*path, loopsValue, volumeValue);
}

}  // namespace halvern
