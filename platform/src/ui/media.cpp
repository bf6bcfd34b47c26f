#include "platform/media.h"

#include <sys/stat.h>

#include <utility>

#include "platform/notification_center.h"
#include "platform/singleton.h"

namespace platform {

namespace {
bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

// ---- MoviePlayerController

MoviePlayerController::MoviePlayerController(std::string contentURL)
    : url_(std::move(contentURL)), view_(std::make_shared<View>(Rect{0, 0, 320, 480})) {
  view_->setBackgroundColor(Color::blackColor());
}

void MoviePlayerController::setPlaybackState(MoviePlaybackState s) {
  if (s == playbackState_) return;
  playbackState_ = s;
  NotificationCenter::defaultCenter().postNotificationName(kMoviePlayerPlaybackStateDidChangeNotification, this);
}

void MoviePlayerController::play() {
  prepared_ = true;
  setPlaybackState(MoviePlaybackState::Playing);
}
void MoviePlayerController::pause() { setPlaybackState(MoviePlaybackState::Paused); }
void MoviePlayerController::stop() { setPlaybackState(MoviePlaybackState::Stopped); }

void MoviePlayerController::setFullscreenAnimated(bool f, bool) {
  if (f == fullscreen_) return;
  // An observer of the first notification may drop the last reference to the player.
  auto self = weak_from_this().lock();
  auto& nc = NotificationCenter::defaultCenter();
  nc.postNotificationName(f ? kMoviePlayerWillEnterFullscreenNotification : kMoviePlayerWillExitFullscreenNotification, this);
  fullscreen_ = f;
  nc.postNotificationName(f ? kMoviePlayerDidEnterFullscreenNotification : kMoviePlayerDidExitFullscreenNotification, this);
}

void MoviePlayerController::setLoadStateForTesting(unsigned state) {
  if (state == loadState_) return;
  loadState_ = state;
  NotificationCenter::defaultCenter().postNotificationName(kMoviePlayerLoadStateDidChangeNotification, this);
}

void MoviePlayerController::finishPlaybackForTesting(MovieFinishReason reason) {
  auto self = weak_from_this().lock();
  setPlaybackState(MoviePlaybackState::Stopped);
  Dictionary info{{kMoviePlayerPlaybackDidFinishReasonUserInfoKey, Value(static_cast<int>(reason))}};
  NotificationCenter::defaultCenter().postNotificationName(kMoviePlayerPlaybackDidFinishNotification, this,
                                                           Value(info));
}

// ---- AudioPlayer

AudioPlayer::AudioPlayer(Passkey<AudioPlayer>, std::string path, bool playable) : path_(std::move(path)), playable_(playable) {}

std::shared_ptr<AudioPlayer> AudioPlayer::createWithContentsOfURL(const std::string& path, std::optional<Error>* error) {
  bool exists = isRegularFile(path);
  if (!exists && error) {
    Dictionary info{{kLocalizedDescriptionKey, Value("The operation couldn’t be completed. (OSStatus error 2003334207.)")}};
    *error = Error{"NSOSStatusErrorDomain", 2003334207, Value(info)};
  }
  return std::make_shared<AudioPlayer>(Passkey<AudioPlayer>(), path, exists);
}

bool AudioPlayer::play() {
  if (!playable_) return false;
  playing_ = true;
  ++playCount_;
  return true;
}

// ---- AudioSession

namespace {
struct AudioSessionFacts {
  bool initialized = false;
  std::string category = kAudioSessionCategorySoloAmbient;
  bool active = false;
  bool otherAudioPlaying = false;
  std::optional<std::string> route = std::string("Speaker");
  std::vector<std::string> calls;
};
ProcessState<AudioSessionFacts>& session() {
  return processState<AudioSessionFacts>();
}
}  // namespace

AudioSession& AudioSession::sharedInstance() {
  static AudioSession s;
  return s;
}

bool AudioSession::initialize() {
  return session().with([](AudioSessionFacts& f) {
    f.calls.push_back("initialize");
    return !std::exchange(f.initialized, true);
  });
}

bool AudioSession::setCategory(const std::string& category) {
  session().with([&category](AudioSessionFacts& f) {
    f.calls.push_back("category " + category);
    f.category = category;
  });
  return true;
}

bool AudioSession::setActive(bool active) {
  session().with([active](AudioSessionFacts& f) {
    f.calls.push_back(active ? "active YES" : "active NO");
    f.active = active;
  });
  return true;
}

std::string AudioSession::category() const { return session().read(&AudioSessionFacts::category); }
bool AudioSession::isActive() const { return session().read(&AudioSessionFacts::active); }
bool AudioSession::isOtherAudioPlaying() const { return session().read(&AudioSessionFacts::otherAudioPlaying); }
void AudioSession::setOtherAudioPlaying(bool playing) { session().write(&AudioSessionFacts::otherAudioPlaying, playing); }
std::optional<std::string> AudioSession::audioRoute() const { return session().read(&AudioSessionFacts::route); }
void AudioSession::setAudioRoute(std::optional<std::string> route) {
  session().write(&AudioSessionFacts::route, std::move(route));
}
std::vector<std::string> AudioSession::calls() const { return session().read(&AudioSessionFacts::calls); }

// ---- SystemSounds

namespace {
struct SoundState {
  SystemSoundID next = 1000;
  std::vector<SystemSoundID> played;
};
ProcessState<SoundState>& sounds() {
  return processState<SoundState>();
}
}  // namespace

std::optional<SystemSoundID> SystemSounds::createSystemSoundID(const std::string& path) {
  if (!isRegularFile(path)) return std::nullopt;
  return sounds().with([](SoundState& s) { return s.next++; });
}

void SystemSounds::playSystemSound(SystemSoundID id) {
  sounds().with([id](SoundState& s) { s.played.push_back(id); });
}

std::vector<SystemSoundID> SystemSounds::played() {
  return sounds().read(&SoundState::played);
}

}  // namespace platform
