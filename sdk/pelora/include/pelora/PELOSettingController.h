#pragma once
// The "Anonymous Profile" form: gender, year of birth and three interests, stored in the
// user defaults when the user leaves with "Done". Entries that do not fit (a gender not
// starting with m or f, a year that is not four characters or not between 99 years ago and
// last year) are skipped silently.
//
// Ownership: a view controller the host presents; the delegate is not retained. Main thread.
#include <memory>

#include "platform/controls.h"
#include "platform/passkey.h"
#include "platform/view_controller.h"

namespace pelora {

class PELOSettingController;

class PELOSettingControllerDelegate {
 public:
  virtual ~PELOSettingControllerDelegate() = default;
  virtual void settingViewControllerDismiss(PELOSettingController& controller) = 0;
};

class PELOSettingController : public platform::ViewController, public platform::TextFieldDelegate {
 public:
  static constexpr const char* kGenderKey = "gender_preference";
  static constexpr const char* kAgeKey = "age_preference";
  static constexpr const char* kInterestKeys[3] = {"interest1_preference", "interest2_preference",
                                                   "interest3_preference"};

  static std::shared_ptr<PELOSettingController> create();
  explicit PELOSettingController(platform::Passkey<PELOSettingController>) {}

  void viewDidLoad() override;
  void viewDidUnload() override;
  // Saves the entries, then tells the delegate.
  void backButtonPushed();
  std::optional<bool> textFieldShouldReturn(platform::TextField& field) override;

  std::shared_ptr<PELOSettingControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<PELOSettingControllerDelegate> d) { delegate_ = std::move(d); }

  // The five fields once the view has loaded (nullptr before, and after viewDidUnload).
  const std::shared_ptr<platform::TextField>& gender() const { return gender_; }
  const std::shared_ptr<platform::TextField>& yearofbirth() const { return yearofbirth_; }
  const std::shared_ptr<platform::TextField>& interest1() const { return interest1_; }
  const std::shared_ptr<platform::TextField>& interest2() const { return interest2_; }
  const std::shared_ptr<platform::TextField>& interest3() const { return interest3_; }

 private:
  std::shared_ptr<platform::TextField> addField(double y);

  std::weak_ptr<PELOSettingControllerDelegate> delegate_;
  std::shared_ptr<platform::TextField> gender_, yearofbirth_, interest1_, interest2_, interest3_;
};

}  // namespace pelora
