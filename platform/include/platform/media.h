#pragma once
// Movie player, audio players, the audio session and system sounds: recorders whose states
// tests drive. Nothing is decoded or played. Notifications carry the player as sender.
// Main thread only (the audio session and system sounds are thread-safe).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/geometry.h"
#include "platform/passkey.h"
#include "platform/view.h"

namespace platform {

inline constexpr const char* kMoviePlayerLoadStateDidChangeNotification = "MPMoviePlayerLoadStateDidChangeNotification";
inline constexpr const char* kMoviePlayerPlaybackDidFinishNotification = "MPMoviePlayerPlaybackDidFinishNotification";
inline constexpr const char* kMoviePlayerPlaybackStateDidChangeNotification = "MPMoviePlayerPlaybackStateDidChangeNotification";
inline constexpr const char* kMoviePlayerWillEnterFullscreenNotification = "MPMoviePlayerWillEnterFullscreenNotification";
inline constexpr const char* kMoviePlayerDidEnterFullscreenNotification = "MPMoviePlayerDidEnterFullscreenNotification";
inline constexpr const char* kMoviePlayerWillExitFullscreenNotification = "MPMoviePlayerWillExitFullscreenNotification";
inline constexpr const char* kMoviePlayerDidExitFullscreenNotification = "MPMoviePlayerDidExitFullscreenNotification";
inline constexpr const char* kMoviePlayerPlaybackDidFinishReasonUserInfoKey = "MPMoviePlayerPlaybackDidFinishReasonUserInfoKey";

enum MovieLoadState : unsigned { kMovieLoadStateUnknown = 0, kMovieLoadStatePlayable = 1, kMovieLoadStatePlaythroughOK = 2, kMovieLoadStateStalled = 4 };
enum class MoviePlaybackState : int { Stopped = 0, Playing = 1, Paused = 2, Interrupted = 3, SeekingForward = 4, SeekingBackward = 5 };
enum class MovieFinishReason : int { PlaybackEnded = 0, PlaybackError = 1, UserExited = 2 };

// The player's view exists from creation. play/pause/stop change the playback state and post
// the playback-state notification when it changes; the load state and the end of playback
// come from the test hooks.
class MoviePlayerController : public std::enable_shared_from_this<MoviePlayerController> {
 public:
  explicit MoviePlayerController(std::string contentURL);
  static std::shared_ptr<MoviePlayerController> createWithContentURL(std::string url) {
    return std::make_shared<MoviePlayerController>(std::move(url));
  }
  const std::string& contentURL() const { return url_; }
  void setContentURL(std::string url) { url_ = std::move(url); }
  const std::shared_ptr<View>& view() const { return view_; }
  void prepareToPlay() { prepared_ = true; }
  bool isPreparedToPlay() const { return prepared_; }
  void play();
  void pause();
  void stop();
  MoviePlaybackState playbackState() const { return playbackState_; }
  unsigned loadState() const { return loadState_; }
  Size naturalSize() const { return naturalSize_; }
  int scalingMode() const { return scalingMode_; }
  void setScalingMode(int m) { scalingMode_ = m; }
  int controlStyle() const { return controlStyle_; }
  void setControlStyle(int s) { controlStyle_ = s; }
  bool shouldAutoplay() const { return shouldAutoplay_; }
  void setShouldAutoplay(bool a) { shouldAutoplay_ = a; }
  bool isFullscreen() const { return fullscreen_; }
  void setFullscreen(bool f) { setFullscreenAnimated(f, false); }
  // Posts will-enter/did-enter (or exit) when the flag changes.
  void setFullscreenAnimated(bool f, bool animated);
  double currentPlaybackTime() const { return currentTime_; }
  void setCurrentPlaybackTime(double t) { currentTime_ = t; }

  // Test hooks.
  void setLoadStateForTesting(unsigned state);  // posts the load-state notification when it changes
  void setNaturalSizeForTesting(Size s) { naturalSize_ = s; }
  // Stops and posts the playback-did-finish notification with the reason.
  void finishPlaybackForTesting(MovieFinishReason reason = MovieFinishReason::PlaybackEnded);

