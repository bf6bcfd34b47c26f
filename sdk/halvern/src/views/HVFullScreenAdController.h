#pragma once
// Shows the ads of full-screen slots in the full-screen window: a display view without a
// slot of its own that shows whichever full-screen slot it is asked to show, with a
// "Loading" box while the ad's content loads, a "Menu" button some seconds in, and an action
// sheet the ad page fills with its own entries, closed by a "Skip" that the page may refuse.
// Closing gives the slot back and queues its next fetch. Main thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HVAdViewInternal.h"
#include "HVMessageBox.h"
#include "platform/alert.h"
#include "platform/controls.h"
#include "platform/run_loop.h"

namespace halvern {

class HVFullScreenAdController : public HVAdViewInternal, public platform::ActionSheetDelegate {
 public:
  static constexpr double kMenuFadeDuration = 0.5;
  static constexpr double kMenuMargin = 8.0;
  static constexpr platform::Size kMenuButtonSize{64, 24};
  static constexpr const char* kMenuTitle = "Menu";
  static constexpr const char* kSkipTitle = "Skip";
  static constexpr const char* kLoadingMessage = "Loading";
  static constexpr const char* kSkipScript = "handleSkip();";

  static std::shared_ptr<HVFullScreenAdController> create();
  HVFullScreenAdController(platform::Passkey<HVFullScreenAdController>);
  ~HVFullScreenAdController() override;

  // The delegate of a full-screen slot (nullptr forgets it); it hears at once of an ad
  // already waiting.
  void setDelegateForSlotNamed(std::shared_ptr<HalvernDelegate> delegate, const std::string& name);
  bool notifyDelegateAdReadyForSlotNamed(const std::string& name) override;
  // Shows the slot's waiting ad; false when there is none to show.
  bool displayAdForSlot(const std::shared_ptr<HVAdSlot>& slot);
  // The slot shown is marked displayed until the ad is closed.
  bool isDisplaying() const;

  // The page's content is about to load: the window opens on it with the "Loading" box.
  void adContentWillLoad() override;
  // The content is up: the box goes.
  void adContentDidLoad() override;

  // The page's menu: a new empty entry list, then the "Menu" button after the menu time.
  void prepareActionSheet() override;
  void addButtonToActionSheetCallback(const std::string& title, const std::string& callback) override;
  void displayActionSheet() override { displayActionSheetWithDismissAnimation(true); }
  void displayActionSheetWithDismissAnimation(bool animated);
  void actionSheetDidDismissWithButtonIndex(platform::ActionSheet& sheet, long index) override;

  void showAdLoadingIndicator();
  void hideAdLoadingIndicator();
  void scheduleMenuButtonAppearance();
  void showMenuButton();
  void hideMenuButton();
  void addMenuButton();
  void placeMenuButton();
  void applicationDidEnterBackground();
  void applicationWillEnterForeground();

  const std::shared_ptr<platform::ActionSheet>& actionSheet() const { return m_actionSheet; }
  const std::shared_ptr<platform::Button>& menuButton() const { return m_menuButton; }
  const std::shared_ptr<HVMessageBox>& adLoadingIndicator() const { return m_adLoadingIndicator; }
  bool shouldDisplayActionSheetOnEnterForeground() const { return m_shouldDisplayActionSheetOnEnterForeground; }

  bool controlsFullScreenSlot() const override { return true; }
  // None: a full-screen ad does not fade in and out of a banner's place.
  std::shared_ptr<platform::View> containerView() override { return nullptr; }
  bool isAdReady() override;
  void layout() override;

 protected:
  void dismissedFromWindow(bool animated) override;

 private:
  struct MenuEntry {
    std::string title;
    std::string callback;
  };

  std::map<std::string, std::shared_ptr<HalvernDelegate>> m_delegateDict;
  // Slot name -> the waiting ad its delegate was last told of.
  std::map<std::string, int64_t> m_toldDlTimeDict;
  std::shared_ptr<platform::ActionSheet> m_actionSheet;
  std::vector<MenuEntry> m_actionSheetButtons;
  std::shared_ptr<platform::Timer> m_menuTimer;
  std::shared_ptr<platform::Button> m_menuButton;
  std::shared_ptr<HVMessageBox> m_adLoadingIndicator;
  bool m_shouldDisplayActionSheetOnEnterForeground = false;
};

}  // namespace halvern
