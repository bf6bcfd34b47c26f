#pragma once
// The audio of the display pages: one cached, prepared player per file; background music and
// sound effects with a master volume over each; the audio session kept ambient so that the
// game's own sounds, or another application's music, are never cut. One shared engine between
// startup() and teardown(). A sound effect is current from its play until it is stopped,
// finishes or its player is released. Main thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/media.h"
#include "platform/passkey.h"
#include "platform/run_loop.h"

namespace halvern {

class HVAudioEngine : public platform::AudioPlayerDelegate, public std::enable_shared_from_this<HVAudioEngine> {
 public:
  static constexpr double kResumeReplayDelay = 2.0;
  // Players kept prepared at once: pages name files freely, and each player holds its sound.
  // The least recently loaded one that is not playing makes room; when all are playing, a
  // new name is not loaded.
  static constexpr size_t kMaxCachedPlayers = 32;

  static void startup();
  static void teardown();
  // nullptr before startup() and after teardown().
  static std::shared_ptr<HVAudioEngine> sharedAudioEngine();

  explicit HVAudioEngine(platform::Passkey<HVAudioEngine>);
  ~HVAudioEngine() override;

  bool playSoundEffectNamed(const std::string& name) { return playSoundEffectNamedLoopCountVolume(name, 0, 1.0); }
  bool playSoundEffectNamedLoopCount(const std::string& name, long loops) {
    return playSoundEffectNamedLoopCountVolume(name, loops, 1.0);
  }
  bool playSoundEffectNamedLoopCountVolume(const std::string& name, long loops, double volume);
  bool stopSoundEffectNamed(const std::string& name);
  void stopSoundEffects();
  void setSoundEffectVolume(double volume);
  bool playBackgroundMusicNamed(const std::string& name) { return playBackgroundMusicNamedLoopCountVolume(name, -1, 1.0); }
  bool playBackgroundMusicNamedLoopCount(const std::string& name, long loops) {
    return playBackgroundMusicNamedLoopCountVolume(name, loops, 1.0);
  }
  bool playBackgroundMusicNamedLoopCountVolume(const std::string& name, long loops, double volume);
  bool stopBackgroundMusic();
  void setBackgroundMusicVolume(double volume);
  void setMasterVolume(double volume);
  // An absolute path, or a name in the application's bundle folder.
  void preloadAudioNamed(const std::string& name);
  void releaseAudioNamed(const std::string& name);
  void releaseAll();
  void suspend();
  void resume();
  void setSoundEnabled(bool enabled);
  void setMusicEnabled(bool enabled);
  bool isSoundEnabled() const { return m_soundEnabled; }
  bool isMusicEnabled() const { return m_musicEnabled; }
  bool isMediaPlaying() const { return m_isMediaPlaying; }
  bool isSuspended() const { return m_suspended; }
  void updateSession();
  void applicationWillResignActive() { suspend(); }
  void applicationDidBecomeActive() { resume(); }
  // AudioPlayerDelegate: a finished effect is no longer current.
  void audioPlayerDidFinishPlayingSuccessfully(platform::AudioPlayer& player, bool flag) override;

  std::shared_ptr<platform::AudioPlayer> cachedPlayerForTesting(const std::string& name) const;
  size_t cachedPlayerCountForTesting() const { return m_audioCache.size(); }
  size_t currentSoundEffectCountForTesting() const { return m_currentSoundEffects.size(); }
  const std::shared_ptr<platform::AudioPlayer>& currentBackgroundMusic() const { return m_currentBackgroundMusic; }

 private:
  struct Entry {
    std::string path;
    std::string name;
    std::shared_ptr<platform::AudioPlayer> player;
    uint64_t loadedAt = 0;
  };
  bool makeRoomInCache();
  std::shared_ptr<platform::AudioPlayer> cachedPlayer(const std::string& name) const;

  std::map<std::string, Entry> m_audioCache;
  uint64_t m_loads = 0;
  std::shared_ptr<platform::AudioPlayer> m_currentBackgroundMusic;
  std::set<std::shared_ptr<platform::AudioPlayer>> m_currentSoundEffects;
  bool m_soundEnabled = true;
  bool m_musicEnabled = true;
  double m_masterVolume = 1.0;
  double m_backgroundMusicVolume = 1.0;
  double m_soundEffectVolume = 1.0;
  bool m_isMediaPlaying = false;
  bool m_suspended = false;
  std::shared_ptr<platform::Timer> m_resumeTimer;
};

}  // namespace halvern