 private:
  void setPlaybackState(MoviePlaybackState s);
  std::string url_;
  std::shared_ptr<View> view_;
  bool prepared_ = false;
  MoviePlaybackState playbackState_ = MoviePlaybackState::Stopped;
  unsigned loadState_ = kMovieLoadStateUnknown;
  Size naturalSize_;
  int scalingMode_ = 1;
  int controlStyle_ = 1;
  bool shouldAutoplay_ = true;
  bool fullscreen_ = false;
  double currentTime_ = 0;
};

class AudioPlayer;

class AudioPlayerDelegate {
 public:
  virtual ~AudioPlayerDelegate() = default;
  virtual void audioPlayerDidFinishPlayingSuccessfully(AudioPlayer& player, bool flag) { (void)player; (void)flag; }
};

// A player of a file. Made for a missing file it exists but cannot play: prepareToPlay and
// play answer false (the creation also reports an error). Durations are set by tests.
class AudioPlayer : public std::enable_shared_from_this<AudioPlayer> {
 public:
  // `error` (when given) receives the platform's file-not-found error for a missing file.
  static std::shared_ptr<AudioPlayer> createWithContentsOfURL(const std::string& path, std::optional<Error>* error = nullptr);
  // Made only by createWithContentsOfURL().
  AudioPlayer(Passkey<AudioPlayer>, std::string path, bool playable);

  const std::string& path() const { return path_; }
  bool prepareToPlay() { return playable_; }
  bool play();
  void pause() { playing_ = false; }
  void stop() { playing_ = false; }
  bool isPlaying() const { return playing_; }
  double volume() const { return volume_; }
  void setVolume(double v) { volume_ = v; }
  long numberOfLoops() const { return loops_; }
  void setNumberOfLoops(long n) { loops_ = n; }
  double currentTime() const { return currentTime_; }
  void setCurrentTime(double t) { currentTime_ = t; }
  double duration() const { return duration_; }
  void setDurationForTesting(double d) { duration_ = d; }
  int playCount() const { return playCount_; }
  std::shared_ptr<AudioPlayerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<AudioPlayerDelegate>& d) { delegate_ = d; }

 private:
  std::string path_;
  bool playable_;
  bool playing_ = false;
  double volume_ = 1;
  long loops_ = 0;
  double currentTime_ = 0;
  double duration_ = 0;
  int playCount_ = 0;
  std::weak_ptr<AudioPlayerDelegate> delegate_;
};

inline constexpr const char* kAudioSessionCategoryAmbient = "AVAudioSessionCategoryAmbient";
inline constexpr const char* kAudioSessionCategorySoloAmbient = "AVAudioSessionCategorySoloAmbient";
inline constexpr const char* kAudioSessionCategoryPlayback = "AVAudioSessionCategoryPlayback";

// The process-wide audio session: what the clients asked of it, in order, and the facts tests
// set. initialize() answers false the second time (already set up), as the platform does.
// Thread-safe; test reset restores the defaults.
class AudioSession {
 public:
  static AudioSession& sharedInstance();
  bool initialize();
  bool setCategory(const std::string& category);
  std::string category() const;
  bool setActive(bool active);
  bool isActive() const;
  bool isOtherAudioPlaying() const;
  void setOtherAudioPlaying(bool playing);
  // "Speaker" by default; nullopt makes reading the route fail.
  std::optional<std::string> audioRoute() const;
  void setAudioRoute(std::optional<std::string> route);
  // Every call, as "initialize", "category <name>", "active YES"/"active NO".
  std::vector<std::string> calls() const;

 private:
  AudioSession() = default;
};

using SystemSoundID = unsigned;
inline constexpr SystemSoundID kSystemSoundIDVibrate = 0x00000FFF;

// System sounds: made from files (ids from 1000 up), played into a record. Thread-safe.
class SystemSounds {
 public:
  // nullopt for a missing file.
  static std::optional<SystemSoundID> createSystemSoundID(const std::string& path);
  static void playSystemSound(SystemSoundID id);
  // Every id played since the last reset, in order (vibrations are kSystemSoundIDVibrate).
  static std::vector<SystemSoundID> played();
};

}  // namespace platform
