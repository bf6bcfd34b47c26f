#include "HVAudioEngine.h"

#include "platform/bundle.h"
#include "platform/file_manager.h"
#include "platform/notification_center.h"
#include "platform/singleton.h"

namespace halvern {

namespace {

platform::ResettableSingleton<HVAudioEngine>& engineSingleton() {
  static platform::ResettableSingleton<HVAudioEngine> singleton;
  return singleton;
}

constexpr const char* kWillResignActive = "UIApplicationWillResignActiveNotification";
constexpr const char* kDidBecomeActive = "UIApplicationDidBecomeActiveNotification";

}  // namespace

void HVAudioEngine::startup() {
  bool made = false;
  auto engine = engineSingleton().get([] { return std::make_shared<HVAudioEngine>(platform::Passkey<HVAudioEngine>()); },
                                      {}, &made);
  if (!made) return;
  std::weak_ptr<HVAudioEngine> weak = engine;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(engine.get(), kWillResignActive, nullptr, [weak](const platform::Notification&) {
    if (auto e = weak.lock()) e->applicationWillResignActive();
  });
  center.addObserver(engine.get(), kDidBecomeActive, nullptr, [weak](const platform::Notification&) {
    if (auto e = weak.lock()) e->applicationDidBecomeActive();
  });
}

void HVAudioEngine::teardown() {
  auto engine = engineSingleton().release();
  if (!engine) return;
  platform::NotificationCenter::defaultCenter().removeObserver(engine.get());
  engine->stopBackgroundMusic();
  engine->stopSoundEffects();
  if (engine->m_resumeTimer) engine->m_resumeTimer->invalidate();
  engine.reset();
  auto& session = platform::AudioSession::sharedInstance();
  session.initialize();
  session.setActive(false);
}

std::shared_ptr<HVAudioEngine> HVAudioEngine::sharedAudioEngine() { return engineSingleton().existing(); }

HVAudioEngine::HVAudioEngine(platform::Passkey<HVAudioEngine>) {
  platform::AudioSession::sharedInstance().initialize();
  updateSession();
}

HVAudioEngine::~HVAudioEngine() {
  if (m_resumeTimer) m_resumeTimer->invalidate();
}

void HVAudioEngine::updateSession() {
  auto& session = platform::AudioSession::sharedInstance();
  session.setActive(false);
  m_isMediaPlaying = session.isOtherAudioPlaying();
  if (m_isMediaPlaying) {
    session.setCategory(platform::kAudioSessionCategoryAmbient);
    session.setActive(true);
  } else {
    session.setActive(true);
    session.setCategory(platform::kAudioSessionCategorySoloAmbient);
  }
}

bool HVAudioEngine::makeRoomInCache() {
  if (m_audioCache.size() < kMaxCachedPlayers) return true;
  auto oldest = m_audioCache.end();
  for (auto it = m_audioCache.begin(); it != m_audioCache.end(); ++it) {
    const auto& player = it->second.player;
    // The current music is kept: its volume and its stop still reach it.
    if (player && (player == m_currentBackgroundMusic || player->isPlaying())) continue;
    if (oldest == m_audioCache.end() || it->second.loadedAt < oldest->second.loadedAt) oldest = it;
  }
  if (oldest == m_audioCache.end()) return false;
  m_currentSoundEffects.erase(oldest->second.player);
  m_audioCache.erase(oldest);
  return true;
}

std::shared_ptr<platform::AudioPlayer> HVAudioEngine::cachedPlayer(const std::string& name) const {
  auto it = m_audioCache.find(name);
  return it == m_audioCache.end() ? nullptr : it->second.player;
}

void HVAudioEngine::preloadAudioNamed(const std::string& name) {
  if (name.empty() || m_audioCache.count(name) || !makeRoomInCache()) return;
  const std::string path = name.front() == '/'
                               ? name
                               : platform::FileManager::stringByAppendingPathComponent(
                                     platform::Bundle::mainBundle().bundlePath(), name);
  auto player = platform::AudioPlayer::createWithContentsOfURL(path);
  if (player) player->prepareToPlay();
  m_audioCache[name] = Entry{path, name, player, ++m_loads};
}

std::shared_ptr<platform::AudioPlayer> HVAudioEngine::cachedPlayerForTesting(const std::string& name) const {
  return cachedPlayer(name);
}

bool HVAudioEngine::playSoundEffectNamedLoopCountVolume(const std::string& name, long loops, double volume) {
  if (name.empty() || !m_soundEnabled || m_suspended || !(m_soundEffectVolume > 0)) return false;
  preloadAudioNamed(name);
  auto player = cachedPlayer(name);
  if (!player) return false;
  player->setCurrentTime(0);
  player->setVolume(m_masterVolume * m_soundEffectVolume * volume);
  player->setNumberOfLoops(loops);
  player->setDelegate(shared_from_this());
  m_currentSoundEffects.insert(player);
  const bool played = player->play();
  if (!played) {
    player->stop();
    player->play();
  }
  return played;
}

bool HVAudioEngine::stopSoundEffectNamed(const std::string& name) {
  auto it = m_audioCache.find(name);
  if (it != m_audioCache.end() && it->second.player) {
    it->second.player->stop();
    it->second.player->setCurrentTime(0);
    m_currentSoundEffects.erase(it->second.player);
  }
  return true;
}

void HVAudioEngine::stopSoundEffects() {
  for (const auto& player : m_currentSoundEffects) {
    player->stop();
    player->setCurrentTime(0);
  }
  m_currentSoundEffects.clear();
}

void HVAudioEngine::setSoundEffectVolume(double volume) {
  m_soundEffectVolume = volume;
  for (const auto& player : m_currentSoundEffects) player->setVolume(m_masterVolume * volume);
}

bool HVAudioEngine::playBackgroundMusicNamedLoopCountVolume(const std::string& name, long loops, double volume) {
  stopBackgroundMusic();
  if (name.empty() || !m_musicEnabled || m_suspended || m_isMediaPlaying) return false;
  preloadAudioNamed(name);
  auto player = cachedPlayer(name);
  if (!player) return false;
  player->setCurrentTime(0);
  player->setVolume(m_masterVolume * m_backgroundMusicVolume * volume);
  player->setNumberOfLoops(loops);
  m_currentBackgroundMusic = player;
  return player->play();
}

bool HVAudioEngine::stopBackgroundMusic() {
  if (m_currentBackgroundMusic) {
    m_currentBackgroundMusic->stop();
    m_currentBackgroundMusic->setCurrentTime(0);
    m_currentBackgroundMusic.reset();
  }
  return true;
}

void HVAudioEngine::setBackgroundMusicVolume(double volume) {
  m_backgroundMusicVolume = volume;
  if (m_currentBackgroundMusic) m_currentBackgroundMusic->setVolume(volume * m_masterVolume);
}

void HVAudioEngine::setMasterVolume(double volume) {
  m_masterVolume = volume;
  setBackgroundMusicVolume(m_backgroundMusicVolume);
  setSoundEffectVolume(m_soundEffectVolume);
}

void HVAudioEngine::audioPlayerDidFinishPlayingSuccessfully(platform::AudioPlayer& player, bool) {
  m_currentSoundEffects.erase(player.shared_from_this());
}

void HVAudioEngine::releaseAudioNamed(const std::string& name) {
  // A player let go is no current effect: it could not be stopped or its volume set again.
  if (auto player = cachedPlayer(name)) m_currentSoundEffects.erase(player);
  m_audioCache.erase(name);
}

void HVAudioEngine::releaseAll() {
  stopBackgroundMusic();
  stopSoundEffects();
  m_audioCache.clear();
}

void HVAudioEngine::suspend() {
  if (m_suspended) return;
  stopBackgroundMusic();
  stopSoundEffects();
  m_suspended = true;
}

void HVAudioEngine::resume() {
  if (!m_suspended) return;
  updateSession();
  if (m_currentBackgroundMusic) m_currentBackgroundMusic->play();
  if (m_resumeTimer) m_resumeTimer->invalidate();
  std::weak_ptr<HVAudioEngine> weak = weak_from_this();
  // The session may not take the first play right after becoming active again.
  m_resumeTimer = platform::Timer::scheduledTimer(kResumeReplayDelay, false, [weak](platform::Timer&) {
    if (auto engine = weak.lock(); engine && engine->m_currentBackgroundMusic) engine->m_currentBackgroundMusic->play();
  });
  m_suspended = false;
}

void HVAudioEngine::setSoundEnabled(bool enabled) {
  m_soundEnabled = enabled;
  if (!enabled) stopSoundEffects();
}

void HVAudioEngine::setMusicEnabled(bool enabled) {
  m_musicEnabled = enabled;
  if (!enabled) stopBackgroundMusic();
}

}  // namespace halvern
