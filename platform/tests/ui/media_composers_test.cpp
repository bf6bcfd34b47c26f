#include "platform/media.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/composers.h"
#include "platform/notification_center.h"
#include "testing/sandbox_test.h"

using namespace platform;

namespace {

class MediaComposersTest : public testkit::SandboxTest {
 protected:
  void TearDown() override {
    NotificationCenter::defaultCenter().removeObserver(this);
    SandboxTest::TearDown();
  }
};

TEST_F(MediaComposersTest, MoviePlayerPostsItsNotifications) {
  auto player = MoviePlayerController::createWithContentURL("http://127.0.0.1/ad.mp4");
  std::vector<std::string> names;
  int reason = -1;
  for (const char* n : {kMoviePlayerLoadStateDidChangeNotification, kMoviePlayerPlaybackDidFinishNotification})
    NotificationCenter::defaultCenter().addObserver(this, n, player.get(), [&](const Notification& note) {
      names.push_back(note.name);
      if (note.userInfo.isDictionary())
        reason = static_cast<int>(note.userInfo[kMoviePlayerPlaybackDidFinishReasonUserInfoKey].integerValue());
    });
  player->prepareToPlay();
  player->setLoadStateForTesting(kMovieLoadStatePlayable);
  player->setLoadStateForTesting(kMovieLoadStatePlayable);  // unchanged: no notification
  player->play();
  EXPECT_EQ(player->playbackState(), MoviePlaybackState::Playing);
  player->finishPlaybackForTesting(MovieFinishReason::UserExited);
  EXPECT_EQ(names, (std::vector<std::string>{"MPMoviePlayerLoadStateDidChangeNotification",
                                             "MPMoviePlayerPlaybackDidFinishNotification"}));
  EXPECT_EQ(reason, 2);
  EXPECT_EQ(player->playbackState(), MoviePlaybackState::Stopped);
}

TEST_F(MediaComposersTest, MoviePlayerReleasedOnLeavingFullScreenFinishesTheChange) {
  auto player = MoviePlayerController::createWithContentURL("http://127.0.0.1/ad.mp4");
  player->setFullscreenAnimated(true, false);
  std::weak_ptr<View> playerView = player->view();  // not the player: its memory must really go
  std::vector<std::string> names;
  auto* sender = player.get();
  for (const char* n : {kMoviePlayerWillExitFullscreenNotification, kMoviePlayerDidExitFullscreenNotification})
    NotificationCenter::defaultCenter().addObserver(this, n, sender, [&](const Notification& note) {
      names.push_back(note.name);
      player.reset();  // the ad closes its player as soon as it hears the user leave
    });
  sender->setFullscreenAnimated(false, true);
  EXPECT_EQ(names, (std::vector<std::string>{kMoviePlayerWillExitFullscreenNotification,
                                             kMoviePlayerDidExitFullscreenNotification}));
  EXPECT_TRUE(playerView.expired()) << "the player went once the change was complete";
}

TEST_F(MediaComposersTest, AudioPlayersSessionAndSounds) {
  std::string path = home() + "/effect.caf";
  std::ofstream(path) << "data";
  std::optional<Error> error;
  auto missing = AudioPlayer::createWithContentsOfURL(home() + "/none.caf", &error);
  ASSERT_NE(missing, nullptr);
  EXPECT_TRUE(error.has_value());
  EXPECT_FALSE(missing->play()) << "a missing file does not play";
  auto player = AudioPlayer::createWithContentsOfURL(path);
  EXPECT_TRUE(player->prepareToPlay());
  EXPECT_TRUE(player->play());
  EXPECT_TRUE(player->isPlaying());

  auto& session = AudioSession::sharedInstance();
  EXPECT_TRUE(session.initialize());
  EXPECT_FALSE(session.initialize()) << "already set up";
  session.setActive(false);
  session.setCategory(kAudioSessionCategoryAmbient);
  EXPECT_EQ(session.calls(), (std::vector<std::string>{"initialize", "initialize", "active NO",
                                                       "category AVAudioSessionCategoryAmbient"}));

  SystemSounds::playSystemSound(kSystemSoundIDVibrate);
  auto sound = SystemSounds::createSystemSoundID(path);
  ASSERT_TRUE(sound.has_value());
  SystemSounds::playSystemSound(*sound);
  EXPECT_EQ(SystemSounds::played(), (std::vector<SystemSoundID>{4095, *sound}));
  EXPECT_FALSE(SystemSounds::createSystemSoundID(home() + "/none.caf").has_value());
}

struct MailDelegate : MailComposeDelegate {
  std::vector<MailComposeResult> results;
  void mailComposeControllerDidFinishWithResultError(MailComposeViewController&, MailComposeResult r,
                                                     const std::optional<Error>&) override {
    results.push_back(r);
  }
};

TEST_F(MediaComposersTest, ComposersAndStoreSheetAreScripted) {
  EXPECT_TRUE(MailComposeViewController::canSendMail());
  MailComposeViewController::setCanSendMail(false);
  EXPECT_FALSE(MailComposeViewController::canSendMail());

  auto mail = std::make_shared<MailComposeViewController>();
  auto delegate = std::make_shared<MailDelegate>();
  mail->setMailComposeDelegate(delegate);
  mail->setToRecipients({"a@example.com"});
  mail->setMessageBodyIsHTML("<b>hi</b>", true);
  mail->finishWithResult(MailComposeResult::Sent);
  EXPECT_EQ(delegate->results, (std::vector<MailComposeResult>{MailComposeResult::Sent}));
  EXPECT_TRUE(mail->isHTML());

  auto sheet = std::make_shared<StoreProductViewController>();
  int calls = 0;
  bool loaded = false;
  sheet->loadProductWithParametersCompletionBlock(Value(Dictionary{{kStoreProductParameterITunesItemIdentifier, "42"}}),
                                                  [&](bool ok, const std::optional<Error>&) {
                                                    ++calls;
                                                    loaded = ok;
                                                  });
  EXPECT_TRUE(sheet->isLoadPending());
  EXPECT_EQ(sheet->parameters()["id"].stringValue(), "42");
  sheet->completeLoad(true);
  sheet->completeLoad(false);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(loaded);
}

}  // namespace
